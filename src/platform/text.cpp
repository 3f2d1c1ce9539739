#include "platform/text.h"

#include <algorithm>

namespace mabrel::platform {

namespace {

// The length of the valid UTF-8 sequence at bytes[i], 0 when there is none.
std::size_t sequenceAt(std::string_view bytes, std::size_t i) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const unsigned char c = p[i];
    if (c < 0x80) return 1;
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
        return 0;
    }
    if (i + length > bytes.size()) return 0;
    for (std::size_t k = 1; k < length; ++k) {
        if ((p[i + k] & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (p[i + k] & 0x3F);
    }
    if ((length == 3 && cp < 0x800) || (length == 4 && (cp < 0x10000 || cp > 0x10FFFF))) return 0;
    if (cp >= 0xD800 && cp <= 0xDFFF) return 0;
    return length;
}

}  // namespace

bool isValidUtf8(std::string_view bytes) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = bytes.size();
    for (std::size_t i = 0; i < n;) {
        if (p[i] < 0x80) {
            ++i;
            continue;
        }
        // A continuation byte first, an overlong form, a surrogate, past
        // U+10FFFF or cut short: not UTF-8.
        const std::size_t length = sequenceAt(bytes, i);
        if (length == 0) return false;
        i += length;
    }
    return true;
}

std::string utf8Lossy(const std::string& bytes, std::size_t* invalid) {
    if (invalid) *invalid = 0;
    if (isValidUtf8(bytes)) return bytes;
    std::string out;
    out.reserve(bytes.size() + 8);
    for (std::size_t i = 0; i < bytes.size();) {
        const std::size_t n = sequenceAt(bytes, i);
        if (n == 0) {
            out += "\xEF\xBF\xBD";
            if (invalid) ++*invalid;
            ++i;
        } else {
            out.append(bytes, i, n);
            i += n;
        }
    }
    return out;
}

TextEncoding textEncoding(std::string_view bytes) {
    if (bytes.substr(0, 3) == kByteOrderMark) return TextEncoding::Utf8WithMark;
    std::size_t longSequences = 0, damaged = 0;
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    for (std::size_t i = 0; i < bytes.size();) {
        if (p[i] < 0x80) {
            ++i;
            continue;
        }
        const std::size_t length = sequenceAt(bytes, i);
        if (length == 0) {
            ++damaged;
            ++i;
        } else {
            longSequences += length >= 3 ? 1 : 0;
            i += length;
        }
    }
    return longSequences > 0 && damaged * 4 <= longSequences ? TextEncoding::Utf8 : TextEncoding::Ansi;
}

void appendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

std::optional<std::string> decodeUtf16WithMark(std::string_view bytes, std::size_t& invalid) {
    invalid = 0;
    if (bytes.size() < 2) return std::nullopt;
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    bool big;
    if (p[0] == 0xFF && p[1] == 0xFE) {
        big = false;
    } else if (p[0] == 0xFE && p[1] == 0xFF) {
        big = true;
    } else {
        return std::nullopt;
    }
    const auto unit = [&](std::size_t i) -> char32_t {
        return big ? char32_t(p[i] << 8 | p[i + 1]) : char32_t(p[i + 1] << 8 | p[i]);
    };
    std::string out;
    out.reserve(bytes.size() * 3 / 2);
    const std::size_t end = bytes.size() & ~std::size_t{1};
    for (std::size_t i = 2; i < end; i += 2) {
        const char32_t u = unit(i);
        if (u >= 0xD800 && u <= 0xDBFF && i + 2 < end) {
            const char32_t low = unit(i + 2);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                appendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00));
                i += 2;
                continue;
            }
        }
        if (u >= 0xD800 && u <= 0xDFFF) {
            out += "\xEF\xBF\xBD";
            ++invalid;
        } else {
            appendUtf8(out, u);
        }
    }
    if (end != bytes.size()) {
        out += "\xEF\xBF\xBD";
        ++invalid;
    }
    return out;
}

std::string decodeText(const Codec& codec, const std::string& bytes) {
    // Text of ASCII alone reads the same in every form the file may have.
    if (std::all_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
        return bytes;
    }
    switch (textEncoding(bytes)) {
    case TextEncoding::Utf8WithMark:
        return utf8Lossy(bytes.substr(3));
    case TextEncoding::Utf8:
        return utf8Lossy(bytes);
    case TextEncoding::Ansi:
        break;
    }
    return codec.fromAnsi(bytes);
}

std::string displayName(const Codec& codec, const std::string& bytes) {
    if (isValidUtf8(bytes)) return bytes;
    if (auto ansi = codec.fromAnsiStrict(bytes)) return *ansi;
    return codec.fromAnsi(bytes);
}

std::string encodeText(const Codec& codec, const std::string& utf8) {
    // Only as the reader will read it back: code page 932 bytes that would
    // pass for UTF-8 (a user-defined character before half-width kana) go
    // in UTF-8 behind the mark.
    if (auto ansi = codec.toAnsi(utf8); ansi && textEncoding(*ansi) == TextEncoding::Ansi) return *ansi;
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
