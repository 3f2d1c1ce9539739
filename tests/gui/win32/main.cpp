// The tests read window rectangles in the pixels the program lays out in: as
// a per-monitor DPI-aware process, like the program, Windows scales nothing.
#include <gtest/gtest.h>
#include <windows.h>

int main(int argc, char** argv) {
    using SetContext = BOOL(WINAPI*)(HANDLE);
    const auto set = reinterpret_cast<SetContext>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "SetProcessDpiAwarenessContext")));
    // DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2
    if (set) set(reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-4)));
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
