// Text file encoding: any bytes decode to valid UTF-8, and any valid UTF-8
// text without line breaks comes back from its encoding unchanged, also
// through the line-wise file write and read. Texts come from the fuzz bytes
// made valid UTF-8, and from the bytes read as code page 932 (which reaches
// the Japanese characters the code page holds).
#include <cstdint>

#include "fuzz_support.h"
#include "platform/native.h"

namespace {

using namespace mabrel;

const platform::Codec& codec() {
    static const auto c = platform::makeNativeCodec();
    return *c;
}

std::string withoutLineBreaks(const std::string& s) {
    std::string out;
    for (char c : s) {
        if (c != '\r' && c != '\n') out += c;
    }
    return out;
}

void roundTrip(const std::string& text) {
    const std::string encoded = platform::encodeText(codec(), text);
    const std::string decoded = platform::decodeText(codec(), encoded);
    FUZZ_CHECK(decoded == text, "text", text, "encoded", encoded, "decoded", decoded);

    fuzz::MemoryDirectory fs;
    platform::writeTextLines(fs, codec(), "t.txt", {text, text});
    const auto lines = platform::readTextLines(fs, codec(), "t.txt");
    FUZZ_CHECK(lines.size() == 2 && lines[0] == text && lines[1] == text, "text", text, "file", fs.files["t.txt"]);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const std::string decoded = platform::decodeText(codec(), bytes);
    FUZZ_CHECK(platform::isValidUtf8(decoded), "bytes", bytes, "decoded", decoded);
    const std::string ansi = codec().fromAnsi(bytes);
    FUZZ_CHECK(platform::isValidUtf8(ansi), "bytes", bytes, "as code page 932", ansi);

    roundTrip(withoutLineBreaks(fuzz::validUtf8(bytes)));
    roundTrip(withoutLineBreaks(ansi));
    return 0;
}
