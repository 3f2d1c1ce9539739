// The Windows file system layer against real files (under Wine on Linux).
#ifdef _WIN32

#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <thread>
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

using test::errorOf;
using Names = std::vector<std::string>;
constexpr std::uint32_t kMask37 = attr::ReadOnly | attr::System | attr::Archive;
constexpr std::uint32_t kAll = attr::ReadOnly | attr::Hidden | attr::System | attr::Directory | attr::Archive;

Names names(const std::vector<DirEntry>& entries) {
    Names out;
    for (const auto& e : entries) out.push_back(e.name);
    return out;
}

class Win32FileSystemTest : public ::testing::Test {
protected:
    test::TempDir dir;
    Win32FileSystem fs;
    std::string root = dir.drivePath();  // ends with "\"
    std::unique_ptr<Directory> open(const std::string& relative = "") { return fs.openDirectory(root + relative); }
};

TEST_F(Win32FileSystemTest, AttributesAreTheFileSystemsOwnAndSteerListings) {
    for (const char* name : {"plain.txt", "hidden.txt", "system.txt", "readonly.txt"}) dir.write(name, "x");
    dir.mkdir("sub");
    const auto folder = open();
    for (const auto& [name, value] : {std::pair{"hidden.txt", attr::Hidden | attr::Archive}, std::pair{"system.txt", attr::System},
                                      std::pair{"readonly.txt", attr::ReadOnly | attr::Archive}}) {
        folder->setAttributes(name, value);
        // Wine keeps the archive bit on every file; Windows lets it be cleared.
        EXPECT_EQ(::GetFileAttributesW(widen(root + name).c_str()) & ~FILE_ATTRIBUTE_ARCHIVE, value & ~attr::Archive) << name;
        EXPECT_EQ(fs.attributes(root + name) & ~attr::Archive, value & ~attr::Archive) << name;
    }

    // Mask 37 sees read-only, system and archive files, never hidden ones.
    EXPECT_EQ(names(folder->list(kMask37)), (Names{"plain.txt", "readonly.txt", "system.txt"}));
    EXPECT_EQ(names(folder->list(0)), (Names{"plain.txt", "readonly.txt"}));
    EXPECT_EQ(names(fs.openDirectory(root.substr(0, root.size() - 1))->list(kAll)),
              (Names{".", "..", "hidden.txt", "plain.txt", "readonly.txt", "sub", "system.txt"}));
    EXPECT_FALSE(folder->find("hidden.txt", kMask37));
    EXPECT_EQ(folder->find("hidden.txt", kAll)->attributes, attr::Hidden | attr::Archive);
    EXPECT_FALSE(folder->find("sub", kMask37));

    // The directory bit cannot be set or cleared; everything else can be cleared.
    folder->setAttributes("sub", attr::Directory | attr::Hidden);
    EXPECT_EQ(fs.attributes(root + "sub"), attr::Directory | attr::Hidden);
    folder->setAttributes("readonly.txt", attr::Normal);
    EXPECT_EQ(fs.attributes(root + "readonly.txt") & ~attr::Archive, attr::Normal);
}

TEST_F(Win32FileSystemTest, MissingThingsAndBadNamesGiveTheirErrorsAndWildcardsNameNothing) {
    dir.write("a.txt", "a");
    const auto folder = open();
    const std::pair<std::function<void()>, int> cases[] = {
        {[&] { fs.attributes(root + "missing.txt"); }, err::FileNotFound},
        {[&] { fs.attributes(root + "nofolder\\missing.txt"); }, err::PathNotFound},
        {[&] { open("nofolder"); }, err::PathNotFound},
        {[&] { folder->openFolder("_mabre-l94", false); }, err::PathNotFound},
        {[&] { folder->copyFile(*folder, "gone.txt", "b.txt"); }, err::FileNotFound},
        {[&] { fs.attributes(root + std::string("a\0b", 3)); }, err::PathFileAccess},
        {[&] { folder->readFile("missing.txt"); }, err::FileNotFound},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) EXPECT_EQ(errorOf(cases[i].first), cases[i].second) << "case " << i;
    // A path, a stream or a device is no name.
    for (const char* name : {"", ".", "..", "..\\a.txt", "sub/a.txt", "a.txt:stream"}) {
        EXPECT_EQ(errorOf([&] { folder->readFile(name); }), err::PathFileAccess) << name;
    }
    for (const char* name : {"nofolder\\x", "missing.txt", "*.txt", "a.tx?", "a.tx<"}) EXPECT_FALSE(fs.findIgnoringCase(root + name, kAll)) << name;
}

// Names typed in another case, and short aliases, come back as stored (the
// rest of the normaliser runs in the path helpers' suite on this layer).
TEST_F(Win32FileSystemTest, CaseVariantsAndShortAliasesAnswerWithTheStoredLongName) {
    const std::string file = root + "Project Files\\Read Me.txt";
    dir.write("Project Files\\Read Me.txt", "x");
    dir.mkdir("Hidden Dir");
    open()->setAttributes("Hidden Dir", attr::Hidden);
    ASSERT_TRUE(fs.findIgnoringCase(root + "PROJECT files\\read me.TXT", kMask37));
    EXPECT_EQ(fs.findIgnoringCase(root + "PROJECT files\\read me.TXT", kMask37)->name, "Read Me.txt");
    if (bas_basic::normaliseLongName(fs, root) != root) GTEST_SKIP() << root << " lies below a hidden or system folder";
    EXPECT_EQ(bas_basic::normaliseLongName(fs, root + "hidden dir"), root + "Hidden Dir\\");  // a hidden last component
    wchar_t shortName[MAX_PATH];  // the 8.3 alias Windows gives the file
    const std::string alias = narrow(shortName, ::GetShortPathNameW(widen(file).c_str(), shortName, MAX_PATH));
    if (alias.empty() || alias == file) GTEST_SKIP() << "this volume keeps no short names";
    ASSERT_TRUE(fs.findIgnoringCase(alias, kMask37)) << alias;
    EXPECT_EQ(fs.findIgnoringCase(alias, kMask37)->name, "Read Me.txt");
    EXPECT_EQ(bas_basic::normaliseLongName(fs, alias), file);
}

// A copy is whole and listed as a copy, a copy or restore refused leaves
// everything as it was and no temporary, and the copy can be taken again
// and deleted; for an ordinary user under Wine too. (Progress and cancel are the open and restore suites', and the
// copy's time and attributes the backup suites': they run on this layer.)
TEST_F(Win32FileSystemTest, CopiesAreWholeAndRefusalsLeaveNoTemporary) {
    std::string content(3 << 20, '\0');
    for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7919 >> 9);
    const std::string name = "報告書 ｶﾅ \xF0\x9F\x93\x84.txt";  // with a character beyond the BMP
    dir.write(name, content);
    const auto folder = open();
    folder->setAttributes(name, attr::ReadOnly | attr::Archive);
    const auto store = folder->openFolder("_mabre-l94", true);
    const std::string copy = "報告書_2000-07-15 09-05-03.txt";
    store->createCopy(*folder, name, copy, attr::ReadOnly | attr::Archive);
    EXPECT_TRUE(store->readFile(copy) == content);
    // Listed as a copy is: read-only, not hidden (also for an ordinary user under Wine).
    ASSERT_TRUE(store->find(copy, kMask37));
    EXPECT_EQ(store->find(copy, kMask37)->attributes & ~attr::Archive, attr::ReadOnly);

    EXPECT_EQ(errorOf([&] { store->createCopy(*folder, name, copy, attr::ReadOnly); }), err::FileAlreadyExists);
    EXPECT_EQ(errorOf([&] { folder->copyFile(*store, copy, name); }), err::PermissionDenied);  // a read-only target
    EXPECT_EQ(names(folder->list(kAll)), (Names{".", "..", "_mabre-l94", name}));
    EXPECT_EQ(names(store->list(kAll)), (Names{".", "..", copy}));
    store->markTaken(copy);
    store->deleteCopy(copy);
    EXPECT_EQ(names(store->list(kAll)), (Names{".", ".."}));
}

TEST_F(Win32FileSystemTest, AtomicWritesReplaceWholeKeepWhatThePersonSetAndLeaveNoTemporary) {
    const auto folder = open();
    folder->writeFileAtomic("_mabre.l94", "first\r\n");
    folder->setAttributes("_mabre.l94", attr::Hidden | attr::Archive);
    folder->writeFileAtomic("_mabre.l94", "second\r\n");
    EXPECT_EQ(folder->readFile("_mabre.l94"), "second\r\n");
    EXPECT_EQ(fs.attributes(root + "_mabre.l94"), attr::Hidden | attr::Archive);
    folder->setAttributes("_mabre.l94", attr::ReadOnly);
    EXPECT_EQ(errorOf([&] { folder->writeFileAtomic("_mabre.l94", "third\r\n"); }), err::PermissionDenied);
    EXPECT_EQ(folder->readFile("_mabre.l94"), "second\r\n");
    dir.mkdir("folder.ini");
    EXPECT_EQ(errorOf([&] { folder->readFile("folder.ini"); }), err::PathFileAccess);
    EXPECT_EQ(names(folder->list(kAll)), (Names{".", "..", "_mabre.l94", "folder.ini"}));
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

// The lock another instance holds makes an update wait: an earlier
// version's lock file, open without sharing, or a lock of the whole lock
// file, as the Linux program takes it (Wine makes it a POSIX lock of the
// file; wine-tests.sh runs both programs at once on one folder). The lock
// file stays, hidden, for the next save.
TEST_F(Win32FileSystemTest, AnUpdateWaitsForTheLockAnotherInstanceHolds) {
    for (const bool earlier : {true, false}) {
        SCOPED_TRACE(earlier ? "an earlier version" : "a lock of the file");
        dir.write("_mabre.l94", "stored\n");
        const std::wstring lockFile = widen(root + "_mabre.l94.lock");
        const HANDLE held = earlier ? ::CreateFileW(lockFile.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr,
                                                    CREATE_NEW, FILE_FLAG_DELETE_ON_CLOSE, nullptr)
                                    : ::CreateFileW(lockFile.c_str(), GENERIC_READ | GENERIC_WRITE,
                                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(held, INVALID_HANDLE_VALUE);
        OVERLAPPED whole{};
        ASSERT_TRUE(earlier || ::LockFileEx(held, LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &whole));
        const auto folder = open();
        std::thread other([&] {
            ::Sleep(300);
            folder->writeFileAtomic("_mabre.l94", "stored\nother\n");
            ::CloseHandle(held);
        });
        folder->updateFile("_mabre.l94", [](const std::optional<std::string>& stored) {
            return std::optional<std::string>(stored.value_or("") + "this\n");
        });
        other.join();
        EXPECT_EQ(test::readBytes(dir.path() / "_mabre.l94"), "stored\nother\nthis\n");
        EXPECT_EQ(fs.attributes(root + "_mabre.l94.lock") & attr::Hidden, attr::Hidden);
    }
}

TEST(Win32Paths, RootSpellingsAndTemporaryNamesForLongNames) {
    for (const char* path : {"C:", "C:\\", "\\\\server\\share", "\\\\server\\share\\"}) EXPECT_TRUE(isRootSpelling(path)) << path;
    for (const char* path : {"C:\\Docs", "\\\\server\\share\\dir"}) EXPECT_FALSE(isRootSpelling(path)) << path;

    // A long name is cut so that the temporary still fits in one component,
    // never between the halves of a surrogate pair.
    const std::wstring t = temporaryBeside(L"C:\\" + std::wstring(199, L'x') + L"\U0001F4C4" + std::wstring(100, L'y'), 1);
    EXPECT_LE(t.size() - 3, 255u);
    EXPECT_EQ(t.substr(3, 200), L"." + std::wstring(199, L'x'));
}

}  // namespace
}  // namespace mabrel::platform::win32

#endif  // _WIN32
