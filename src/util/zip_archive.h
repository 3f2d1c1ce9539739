// Reading a zip file held in memory (the container of .xlsx and .docx):
// its central directory, and an entry unpacked with zlib within a limit, so
// that a small file that unpacks to gigabytes (a zip bomb) is refused after
// the limit, not after the memory is gone.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace mabrel::util {

struct ZipError {
    enum Kind { NotZip, Damaged, Encrypted, TooLarge, Unsupported };
    Kind kind;
    std::string detail;  // for the person, in Japanese
};

class ZipArchive {
public:
    struct Entry {
        std::string name;
        std::uint64_t packedSize = 0;
        std::uint64_t size = 0;
        std::uint64_t localHeader = 0;
        std::uint32_t crc = 0;
        std::uint16_t method = 0;
        std::uint16_t flags = 0;
    };

    // Reads the central directory of `bytes`, which must outlive the
    // archive; throws ZipError.
    explicit ZipArchive(std::string_view bytes);

    const std::vector<Entry>& entries() const { return entries_; }
    // The entry of that name, letter case aside (as the formats' part names
    // are); null for none.
    const Entry* find(std::string_view name) const;
    // The entry unpacked and checked against its CRC; throws ZipError,
    // TooLarge when it would be more than `limit` bytes.
    std::string read(const Entry& entry, std::uint64_t limit) const;

private:
    std::string_view bytes_;
    std::vector<Entry> entries_;
};

}  // namespace mabrel::util
