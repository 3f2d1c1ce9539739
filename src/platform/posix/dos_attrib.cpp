#include "platform/posix/dos_attrib.h"

#include <cctype>

namespace mabrel::platform::posix {

namespace {

constexpr std::uint32_t kValidAttrib = 0x1;  // XATTR_DOSINFO_ATTRIB

std::optional<std::uint32_t> parseHex(const std::string& text) {
    if (text.size() < 3 || text[0] != '0' || (text[1] != 'x' && text[1] != 'X')) return std::nullopt;
    std::uint32_t value = 0;
    std::size_t digits = 0;
    for (std::size_t i = 2; i < text.size(); ++i) {
        const char c = text[i];
        int d;
        if (c >= '0' && c <= '9') d = c - '0';
        else if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
        else break;
        if (++digits > 8) return std::nullopt;
        value = value * 16 + static_cast<std::uint32_t>(d);
    }
    if (digits == 0) return std::nullopt;
    return value;
}

bool readLe(const std::string& bytes, std::size_t offset, std::size_t width, std::uint32_t& out) {
    if (offset + width > bytes.size()) return false;
    out = 0;
    for (std::size_t i = 0; i < width; ++i) {
        out |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[offset + i])) << (8 * i);
    }
    return true;
}

void putLe(std::string& out, std::uint64_t value, std::size_t width) {
    for (std::size_t i = 0; i < width; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

std::size_t align(std::size_t offset, std::size_t to) { return (offset + to - 1) / to * to; }

}  // namespace

std::optional<std::uint32_t> decodeDosAttrib(const std::string& value) {
    const auto nul = value.find('\0');
    if (nul == std::string::npos) return parseHex(value);  // the text form

    // A hex text that is there says the same as the record after it (Samba
    // writes both); it is the one part whose place does not depend on NDR
    // alignment rules, so it is taken first.
    if (auto hex = parseHex(value.substr(0, nul))) return hex;

    std::size_t offset = align(nul + 1, 2);
    std::uint32_t version = 0, level = 0;
    if (!readLe(value, offset, 2, version) || !readLe(value, offset + 2, 2, level)) return std::nullopt;
    if (version != level) return std::nullopt;
    offset += 4;
    std::uint32_t attributes = 0, flags = 0;
    switch (version) {
    case 1:
    case 0xFFFF:
        if (!readLe(value, align(offset, 4), 4, attributes)) return std::nullopt;
        return attributes;
    case 2:
        if (!readLe(value, align(offset, 4) + 4, 4, attributes)) return std::nullopt;
        return attributes;
    case 3:
    case 4:
    case 5:
        // Records holding 64-bit times are aligned to 8.
        offset = align(offset, 8);
        if (!readLe(value, offset, 4, flags) || !readLe(value, offset + 4, 4, attributes)) return std::nullopt;
        if ((flags & kValidAttrib) == 0) return std::nullopt;
        return attributes;
    default:
        return std::nullopt;
    }
}

std::string encodeDosAttrib(std::uint32_t attributes) {
    std::string out;
    out += '\0';       // empty hex text
    out += '\0';       // alignment to 2
    putLe(out, 4, 2);  // version
    putLe(out, 4, 2);  // union level
    putLe(out, 0, 2);  // alignment to 8
    putLe(out, kValidAttrib, 4);
    putLe(out, attributes, 4);
    putLe(out, 0, 8);  // itime: not kept
    putLe(out, 0, 8);  // create time: not kept (not flagged valid)
    return out;
}

}  // namespace mabrel::platform::posix
