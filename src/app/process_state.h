// Process-wide state shared by the main window and the small windows.
#pragma once

#include <cstdint>
#include <string>

namespace mabrel {

struct ProcessState {
    // The current folder, ending in "\" once start-up has finished.
    std::string p_driveAndPath;
    // Display filter (mode 1: only listed extensions are shown).
    std::int16_t exceptionExtList1Mode = 0;
    std::string exceptionExtList1;
    // Open filter (mode 1: only listed extensions may be opened).
    std::int16_t exceptionExtList2Mode = 0;
    std::string exceptionExtList2;
    // How the last small window was closed.
    std::int32_t p_dialogResult = 0;
    // The drive chooser's answer; empty for Cancel.
    std::string p_chosenPath;
};

}  // namespace mabrel
