// The running process on Windows: its command line, and the single instance
// seen from a second real process. (The executable's folder and name are the
// front end's tests': they find the settings file beside the program.)
#ifdef _WIN32

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <random>

#include "platform/win32/wide.h"
#include "platform/win32/win32_process.h"
#include "support/temp_dir.h"

namespace mabrel::platform::win32 {
namespace {

// This test program started again as the second process: it writes its
// command line and, given MABREL_CHILD_CLAIM, whether it got the single
// instance into MABREL_CHILD_REPORT, and ends before any test runs.
[[maybe_unused]] const bool childRan = [] {
    const char* report = std::getenv("MABREL_CHILD_REPORT");
    if (!report) return false;
    Win32Process process;
    std::ofstream out(std::filesystem::u8path(report), std::ios::binary);
    out << process.commandLine() << '\n';
    if (const char* name = std::getenv("MABREL_CHILD_CLAIM")) out << (process.claimSingleInstance(name) ? "claimed" : "refused");
    out.close();
    ::ExitProcess(0);
}();

// Runs this program again with `arguments` after its quoted name; returns
// the lines of its report.
std::vector<std::string> runChild(const std::wstring& arguments, const std::string& claim = "") {
    test::TempDir dir;
    ::SetEnvironmentVariableW(L"MABREL_CHILD_REPORT", widen(dir.drivePath() + "report.txt").c_str());
    ::SetEnvironmentVariableW(L"MABREL_CHILD_CLAIM", claim.empty() ? nullptr : widen(claim).c_str());
    wchar_t self[4096];
    std::wstring line = L"\"" + std::wstring(self, ::GetModuleFileNameW(nullptr, self, 4096)) + L"\" " + arguments;
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    const BOOL started = ::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi);
    ::SetEnvironmentVariableW(L"MABREL_CHILD_REPORT", nullptr);
    ::SetEnvironmentVariableW(L"MABREL_CHILD_CLAIM", nullptr);
    if (!started) throw std::runtime_error("cannot start the second process");
    ::WaitForSingleObject(pi.hProcess, 60000);
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
    std::ifstream in(dir.path() / "report.txt", std::ios::binary);
    std::vector<std::string> lines;
    for (std::string l; std::getline(in, l);) lines.push_back(l);
    return lines;
}

TEST(Win32CommandLine, TheTextAfterTheProgramNameAsTypedAndAsASecondProcessSeesIt) {
    const std::pair<const wchar_t*, const wchar_t*> cases[] = {
        {L"\"C:\\Program Files\\m\\mabrel9-iv.exe\" \"C:\\My Docs\\a.txt\"", L"\"C:\\My Docs\\a.txt\""},
        {L"mabrel9-iv.exe   C:\\Docs\\  ", L"C:\\Docs\\  "},
        {L"mabrel9-iv.exe\tC:\\Docs", L"C:\\Docs"},
        {L"\"C:\\a b\\m.exe\"C:\\x", L"C:\\x"},
        {L"\"C:\\a b\\m.exe\"   ", L""},
        {L"\"C:\\unterminated", L""},
    };
    for (const auto& [line, after] : cases) EXPECT_EQ(textAfterProgramName(line), after);
    EXPECT_EQ(runChild(L"\"C:\\My Docs\\報告書.txt\"  plain"), std::vector<std::string>{"\"C:\\My Docs\\報告書.txt\"  plain"});
}

TEST(Win32SingleInstance, OneClaimPerProgramNameAcrossProcessesEndingWithItsHolder) {
    const std::string name = "mabrel9-iv-test-" + std::to_string(std::random_device{}()) + "-" +
                             std::to_string(::GetCurrentProcessId());
    {
        Win32Process first;
        ASSERT_TRUE(first.claimSingleInstance(name));
        EXPECT_TRUE(first.claimSingleInstance(name));  // held already by this one
        Win32Process second;
        EXPECT_FALSE(second.claimSingleInstance(name));
        EXPECT_TRUE(second.claimSingleInstance("a\\" + name));  // a name holding "\" is one of its own
        EXPECT_EQ(runChild(L"", name).back(), "refused");
        Win32Process third;
        EXPECT_FALSE(third.claimSingleInstance("a\\" + name));
    }
    EXPECT_EQ(runChild(L"", name).back(), "claimed");
}

}  // namespace
}  // namespace mabrel::platform::win32

#endif  // _WIN32
