#include "platform/text.h"

namespace mabrel::platform {

bool isValidUtf8(const std::string& bytes) {
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

std::string decodeText(const Codec& codec, const std::string& bytes) {
    if (isValidUtf8(bytes)) {
        // A byte order mark from an editor is not part of the first line.
        if (bytes.rfind("\xEF\xBB\xBF", 0) == 0) return bytes.substr(3);
        return bytes;
    }
    return codec.fromAnsi(bytes);
}

namespace {

// UTF-8 as written: a text that begins with U+FEFF of its own gets one more
// in front, as the reader takes the first one for a byte order mark.
std::string asUtf8File(const std::string& utf8) {
    if (utf8.rfind("\xEF\xBB\xBF", 0) == 0) return "\xEF\xBB\xBF" + utf8;
    return utf8;
}

}  // namespace

std::string encodeText(const Codec& codec, const std::string& utf8) {
    auto ansi = codec.toAnsi(utf8);
    if (!ansi) return asUtf8File(utf8);
    // ANSI bytes that happen to form valid UTF-8 (a short half-width kana
    // text such as "ï¾ï½½" is C3 BD) would be read back as
    // UTF-8 and come out as other characters; UTF-8 itself reads back exactly.
    if (*ansi != utf8 && isValidUtf8(*ansi)) return asUtf8File(utf8);
    return *ansi;
}

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::string line;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            lines.push_back(std::move(line));
            line.clear();
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            line += c;
        }
    }
    if (!line.empty()) lines.push_back(std::move(line));
    return lines;
}

std::vector<std::string> readTextLines(FileSystem& fs, const Codec& codec, const std::string& path) {
    return splitLines(decodeText(codec, fs.readFile(path)));
}

void writeTextLines(FileSystem& fs, const Codec& codec, const std::string& path,
                    const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& line : lines) {
        text += line;
        text += "\r\n";
    }
    // One encoding for the whole file: the reader decides per file.
    fs.writeFileAtomic(path, encodeText(codec, text));
}

}  // namespace mabrel::platform
