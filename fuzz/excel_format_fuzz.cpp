// A cell's number under any number format: whatever the format code and the
// number, what is shown is valid UTF-8 and of bounded length.
#include <cstdint>

#include "backup/excel_format.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider provider(data, size);
    const double value = provider.ConsumeBool() ? provider.ConsumeFloatingPoint<double>()
                                                : provider.ConsumeFloatingPointInRange<double>(-1e6, 3e6);
    const bool date1904 = provider.ConsumeBool();
    const std::string code = mabrel::fuzz::text(provider, 256);
    const std::string shown = mabrel::backup::formatCellNumber(value, code, date1904);
    FUZZ_CHECK(mabrel::platform::isValidUtf8(shown) && shown.size() <= 64 * code.size() + 512, "code", code, "shown", shown);
    return 0;
}
