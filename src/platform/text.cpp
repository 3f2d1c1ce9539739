#include "platform/text.h"

#include <algorithm>

namespace mabrel::platform {

bool isValidUtf8(std::string_view bytes) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = bytes.size();
    std::size_t i = 0;
    while (i < n) {
        const unsigned char c = p[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        std::size_t length;
        std::uint32_t cp;
        if (c >= 0xC2 && c <= 0xDF) {
            length = 2;
            cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            length = 3;
            cp = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            length = 4;
            cp = c & 0x07;
        } else {
            return false;  // a continuation byte first, an overlong lead, or past U+10FFFF
        }
        if (i + length > n) return false;
        for (std::size_t k = 1; k < length; ++k) {
            if ((p[i + k] & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (p[i + k] & 0x3F);
        }
        if ((length == 3 && cp < 0x800) || (length == 4 && (cp < 0x10000 || cp > 0x10FFFF))) return false;
        if (cp >= 0xD800 && cp <= 0xDFFF) return false;  // surrogates are not characters
        i += length;
    }
    return true;
}

namespace {
constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";
}  // namespace

std::string decodeText(const Codec& codec, const std::string& bytes) {
    // Text of ASCII alone reads the same in every form the file may have.
    if (std::all_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
        return bytes;
    }
    if (bytes.rfind(kByteOrderMark, 0) == 0) {
        std::string text = bytes.substr(3);
        if (isValidUtf8(text)) return text;
        return codec.fromAnsi(text);
    }
    if (auto ansi = codec.fromAnsiStrict(bytes)) return *ansi;
    if (isValidUtf8(bytes)) return bytes;
    return codec.fromAnsi(bytes);
}

std::string encodeText(const Codec& codec, const std::string& utf8) {
    if (auto ansi = codec.toAnsi(utf8)) return *ansi;
    return kByteOrderMark + utf8;
}

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    const std::size_t size = text.size();
    std::size_t start = 0;
    while (start < size) {
        std::size_t end = start;
        while (end < size && text[end] != '\r' && text[end] != '\n') ++end;
        lines.emplace_back(text, start, end - start);
        if (end == size) break;
        start = end + (text[end] == '\r' && end + 1 < size && text[end + 1] == '\n' ? 2 : 1);
    }
    return lines;
}

std::vector<std::string> readTextLines(Directory& folder, const Codec& codec, const std::string& name) {
    return splitLines(decodeText(codec, folder.readFile(name)));
}

void writeTextLines(Directory& folder, const Codec& codec, const std::string& name,
                    const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& line : lines) {
        text += line;
        text += "\r\n";
    }
    // One encoding for the whole file: the reader decides per file.
    folder.writeFileAtomic(name, encodeText(codec, text));
}

}  // namespace mabrel::platform
