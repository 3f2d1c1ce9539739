// The running process on Windows: command line, executable, current
// directory, and the single instance seen from a second real process.
#ifdef _WIN32

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <random>

#include "platform/native.h"
#include "platform/win32/wide.h"
#include "platform/win32/win32_process.h"
#include "support/temp_dir.h"

namespace mabrel::platform::win32 {
namespace {

// This test program started again as the second process: it reports what it
// sees into a file and ends before any test runs.
//   MABREL_CHILD_REPORT  file to write: command line, then claim results
//   MABREL_CHILD_CLAIM   program name to claim the single instance for
[[maybe_unused]] const bool childRan = [] {
    const char* report = std::getenv("MABREL_CHILD_REPORT");
    if (!report) return false;
    Win32Process process;
    std::ofstream out(std::filesystem::u8path(report), std::ios::binary);
    out << process.commandLine() << '\n';
    if (const char* name = std::getenv("MABREL_CHILD_CLAIM")) {
        out << (process.claimSingleInstance(name) ? "claimed" : "refused") << '\n';
    }
    out.close();
    ::ExitProcess(0);
    return true;
}();

std::wstring ownExecutable() {
    wchar_t buffer[4096];
    const DWORD n = ::GetModuleFileNameW(nullptr, buffer, 4096);
    return std::wstring(buffer, n);
}

// Runs this program again with `arguments` after its quoted name; returns
// the lines of its report.
std::vector<std::string> runChild(const test::TempDir& dir, const std::wstring& arguments,
                                  const std::string& claim = "") {
    const std::string report = dir.drivePath() + "report.txt";
    ::SetEnvironmentVariableW(L"MABREL_CHILD_REPORT", widen(report).c_str());
    ::SetEnvironmentVariableW(L"MABREL_CHILD_CLAIM", claim.empty() ? nullptr : widen(claim).c_str());
    std::wstring line = L"\"" + ownExecutable() + L"\" " + arguments;
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    const BOOL started =
        ::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi);
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

std::string uniqueProgramName() {
    return "mabrel9-iv-test-" + std::to_string(std::random_device{}()) + "-" +
           std::to_string(::GetCurrentProcessId());
}

TEST(Win32CommandLine, TheTextAfterTheProgramNameAsTyped) {
    EXPECT_EQ(textAfterProgramName(L"\"C:\\Program Files\\m\\mabrel9-iv.exe\" \"C:\\My Docs\\a.txt\""),
              L"\"C:\\My Docs\\a.txt\"");
    EXPECT_EQ(textAfterProgramName(L"mabrel9-iv.exe   C:\\Docs\\  "), L"C:\\Docs\\  ");
    EXPECT_EQ(textAfterProgramName(L"mabrel9-iv.exe\tC:\\Docs"), L"C:\\Docs");
    EXPECT_EQ(textAfterProgramName(L"\"C:\\a b\\m.exe\"C:\\x"), L"C:\\x");
    EXPECT_EQ(textAfterProgramName(L"mabrel9-iv.exe"), L"");
    EXPECT_EQ(textAfterProgramName(L"\"C:\\a b\\m.exe\"   "), L"");
    EXPECT_EQ(textAfterProgramName(L"\"C:\\unterminated"), L"");
    EXPECT_EQ(textAfterProgramName(L""), L"");
}

TEST(Win32CommandLine, ASecondProcessSeesItsWholeCommandLine) {
    test::TempDir dir;
    const auto lines = runChild(dir, L"\"C:\\My Docs\\報告書.txt\"  plain");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "\"C:\\My Docs\\報告書.txt\"  plain");
}

TEST(Win32SingleInstance, OneClaimPerProgramNameAcrossProcesses) {
    test::TempDir dir;
    const std::string name = uniqueProgramName();
    {
        Win32Process first;
        ASSERT_TRUE(first.claimSingleInstance(name));
        EXPECT_TRUE(first.claimSingleInstance(name));  // held already by this one
        Win32Process second;
        EXPECT_FALSE(second.claimSingleInstance(name));
        EXPECT_TRUE(second.claimSingleInstance(name + "-other"));

        const auto lines = runChild(dir, L"", name);
        ASSERT_EQ(lines.size(), 2u);
        EXPECT_EQ(lines[1], "refused");
    }
    // The claim ends with its holder.
    const auto lines = runChild(dir, L"", name);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1], "claimed");

    // A name holding "\" is still one name of its own.
    Win32Process third;
    EXPECT_TRUE(third.claimSingleInstance("a\\" + name));
    Win32Process fourth;
    EXPECT_FALSE(fourth.claimSingleInstance("a\\" + name));
}

TEST(Win32Executable, FolderAndBaseNameOfTheRunningProgram) {
    Win32Process process;
    const std::string folder = process.executableFolder();
    EXPECT_EQ(process.executableBaseName(), "platform_tests");
    ASSERT_FALSE(folder.empty());
    EXPECT_NE(folder.back(), '\\');
    EXPECT_EQ(folder[1], ':');
    auto fs = makeNativeFileSystem();
    EXPECT_TRUE(fs->findIgnoringCase(folder + "\\platform_tests.exe", attr::Archive | attr::ReadOnly));
}

TEST(Win32CurrentDirectory, InDriveFormAsSet) {
    test::TempDir dir;
    Win32Process process;
    wchar_t saved[4096];
    const DWORD n = ::GetCurrentDirectoryW(4096, saved);
    ASSERT_GT(n, 0u);
    std::string expected = dir.drivePath();
    expected.pop_back();
    ASSERT_TRUE(::SetCurrentDirectoryW(widen(expected).c_str()));
    const std::string seen = process.currentDirectory();
    ::SetCurrentDirectoryW(saved);
    EXPECT_EQ(seen, expected);
}

}  // namespace
}  // namespace mabrel::platform::win32

#endif  // _WIN32
