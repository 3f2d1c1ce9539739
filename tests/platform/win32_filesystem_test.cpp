// The Windows file system layer against real files (under Wine on Linux).
#ifdef _WIN32

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

#include "platform/errors.h"
#include "platform/win32/wide.h"
#include "platform/win32/win32_filesystem.h"
#include "support/platform_error.h"
#include "support/temp_dir.h"
#include "util/bas_basic.h"

namespace mabrel::platform::win32 {
namespace {

using test::TempDir;

constexpr std::uint32_t kMask37 = attr::ReadOnly | attr::System | attr::Archive;
constexpr std::uint32_t kAll = attr::ReadOnly | attr::Hidden | attr::System | attr::Directory | attr::Archive;

using test::errorOf;
DWORD rawAttributes(const std::string& path) { return ::GetFileAttributesW(widen(path).c_str()); }

std::vector<std::string> names(const std::vector<DirEntry>& entries) {
    std::vector<std::string> out;
    for (const auto& e : entries) out.push_back(e.name);
    return out;
}

bool runningUnderWine() {
    HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    return ntdll && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

class Win32FileSystemTest : public ::testing::Test {
protected:
    TempDir dir;
    Win32FileSystem fs;
    std::string root = dir.drivePath();  // ends with "\"
};

TEST_F(Win32FileSystemTest, AttributesAreTheFileSystemsOwnAndSteerListings) {
    dir.write("plain.txt", "p");
    dir.write("hidden.txt", "h");
    dir.write("system.txt", "s");
    dir.write("readonly.txt", "r");
    dir.mkdir("sub");
    fs.setAttributes(root + "hidden.txt", attr::Hidden | attr::Archive);
    fs.setAttributes(root + "system.txt", attr::System);
    fs.setAttributes(root + "readonly.txt", attr::ReadOnly | attr::Archive);

    // Set through the layer, seen by Windows itself.
    EXPECT_TRUE(rawAttributes(root + "hidden.txt") & FILE_ATTRIBUTE_HIDDEN);
    EXPECT_TRUE(rawAttributes(root + "system.txt") & FILE_ATTRIBUTE_SYSTEM);
    EXPECT_TRUE(rawAttributes(root + "readonly.txt") & FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(fs.attributes(root + "readonly.txt"), attr::ReadOnly | attr::Archive);
    // Wine keeps the archive bit on every file; Windows lets it be cleared.
    EXPECT_EQ(fs.attributes(root + "system.txt") & ~attr::Archive, attr::System);
    EXPECT_EQ(fs.attributes(root + "sub") & attr::Directory, attr::Directory);
    EXPECT_EQ(fs.attributes(root + "sub\\") & attr::Directory, attr::Directory);

    // Mask 37 sees read-only, system and archive files, never hidden ones.
    EXPECT_EQ(names(fs.list(root, kMask37)), (std::vector<std::string>{"plain.txt", "readonly.txt", "system.txt"}));
    EXPECT_EQ(names(fs.list(root, 0)), (std::vector<std::string>{"plain.txt", "readonly.txt"}));
    EXPECT_EQ(names(fs.list(root.substr(0, root.size() - 1), kAll)),
              (std::vector<std::string>{".", "..", "hidden.txt", "plain.txt", "readonly.txt", "sub", "system.txt"}));
    EXPECT_FALSE(fs.find(root + "hidden.txt", kMask37));
    ASSERT_TRUE(fs.find(root + "hidden.txt", kMask37 | attr::Hidden));
    EXPECT_EQ(fs.find(root + "hidden.txt", kAll)->attributes, attr::Hidden | attr::Archive);
    EXPECT_FALSE(fs.find(root + "sub", kMask37));
    EXPECT_TRUE(fs.find(root + "sub", attr::Directory));

    // The directory bit cannot be set or cleared; everything else can be cleared.
    fs.setAttributes(root + "sub", attr::Directory | attr::Hidden);
    EXPECT_EQ(fs.attributes(root + "sub"), attr::Directory | attr::Hidden);
    fs.setAttributes(root + "readonly.txt", attr::Normal);
    EXPECT_EQ(fs.attributes(root + "readonly.txt") & ~attr::Archive, attr::Normal);
}

TEST_F(Win32FileSystemTest, MissingThingsGiveFileOrPathNotFound) {
    EXPECT_EQ(errorOf([&] { fs.attributes(root + "missing.txt"); }), err::FileNotFound);
    EXPECT_EQ(errorOf([&] { fs.attributes(root + "nofolder\\missing.txt"); }), err::PathNotFound);
    EXPECT_EQ(errorOf([&] { fs.readFile(root + "missing.txt"); }), err::FileNotFound);
    EXPECT_EQ(errorOf([&] { fs.modificationTime(root + "missing.txt"); }), err::FileNotFound);
    EXPECT_EQ(errorOf([&] { fs.deleteFile(root + "nofolder\\x"); }), err::PathNotFound);
    EXPECT_EQ(errorOf([&] { fs.createDirectory(root + "nofolder\\x"); }), err::PathNotFound);
    EXPECT_TRUE(fs.list(root + "nofolder", kAll).empty());
    EXPECT_FALSE(fs.find(root + "nofolder\\x", kAll));
    EXPECT_FALSE(fs.find(root + "missing.txt", kAll));
    // Wildcards name nothing, even where a name would match them.
    dir.write("a.txt", "a");
    EXPECT_FALSE(fs.find(root + "*.txt", kAll));
    EXPECT_FALSE(fs.find(root + "a.tx?", kAll));
    EXPECT_FALSE(fs.find(root + "a.tx<", kAll));
    EXPECT_TRUE(fs.list(root + "*", kAll).empty());
    // A bad name is a clear error, not a crash.
    EXPECT_EQ(errorOf([&] { fs.attributes(root + std::string("a\0b", 3)); }), err::PathFileAccess);
    // The backup folder not made yet: path not found, which makes the caller create it.
    EXPECT_EQ(errorOf([&] { fs.copyFile(root + "a.txt", root + "_mabre-l94\\a_x.txt"); }), err::PathNotFound);
    EXPECT_EQ(errorOf([&] { fs.copyFile(root + "gone.txt", root + "b.txt"); }), err::FileNotFound);
    EXPECT_EQ(errorOf([&] { fs.copyFile(root + "nofolder\\gone.txt", root + "b.txt"); }), err::PathNotFound);
    EXPECT_EQ(names(fs.list(root, kAll)), (std::vector<std::string>{".", "..", "a.txt"}));
}

TEST_F(Win32FileSystemTest, FindAnswersWithTheStoredLongName) {
    dir.write("Mixed Case Report.Document", "x");
    auto entry = fs.find(root + "mixed case report.DOCUMENT", kMask37);
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->name, "Mixed Case Report.Document");

    wchar_t shortPath[MAX_PATH];
    const std::wstring longPath = widen(root + "Mixed Case Report.Document");
    const DWORD n = ::GetShortPathNameW(longPath.c_str(), shortPath, MAX_PATH);
    ASSERT_GT(n, 0u);
    const std::string alias = narrow(shortPath, n);
    if (alias == root + "Mixed Case Report.Document") GTEST_SKIP() << "this volume keeps no short names";
    entry = fs.find(alias, kMask37);
    ASSERT_TRUE(entry) << alias;
    EXPECT_EQ(entry->name, "Mixed Case Report.Document");
}

TEST_F(Win32FileSystemTest, NamesOutsideAsciiSurviveTheWideBoundary) {
    const std::string name = "報告書 ｶﾅ \xF0\x9F\x93\x84.txt";  // with a character beyond the BMP
    fs.writeFileAtomic(root + name, "内容");
    EXPECT_EQ(names(fs.list(root, kMask37)), std::vector<std::string>{name});
    EXPECT_EQ(fs.readFile(root + name), "内容");
    EXPECT_EQ(test::readBytes(dir.path() / std::filesystem::u8path(name)), "内容");
    fs.copyFile(root + name, root + "写し.txt");
    EXPECT_EQ(fs.readFile(root + "写し.txt"), "内容");
}

TEST_F(Win32FileSystemTest, CopyKeepsContentTimeAndAttributesAndLeavesNoTemporary) {
    std::string content(300000, '\0');
    for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7);
    auto source = dir.write("report.txt", content);
    test::setModificationTime(source, 2000, 7, 15, 9, 5, 3);
    fs.setAttributes(root + "report.txt", attr::ReadOnly | attr::Archive);
    dir.mkdir("_mabre-l94");
    const std::string target = root + "_mabre-l94\\report_2000-07-15 09-05-03.txt";

    fs.copyFile(root + "report.txt", target);

    EXPECT_TRUE(fs.readFile(target) == content);
    EXPECT_EQ(fs.modificationTime(target), (LocalTime{2000, 7, 15, 9, 5, 3}));
    EXPECT_EQ(fs.modificationTime(root + "report.txt"), (LocalTime{2000, 7, 15, 9, 5, 3}));
    EXPECT_EQ(fs.attributes(target), attr::ReadOnly | attr::Archive);
    EXPECT_EQ(fs.fileSize(target), 300000);
    EXPECT_EQ(names(fs.list(root + "_mabre-l94", kAll)),
              (std::vector<std::string>{".", "..", "report_2000-07-15 09-05-03.txt"}));

    // A read-only target is not replaced, and stays as it was.
    dir.write("newer.txt", "newer");
    EXPECT_EQ(errorOf([&] { fs.copyFile(root + "newer.txt", target); }), err::PermissionDenied);
    EXPECT_TRUE(fs.readFile(target) == content);
    EXPECT_EQ(fs.list(root + "_mabre-l94", kAll).size(), 3u);

    // A writable one is.
    fs.setAttributes(target, attr::Archive);
    fs.copyFile(root + "newer.txt", target);
    EXPECT_EQ(fs.readFile(target), "newer");
    EXPECT_EQ(fs.list(root + "_mabre-l94", kAll).size(), 3u);
}

TEST_F(Win32FileSystemTest, AWatchedCopyIsToldOfToItsEndAndACancelLeavesEverythingAsItWas) {
    std::string content(3 << 20, '\0');
    for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7919 >> 9);
    test::setModificationTime(dir.write("big.bin", content), 2023, 4, 5, 6, 7, 8);
    dir.write("target.bin", "the old version");
    dir.mkdir("store");

    // Told from the start, piece by piece, to the end (under Wine too); the
    // copy has the source's time.
    std::vector<std::pair<std::uint64_t, std::uint64_t>> told;
    const CopyProgress watch = [&](std::uint64_t copied, std::uint64_t total) {
        told.emplace_back(copied, total);
        return true;
    };
    fs.createCopy(root + "big.bin", root + "store\\copy.bin", attr::ReadOnly, watch);
    ASSERT_GE(told.size(), 2u);
    EXPECT_EQ(told.front().first, 0u);
    EXPECT_TRUE(std::is_sorted(told.begin(), told.end()));
    EXPECT_EQ(told.back(), std::make_pair(std::uint64_t{content.size()}, std::uint64_t{content.size()}));
    EXPECT_TRUE(fs.readFile(root + "store\\copy.bin") == content);
    EXPECT_EQ(fs.find(root + "store\\copy.bin", kAll)->utcSeconds, fs.find(root + "big.bin", kAll)->utcSeconds);

    // Cancelled once some of it is copied: nothing new, nothing replaced,
    // no temporary, hidden or not.
    const CopyProgress cancel = [](std::uint64_t copied, std::uint64_t) { return copied == 0; };
    EXPECT_EQ(errorOf([&] { fs.createCopy(root + "big.bin", root + "store\\again.bin", attr::ReadOnly, cancel); }),
              err::Cancelled);
    EXPECT_EQ(errorOf([&] { fs.copyFile(root + "big.bin", root + "target.bin", cancel); }), err::Cancelled);
    EXPECT_EQ(fs.readFile(root + "target.bin"), "the old version");
    EXPECT_EQ(names(fs.list(root, kAll)), (std::vector<std::string>{".", "..", "big.bin", "store", "target.bin"}));
    EXPECT_EQ(names(fs.list(root + "store", kAll)), (std::vector<std::string>{".", "..", "copy.bin"}));
}

TEST_F(Win32FileSystemTest, AtomicWritesReplaceWholeAndKeepWhatThePersonSet) {
    const std::string path = root + "_mabre.l94";
    fs.writeFileAtomic(path, "first\r\n");
    EXPECT_EQ(fs.readFile(path), "first\r\n");
    EXPECT_EQ(fs.attributes(path), attr::Archive);

    fs.setAttributes(path, attr::Hidden | attr::Archive);
    fs.writeFileAtomic(path, "second\r\n");
    EXPECT_EQ(fs.readFile(path), "second\r\n");
    EXPECT_EQ(fs.attributes(path), attr::Hidden | attr::Archive);

    fs.setAttributes(path, attr::ReadOnly);
    EXPECT_EQ(errorOf([&] { fs.writeFileAtomic(path, "third\r\n"); }), err::PermissionDenied);
    EXPECT_EQ(fs.readFile(path), "second\r\n");

    fs.writeFileAtomic(root + "empty.ini", "");
    EXPECT_EQ(fs.fileSize(root + "empty.ini"), 0);
    EXPECT_EQ(errorOf([&] { fs.writeFileAtomic(root + "nofolder\\x.ini", "x"); }), err::PathNotFound);
    // No temporary is left behind, hidden or not.
    EXPECT_EQ(names(fs.list(root, kAll)), (std::vector<std::string>{".", "..", "_mabre.l94", "empty.ini"}));
}

TEST_F(Win32FileSystemTest, RenameDeleteAndCreateDirectory) {
    dir.write("old.txt", "old");
    dir.write("new.txt", "new");
    fs.rename(root + "new.txt", root + "old.txt");
    EXPECT_EQ(fs.readFile(root + "old.txt"), "new");
    EXPECT_FALSE(fs.find(root + "new.txt", kAll));

    // A read-only file is refused until its attribute is cleared, as the
    // program does before it deletes a backup copy.
    fs.setAttributes(root + "old.txt", attr::ReadOnly | attr::Archive);
    EXPECT_EQ(errorOf([&] { fs.deleteFile(root + "old.txt"); }), err::PermissionDenied);
    EXPECT_TRUE(fs.find(root + "old.txt", kAll));
    fs.setAttributes(root + "old.txt", attr::Archive);
    fs.deleteFile(root + "old.txt");
    EXPECT_EQ(errorOf([&] { fs.deleteFile(root + "old.txt"); }), err::FileNotFound);

    fs.createDirectory(root + "_mabre-l94");
    EXPECT_EQ(fs.attributes(root + "_mabre-l94"), attr::Directory);  // not hidden, not read-only
    EXPECT_NE(errorOf([&] { fs.createDirectory(root + "_mabre-l94"); }), 0);
}

TEST_F(Win32FileSystemTest, SizesAndLocalModificationTimes) {
    auto p = dir.write("big.bin", std::string(70000, 'x'));
    test::setModificationTime(p, 2021, 12, 31, 23, 59, 58);
    EXPECT_EQ(fs.fileSize(root + "big.bin"), 70000);
    EXPECT_EQ(fs.modificationTime(root + "big.bin"), (LocalTime{2021, 12, 31, 23, 59, 58}));
    test::setModificationTime(p, 2000, 2, 29, 0, 0, 0);
    EXPECT_EQ(fs.modificationTime(root + "big.bin"), (LocalTime{2000, 2, 29, 0, 0, 0}));
}

// The lock another instance holds (its lock file, open without sharing)
// makes an update wait; a copy taken again is younger than before.
TEST_F(Win32FileSystemTest, AnUpdateWaitsForTheLockAndACopyTakenAgainAgesAnew) {
    dir.write("_mabre.l94", "stored\n");
    const HANDLE held = ::CreateFileW(widen(root + "_mabre.l94.lock").c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0,
                                      nullptr, CREATE_NEW, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    struct Other {
        Win32FileSystem& fs;
        std::string path;
        HANDLE lock;
    } another{fs, root + "_mabre.l94", held};
    const HANDLE other = ::CreateThread(
        nullptr, 0,
        [](void* p) -> DWORD {
            auto& o = *static_cast<Other*>(p);
            ::Sleep(300);
            o.fs.writeFileAtomic(o.path, "stored\nother\n");
            ::CloseHandle(o.lock);
            return 0;
        },
        &another, 0, nullptr);
    ASSERT_TRUE(other);
    fs.updateFile(root + "_mabre.l94", [](const std::optional<std::string>& stored) {
        return std::optional<std::string>(stored.value_or("") + "this\n");
    });
    ::WaitForSingleObject(other, INFINITE);
    ::CloseHandle(other);
    EXPECT_EQ(test::readBytes(dir.path() / "_mabre.l94"), "stored\nother\nthis\n");
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "_mabre.l94.lock"));
    fs.updateFile(root + "none.l94", [](const std::optional<std::string>& stored) {
        EXPECT_FALSE(stored);
        return std::nullopt;
    });
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "none.l94"));

    dir.write("a.txt", "same");
    test::setModificationTime(dir.write("b.txt", "same"), 2000, 7, 15, 9, 5, 3);
    dir.write("c.txt", "SAME");
    EXPECT_TRUE(fs.sameContent(root + "a.txt", root + "b.txt"));
    EXPECT_FALSE(fs.sameContent(root + "a.txt", root + "c.txt"));
    fs.setAttributes(root + "b.txt", attr::ReadOnly | attr::Archive);
    FILETIME now{};
    ::GetSystemTimeAsFileTime(&now);
    const auto seconds = static_cast<std::int64_t>(
        ((static_cast<std::uint64_t>(now.dwHighDateTime) << 32 | now.dwLowDateTime) / 10000000ull) - 11644473600ull);
    fs.markTaken(root + "b.txt");
    EXPECT_GE(fs.takenTime(root + "b.txt"), seconds - 2);  // not the time of the version it holds
    EXPECT_EQ(rawAttributes(root + "b.txt") & FILE_ATTRIBUTE_READONLY, static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(test::readBytes(dir.path() / "b.txt"), "same");
}

TEST(Win32Drives, TypesOfTheMachinesDrives) {
    Win32FileSystem fs;
    EXPECT_EQ(fs.driveType("C:\\"), 3u);  // DRIVE_FIXED: the system drive
    const DWORD present = ::GetLogicalDrives();
    for (int i = 0; i < 26; ++i) {
        const std::string root = std::string(1, static_cast<char>('A' + i)) + ":\\";
        const unsigned type = fs.driveType(root);
        if (present & (1u << i)) {
            EXPECT_NE(type, 1u) << root;
        } else {
            EXPECT_EQ(type, 1u) << root;  // DRIVE_NO_ROOT_DIR
        }
    }
    if (runningUnderWine()) {
        // Wine maps Z: onto the host's "/" and reports it as a fixed disk.
        EXPECT_TRUE(present & (1u << 25));
        EXPECT_EQ(fs.driveType("Z:\\"), 3u);
        EXPECT_EQ(fs.attributes("Z:\\") & attr::Directory, attr::Directory);
    }
}

TEST(Win32Paths, RootSpellingsAndTemporaryNames) {
    EXPECT_TRUE(isRootSpelling("C:"));
    EXPECT_TRUE(isRootSpelling("C:\\"));
    EXPECT_TRUE(isRootSpelling("\\\\server\\share"));
    EXPECT_TRUE(isRootSpelling("\\\\server\\share\\"));
    EXPECT_FALSE(isRootSpelling("C:\\Docs"));
    EXPECT_FALSE(isRootSpelling("\\\\server\\share\\dir"));

    EXPECT_EQ(temporaryBeside(L"C:\\d\\a.txt", 0xABC), L"C:\\d\\.a.txt.000000000abc~");
    // A long name is cut so that the temporary still fits in one component,
    // never between the halves of a surrogate pair.
    std::wstring longName(199, L'x');
    longName += L"\U0001F4C4";
    longName += std::wstring(100, L'y');
    const std::wstring t = temporaryBeside(L"C:\\" + longName, 1);
    EXPECT_LE(t.size() - 3, 255u);
    EXPECT_EQ(t.substr(3, 200), L"." + std::wstring(199, L'x'));
}

// The long-name normaliser on the real file system: case-insensitive names
// come back as stored, short aliases as their long names.
TEST_F(Win32FileSystemTest, LongNameNormaliserSpellsPathsAsStored) {
    dir.mkdir("Project Files\\Sub Folder");
    dir.write("Project Files\\Sub Folder\\Read Me.txt", "x");
    dir.mkdir("Hidden Dir\\Inner");
    fs.setAttributes(root + "Hidden Dir", attr::Hidden);
    const std::string stored = root + "Project Files\\Sub Folder\\";
    if (bas_basic::normaliseLongName(fs, root) != root) {
        GTEST_SKIP() << "the temporary folder " << root << " lies below a hidden or system folder";
    }

    std::string lower = stored;
    for (auto& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    // The drive letter is kept as typed; everything after it comes back as stored.
    const std::string asTyped = lower.substr(0, 2) + stored.substr(2);
    EXPECT_EQ(bas_basic::normaliseLongName(fs, lower), asTyped);
    EXPECT_EQ(bas_basic::normaliseLongName(fs, "  \"" + lower + "read me.TXT\"  "), asTyped + "Read Me.txt");
    EXPECT_EQ(bas_basic::normaliseLongName(fs, stored.substr(0, stored.size() - 1)), stored);

    // Missing components are left out, and everything after them.
    EXPECT_EQ(bas_basic::normaliseLongName(fs, root + "Project Files\\Missing\\Sub Folder\\"), root + "Project Files\\");
    // A hidden last component is found.
    EXPECT_EQ(bas_basic::normaliseLongName(fs, root + "hidden dir"), root + "Hidden Dir\\");

    wchar_t shortPath[MAX_PATH];
    const DWORD n = ::GetShortPathNameW(widen(stored + "Read Me.txt").c_str(), shortPath, MAX_PATH);
    ASSERT_GT(n, 0u);
    const std::string alias = narrow(shortPath, n);
    if (alias == stored + "Read Me.txt") GTEST_SKIP() << "this volume keeps no short names";
    EXPECT_EQ(bas_basic::normaliseLongName(fs, alias), stored + "Read Me.txt") << alias;
}

}  // namespace
}  // namespace mabrel::platform::win32

#endif  // _WIN32
