// Excel and Word files as lines: whatever the bytes, a file is read or says
// why not, never both; what is read is valid UTF-8 within the limits, each
// line inside the text with its label inside the line. Inputs are either a
// whole file or the XML parts of a workbook or document, packed here into a
// zip, so that the fuzzer reaches the XML through the container.
#include <zlib.h>

#include <cstdint>

#include "backup/office_text.h"
#include "fuzz_support.h"

namespace {

using namespace mabrel;

void put(std::string& out, std::uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

// A zip of stored parts.
std::string zipOf(const std::vector<std::pair<std::string, std::string>>& parts) {
    std::string out, directory;
    for (const auto& [name, data] : parts) {
        const auto crc = static_cast<std::uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
        const auto offset = static_cast<std::uint32_t>(out.size());
        put(out, 0x04034b50, 4);
        put(out, 20, 2), put(out, 0, 2), put(out, 0, 2), put(out, 0, 4);
        put(out, crc, 4), put(out, static_cast<std::uint32_t>(data.size()), 4), put(out, static_cast<std::uint32_t>(data.size()), 4);
        put(out, static_cast<std::uint32_t>(name.size()), 2), put(out, 0, 2);
        out += name + data;
        put(directory, 0x02014b50, 4);
        put(directory, 20, 2), put(directory, 20, 2), put(directory, 0, 2), put(directory, 0, 2), put(directory, 0, 4);
        put(directory, crc, 4), put(directory, static_cast<std::uint32_t>(data.size()), 4);
        put(directory, static_cast<std::uint32_t>(data.size()), 4);
        put(directory, static_cast<std::uint32_t>(name.size()), 2), put(directory, 0, 2), put(directory, 0, 2);
        put(directory, 0, 2), put(directory, 0, 2), put(directory, 0, 4), put(directory, offset, 4);
        directory += name;
    }
    const auto at = static_cast<std::uint32_t>(out.size());
    out += directory;
    put(out, 0x06054b50, 4);
    put(out, 0, 2), put(out, 0, 2);
    put(out, static_cast<std::uint32_t>(parts.size()), 2), put(out, static_cast<std::uint32_t>(parts.size()), 2);
    put(out, static_cast<std::uint32_t>(directory.size()), 4), put(out, at, 4), put(out, 0, 2);
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider provider(data, size);
    const std::uint8_t mode = provider.ConsumeIntegral<std::uint8_t>();
    const backup::OfficeKind kind = (mode & 1) != 0 ? backup::OfficeKind::Document : backup::OfficeKind::Workbook;
    std::string bytes;
    if ((mode & 2) != 0) {
        bytes = provider.ConsumeRemainingBytesAsString();
    } else {
        static const char* const workbookParts[] = {"xl/workbook.xml", "xl/_rels/workbook.xml.rels", "xl/sharedStrings.xml",
                                                    "xl/styles.xml", "xl/worksheets/sheet1.xml"};
        static const char* const documentParts[] = {"word/document.xml", "word/_rels/document.xml.rels", "word/header1.xml",
                                                    "word/footnotes.xml", "word/endnotes.xml"};
        std::vector<std::pair<std::string, std::string>> parts;
        for (const char* name : kind == backup::OfficeKind::Document ? documentParts : workbookParts) {
            parts.emplace_back(name, provider.ConsumeRandomLengthString(1 << 16));
        }
        bytes = zipOf(parts);
    }
    backup::OfficeLimits limits;
    limits.unpacked = 1 << 20;
    limits.lines = 2000;
    const backup::OfficeText text = backup::readOfficeText(kind, bytes, limits);
    FUZZ_CHECK(text.file.has_value() != !text.problem.empty(), "problem", text.problem);
    if (!text.file) {
        FUZZ_CHECK(platform::isValidUtf8(text.problem), "problem", text.problem);
        return 0;
    }
    const backup::TextFile& f = *text.file;
    FUZZ_CHECK(platform::isValidUtf8(f.text) && f.lines.size() <= limits.lines && f.text.size() <= limits.unpacked, "text", f.text);
    for (const backup::TextLine& line : f.lines) {
        FUZZ_CHECK(std::uint64_t{line.offset} + line.length < f.text.size() && line.label <= line.length &&
                       f.text[line.offset + line.length] == '\n' &&
                       f.text.substr(line.offset, line.length).find('\n') == std::string::npos,
                   "text", f.text);
    }
    return 0;
}
