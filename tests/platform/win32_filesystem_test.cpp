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
    std::unique_ptr<Directory> open(const std::string& relative = "") { return fs.openDirectory(root + relative); }
};

TEST_F(Win32FileSystemTest, AttributesAreTheFileSystemsOwnAndSteerListings) {
    dir.write("plain.txt", "p");
    dir.write("hidden.txt", "h");
    dir.write("system.txt", "s");
    dir.write("readonly.txt", "r");
    dir.mkdir("sub");
    const auto folder = open();
    folder->setAttributes("hidden.txt", attr::Hidden | attr::Archive);
    folder->setAttributes("system.txt", attr::System);
    folder->setAttributes("readonly.txt", attr::ReadOnly | attr::Archive);

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
    EXPECT_EQ(names(folder->list(kMask37)), (std::vector<std::string>{"plain.txt", "readonly.txt", "system.txt"}));
    EXPECT_EQ(names(folder->list(0)), (std::vector<std::string>{"plain.txt", "readonly.txt"}));
    EXPECT_EQ(names(fs.openDirectory(root.substr(0, root.size() - 1))->list(kAll)),
              (std::vector<std::string>{".", "..", "hidden.txt", "plain.txt", "readonly.txt", "sub", "system.txt"}));
    EXPECT_FALSE(folder->find("hidden.txt", kMask37));
    ASSERT_TRUE(folder->find("hidden.txt", kMask37 | attr::Hidden));
    EXPECT_EQ(folder->find("hidden.txt", kAll)->attributes, attr::Hidden | attr::Archive);
    EXPECT_FALSE(folder->find("sub", kMask37));
    EXPECT_TRUE(folder->find("sub", attr::Directory));

    // The directory bit cannot be set or cleared; everything else can be cleared.
    folder->setAttributes("sub", attr::Directory | attr::Hidden);
    EXPECT_EQ(fs.attributes(root + "sub"), attr::Directory | attr::Hidden);
    folder->setAttributes("readonly.txt", attr::Normal);
    EXPECT_EQ(fs.attributes(root + "readonly.txt") & ~attr::Archive, attr::Normal);
}

TEST_F(Win32FileSystemTest, MissingThingsGiveFileOrPathNotFound) {
    EXPECT_EQ(errorOf([&] { fs.attributes(root + "missing.txt"); }), err::FileNotFound);
    EXPECT_EQ(errorOf([&] { fs.attributes(root + "nofolder\\missing.txt"); }), err::PathNotFound);
    EXPECT_EQ(errorOf([&] { open("nofolder"); }), err::PathNotFound);
    EXPECT_FALSE(fs.findIgnoringCase(root + "nofolder\\x", kAll));
    EXPECT_FALSE(fs.findIgnoringCase(root + "missing.txt", kAll));
    const auto folder = open();
    EXPECT_EQ(errorOf([&] { folder->readFile("missing.txt"); }), err::FileNotFound);
    EXPECT_EQ(errorOf([&] { folder->openFolder("_mabre-l94", false); }), err::PathNotFound);
    EXPECT_FALSE(folder->find("missing.txt", kAll));
    // Wildcards name nothing, even where a name would match them.
    dir.write("a.txt", "a");
    EXPECT_FALSE(fs.findIgnoringCase(root + "*.txt", kAll));
    EXPECT_FALSE(fs.findIgnoringCase(root + "a.tx?", kAll));
    EXPECT_FALSE(fs.findIgnoringCase(root + "a.tx<", kAll));
    // A bad name is a clear error, not a crash; a path, a stream or a device is no name.
    EXPECT_EQ(errorOf([&] { fs.attributes(root + std::string("a\0b", 3)); }), err::PathFileAccess);
    for (const char* name : {"", ".", "..", "..\\a.txt", "sub/a.txt", "a.txt:stream"}) {
        EXPECT_EQ(errorOf([&] { folder->readFile(name); }), err::PathFileAccess) << name;
    }
    EXPECT_EQ(errorOf([&] { folder->copyFile(*folder, "gone.txt", "b.txt"); }), err::FileNotFound);
    EXPECT_EQ(names(folder->list(kAll)), (std::vector<std::string>{".", "..", "a.txt"}));
}

TEST_F(Win32FileSystemTest, FindAnswersWithTheStoredLongName) {
    dir.write("Mixed Case Report.Document", "x");
    auto entry = fs.findIgnoringCase(root + "mixed case report.DOCUMENT", kMask37);
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->name, "Mixed Case Report.Document");

    wchar_t shortPath[MAX_PATH];
    const std::wstring longPath = widen(root + "Mixed Case Report.Document");
    const DWORD n = ::GetShortPathNameW(longPath.c_str(), shortPath, MAX_PATH);
    ASSERT_GT(n, 0u);
    const std::string alias = narrow(shortPath, n);
    if (alias == root + "Mixed Case Report.Document") GTEST_SKIP() << "this volume keeps no short names";
    entry = fs.findIgnoringCase(alias, kMask37);
    ASSERT_TRUE(entry) << alias;
    EXPECT_EQ(entry->name, "Mixed Case Report.Document");
}

TEST_F(Win32FileSystemTest, CopiesKeepContentTimeAndAttributesNeverReplaceACopyAndLeaveNoTemporary) {
    std::string content(300000, '\0');
    for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7);
    const std::string name = "報告書 ｶﾅ \xF0\x9F\x93\x84.txt";  // with a character beyond the BMP
    auto source = dir.write(name, content);
    test::setModificationTime(source, 2000, 7, 15, 9, 5, 3);
    const auto folder = open();
    folder->setAttributes(name, attr::ReadOnly | attr::Archive);
    const auto store = folder->openFolder("_mabre-l94", true);
    const std::string copy = "報告書_2000-07-15 09-05-03.txt";

    store->createCopy(*folder, name, copy, attr::ReadOnly | attr::Archive);
    EXPECT_TRUE(store->readFile(copy) == content);
    EXPECT_TRUE(store->holdsCopyOf(copy, *folder, name));
    const auto copied = store->find(copy, kAll);
    EXPECT_EQ(copied->modified, (LocalTime{2000, 7, 15, 9, 5, 3}));
    EXPECT_EQ(copied->attributes, attr::ReadOnly | attr::Archive);
    EXPECT_EQ(copied->size, 300000);
    EXPECT_EQ(fs.attributes(root + "_mabre-l94") & (attr::Hidden | attr::ReadOnly), 0u);  // an ordinary folder
    EXPECT_EQ(errorOf([&] { store->createCopy(*folder, name, copy, attr::ReadOnly); }), err::FileAlreadyExists);

    // A restore: a read-only target is not replaced, a writable one is.
    dir.write("newer.txt", "newer");
    EXPECT_EQ(errorOf([&] { folder->copyFile(*store, copy, name); }), err::PermissionDenied);
    folder->setAttributes(name, attr::Archive);
    folder->copyFile(*folder, "newer.txt", name);
    EXPECT_EQ(folder->readFile(name), "newer");
    EXPECT_FALSE(store->holdsCopyOf(copy, *folder, name));
    folder->copyFile(*store, copy, name);
    EXPECT_TRUE(folder->readFile(name) == content);
    EXPECT_EQ(folder->find(name, kAll)->attributes, attr::ReadOnly | attr::Archive);  // as the copy has them

    store->deleteCopy(copy);
    EXPECT_EQ(names(store->list(kAll)), (std::vector<std::string>{".", ".."}));
    EXPECT_EQ(names(folder->list(kAll)), (std::vector<std::string>{".", "..", "_mabre-l94", "newer.txt", name}));
}

TEST_F(Win32FileSystemTest, AWatchedCopyIsToldOfToItsEndAndACancelLeavesEverythingAsItWas) {
    std::string content(3 << 20, '\0');
    for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7919 >> 9);
    test::setModificationTime(dir.write("big.bin", content), 2023, 4, 5, 6, 7, 8);
    dir.write("target.bin", "the old version");
    const auto folder = open();
    const auto store = folder->openFolder("store", true);

    // Told from the start, piece by piece, to the end (under Wine too); the
    // copy has the source's time.
    std::vector<std::pair<std::uint64_t, std::uint64_t>> told;
    const CopyProgress watch = [&](std::uint64_t copied, std::uint64_t total) {
        told.emplace_back(copied, total);
        return true;
    };
    store->createCopy(*folder, "big.bin", "copy.bin", attr::ReadOnly, watch);
    ASSERT_GE(told.size(), 2u);
    EXPECT_EQ(told.front().first, 0u);
    EXPECT_TRUE(std::is_sorted(told.begin(), told.end()));
    EXPECT_EQ(told.back(), std::make_pair(std::uint64_t{content.size()}, std::uint64_t{content.size()}));
    EXPECT_TRUE(store->readFile("copy.bin") == content);
    EXPECT_EQ(store->find("copy.bin", kAll)->utcSeconds, folder->find("big.bin", kAll)->utcSeconds);

    // Cancelled once some of it is copied: nothing new, nothing replaced,
    // no temporary, hidden or not.
    const CopyProgress cancel = [](std::uint64_t copied, std::uint64_t) { return copied == 0; };
    EXPECT_EQ(errorOf([&] { store->createCopy(*folder, "big.bin", "again.bin", attr::ReadOnly, cancel); }),
              err::Cancelled);
    EXPECT_EQ(errorOf([&] { folder->copyFile(*folder, "big.bin", "target.bin", cancel); }), err::Cancelled);
    EXPECT_EQ(folder->readFile("target.bin"), "the old version");
    EXPECT_EQ(names(folder->list(kAll)), (std::vector<std::string>{".", "..", "big.bin", "store", "target.bin"}));
    EXPECT_EQ(names(store->list(kAll)), (std::vector<std::string>{".", "..", "copy.bin"}));
}

TEST_F(Win32FileSystemTest, AtomicWritesReplaceWholeAndKeepWhatThePersonSet) {
    const auto folder = open();
    const std::string name = "_mabre.l94";
    folder->writeFileAtomic(name, "first\r\n");
    EXPECT_EQ(folder->readFile(name), "first\r\n");
    EXPECT_EQ(fs.attributes(root + name), attr::Archive);

    folder->setAttributes(name, attr::Hidden | attr::Archive);
    folder->writeFileAtomic(name, "second\r\n");
    EXPECT_EQ(folder->readFile(name), "second\r\n");
    EXPECT_EQ(fs.attributes(root + name), attr::Hidden | attr::Archive);

    folder->setAttributes(name, attr::ReadOnly);
    EXPECT_EQ(errorOf([&] { folder->writeFileAtomic(name, "third\r\n"); }), err::PermissionDenied);
    EXPECT_EQ(folder->readFile(name), "second\r\n");

    folder->writeFileAtomic("empty.ini", "");
    EXPECT_EQ(folder->find("empty.ini", kAll)->size, 0);
    dir.mkdir("folder.ini");
    EXPECT_EQ(errorOf([&] { folder->readFile("folder.ini"); }), err::PathFileAccess);
    // No temporary is left behind, hidden or not.
    EXPECT_EQ(names(folder->list(kAll)), (std::vector<std::string>{".", "..", "_mabre.l94", "empty.ini", "folder.ini"}));
}

// A folder held open is not renamed or replaced meanwhile: what the program
// writes goes into it and nowhere else.
TEST_F(Win32FileSystemTest, AHeldFolderCannotBeSwappedAway) {
    dir.write("a.txt", "a");
    const auto folder = open();
    const auto store = folder->openFolder("_mabre-l94", true);
    EXPECT_FALSE(::MoveFileW(widen(root + "_mabre-l94").c_str(), widen(root + "moved").c_str()));
    EXPECT_FALSE(::RemoveDirectoryW(widen(root + "_mabre-l94").c_str()));
    store->createCopy(*folder, "a.txt", "a_copy.txt", attr::ReadOnly);
    EXPECT_EQ(test::readBytes(dir.path() / "_mabre-l94" / "a_copy.txt"), "a");
}

// The lock another instance holds (its lock file, open without sharing)
// makes an update wait; a copy taken again is younger than before.
TEST_F(Win32FileSystemTest, AnUpdateWaitsForTheLockAndACopyTakenAgainAgesAnew) {
    dir.write("_mabre.l94", "stored\n");
    const HANDLE held = ::CreateFileW(widen(root + "_mabre.l94.lock").c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0,
                                      nullptr, CREATE_NEW, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    const auto folder = open();
    struct Other {
        Directory& folder;
        HANDLE lock;
    } another{*folder, held};
    const HANDLE other = ::CreateThread(
        nullptr, 0,
        [](void* p) -> DWORD {
            auto& o = *static_cast<Other*>(p);
            ::Sleep(300);
            o.folder.writeFileAtomic("_mabre.l94", "stored\nother\n");
            ::CloseHandle(o.lock);
            return 0;
        },
        &another, 0, nullptr);
    ASSERT_TRUE(other);
    folder->updateFile("_mabre.l94", [](const std::optional<std::string>& stored) {
        return std::optional<std::string>(stored.value_or("") + "this\n");
    });
    ::WaitForSingleObject(other, INFINITE);
    ::CloseHandle(other);
    EXPECT_EQ(test::readBytes(dir.path() / "_mabre.l94"), "stored\nother\nthis\n");
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "_mabre.l94.lock"));
    folder->updateFile("none.l94", [](const std::optional<std::string>& stored) {
        EXPECT_FALSE(stored);
        return std::nullopt;
    });
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "none.l94"));

    test::setModificationTime(dir.write("b.txt", "same"), 2000, 7, 15, 9, 5, 3);
    folder->setAttributes("b.txt", attr::ReadOnly | attr::Archive);
    FILETIME now{};
    ::GetSystemTimeAsFileTime(&now);
    const auto seconds = static_cast<std::int64_t>(
        ((static_cast<std::uint64_t>(now.dwHighDateTime) << 32 | now.dwLowDateTime) / 10000000ull) - 11644473600ull);
    folder->markTaken("b.txt");
    EXPECT_GE(folder->takenTime("b.txt"), seconds - 2);  // not the time of the version it holds
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
    open()->setAttributes("Hidden Dir", attr::Hidden);
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
