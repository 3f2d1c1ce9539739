// The stored DOS attributes (user.DOSATTRIB): any value decodes without harm,
// a value of the text form gives the number it spells, and every attribute
// value survives the written form.
#include <cstdint>
#include <cstring>

#include "fuzz_support.h"
#include "platform/posix/dos_attrib.h"

using namespace mabrel::platform::posix;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string value(reinterpret_cast<const char*>(data), size);
    const auto decoded = decodeDosAttrib(value);
    if (decoded && value.find('\0') == std::string::npos) {
        FUZZ_CHECK(std::strtoul(value.c_str(), nullptr, 16) == *decoded, "value", value);
    }

    std::uint32_t bits = 0;
    std::memcpy(&bits, data, std::min<std::size_t>(size, sizeof bits));
    const std::string written = encodeDosAttrib(bits);
    FUZZ_CHECK(decodeDosAttrib(written) == bits, "written", written);
    // What follows a value does not change what it says.
    FUZZ_CHECK(decodeDosAttrib(written + value) == bits, "written", written, "then", value);
    return 0;
}
