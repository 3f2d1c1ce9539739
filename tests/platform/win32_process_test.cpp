// The running process on Windows: its command line and the single instance.
// (The program's own processes are the front end's tests': started with a
// quoted folder, a second instance, the settings file beside the program.)
#ifdef _WIN32

#include <windows.h>

#include <gtest/gtest.h>

#include <random>

#include "platform/win32/win32_process.h"

namespace mabrel::platform::win32 {
namespace {

TEST(Win32CommandLine, TheTextAfterTheProgramNameAsTyped) {
    const std::pair<const wchar_t*, const wchar_t*> cases[] = {
        {L"\"C:\\Program Files\\m\\mabrel9-iv.exe\" \"C:\\My Docs\\a.txt\"", L"\"C:\\My Docs\\a.txt\""},
        {L"mabrel9-iv.exe   C:\\Docs\\  ", L"C:\\Docs\\  "},
        {L"mabrel9-iv.exe\tC:\\Docs", L"C:\\Docs"},
        {L"\"C:\\a b\\m.exe\"C:\\x", L"C:\\x"},
        {L"\"C:\\a b\\m.exe\"   ", L""},
        {L"\"C:\\unterminated", L""},
    };
    for (const auto& [line, after] : cases) EXPECT_EQ(textAfterProgramName(line), after);
}

TEST(Win32SingleInstance, OneClaimPerProgramNameEndingWithItsHolder) {
    const std::string name = "mabrel9-iv-test-" + std::to_string(std::random_device{}()) + "-" +
                             std::to_string(::GetCurrentProcessId());
    {
        Win32Process first;
        ASSERT_TRUE(first.claimSingleInstance(name));
        EXPECT_TRUE(first.claimSingleInstance(name));  // held already by this one
        Win32Process second;
        EXPECT_FALSE(second.claimSingleInstance(name));
        EXPECT_TRUE(second.claimSingleInstance("a\\" + name));  // a name holding "\" is one of its own
        Win32Process third;
        EXPECT_FALSE(third.claimSingleInstance("a\\" + name));
    }
    EXPECT_TRUE(Win32Process().claimSingleInstance(name));
}

}  // namespace
}  // namespace mabrel::platform::win32

#endif  // _WIN32
