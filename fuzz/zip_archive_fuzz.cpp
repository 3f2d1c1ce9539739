// The zip reader: whatever the bytes, it reads a directory or throws its
// error, and an entry unpacks to no more than the limit it is given and to
// exactly the size its directory states.
#include <cstdint>

#include "fuzz_support.h"
#include "util/zip_archive.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    constexpr std::uint64_t kLimit = 1 << 20;
    try {
        const mabrel::util::ZipArchive zip(bytes);
        for (const auto& entry : zip.entries()) {
            FUZZ_CHECK(zip.find(entry.name) != nullptr, "name", entry.name);
            try {
                const std::string unpacked = zip.read(entry, kLimit);
                FUZZ_CHECK(unpacked.size() <= kLimit && unpacked.size() == entry.size, "entry", entry.name);
            } catch (const mabrel::util::ZipError&) {
                // Refused: damaged, encrypted, too large or packed in another way.
            }
        }
    } catch (const mabrel::util::ZipError&) {
    }
    return 0;
}
