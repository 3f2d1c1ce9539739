// The settings reader on any file content, and the writer as a fixed point:
// what was read, written and read again is the same state, and writing that
// again gives the same bytes but for the lastAccess line.
#include <cstdint>

#include "app/process_state.h"
#include "fuzz_support.h"
#include "platform/native.h"
#include "settings/settings_file.h"

namespace {

using namespace mabrel;

const platform::Codec& codec() {
    static const auto c = platform::makeNativeCodec();
    return *c;
}

const std::string kPath = "mabrel9-iv.ini";

void checkList(const std::string& list) {
    FUZZ_CHECK(list.size() >= 1 && list.front() == '.' && list.back() == '.', "list", list);
    FUZZ_CHECK(list.find_first_of(" ,") == std::string::npos, "list", list);
}

std::string shownState(const ProcessState& s) {
    return s.p_driveAndPath + " | " + std::to_string(s.exceptionExtList1Mode) + " | " + s.exceptionExtList1 +
           " | " + std::to_string(s.exceptionExtList2Mode) + " | " + s.exceptionExtList2;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::MemoryDirectory fs;
    fs.files[kPath] = std::string(reinterpret_cast<const char*>(data), size);

    ProcessState first;
    settings::readSettings(fs, codec(), kPath, first);
    checkList(first.exceptionExtList1);
    checkList(first.exceptionExtList2);
    FUZZ_CHECK(first.p_driveAndPath.empty() || first.p_driveAndPath.find_first_not_of(' ') != std::string::npos,
               "lastPath", first.p_driveAndPath);

    const platform::LocalTime before{2001, 2, 3, 4, 5, 6};
    const platform::LocalTime after{2031, 12, 31, 23, 59, 58};
    FUZZ_CHECK(settings::writeSettings(fs, codec(), kPath, first, "mabrel9-iv", before));
    const std::string written = fs.files[kPath];

    ProcessState second;
    FUZZ_CHECK(settings::readSettings(fs, codec(), kPath, second), "written", written);
    FUZZ_CHECK(second.p_driveAndPath == first.p_driveAndPath && second.exceptionExtList1 == first.exceptionExtList1 &&
                   second.exceptionExtList2 == first.exceptionExtList2 &&
                   second.exceptionExtList1Mode == first.exceptionExtList1Mode &&
                   second.exceptionExtList2Mode == first.exceptionExtList2Mode,
               "read", shownState(first), "written", written, "read back", shownState(second));

    // The same settings at a later time: the file as it was.
    FUZZ_CHECK(settings::writeSettings(fs, codec(), kPath, second, "mabrel9-iv", after));
    const std::string again = fs.files[kPath];
    FUZZ_CHECK(again == written, "first write", written, "second write", again);
    return 0;
}
