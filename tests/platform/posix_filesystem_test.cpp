// The native file system against real files in temporary folders.
#include <fcntl.h>
#include <sched.h>
#include <sys/mman.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdarg>
#include <atomic>
#include <chrono>
#include <cstring>
#include <fstream>
#include <functional>
#include <set>
#include <map>
#include <new>
#include <optional>
#include <thread>

#include "platform/errors.h"
#include "platform/posix/posix_filesystem.h"
#include "platform/posix/dos_attrib.h"
#include "platform/posix/local_times.h"
#include "platform/posix/syscalls.h"
#include "support/platform_error.h"
#include "support/temp_dir.h"
#include "as_other_user.h"

namespace mabrel::platform::posix {
namespace {

namespace stdfs = std::filesystem;
using test::TempDir;

constexpr std::uint32_t kAll = attr::ReadOnly | attr::Hidden | attr::System | attr::Directory | attr::Archive;

using test::errorOf;
// The names of a listing, sorted: listings come in the folder's own order.
std::vector<std::string> names(const std::vector<DirEntry>& entries) {
    std::vector<std::string> out;
    for (const auto& e : entries) out.push_back(e.name);
    std::sort(out.begin(), out.end());
    return out;
}

// The files of a folder, hidden ones too, as the machine sees them.
std::vector<std::string> nativeNames(const stdfs::path& folder) {
    std::vector<std::string> out;
    for (const auto& e : stdfs::directory_iterator(folder)) out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
}

mode_t modeOf(const stdfs::path& p) {
    struct stat st{};
    ::stat(p.c_str(), &st);
    return st.st_mode & 07777;
}

// A test folder on a file system with user.* extended attributes, or nothing.
std::unique_ptr<TempDir> folderWithXattrs() {
    for (const char* parent : {"", "/var/tmp"}) {
        auto dir = *parent ? std::make_unique<TempDir>(stdfs::path(parent)) : std::make_unique<TempDir>();
        if (test::userXattrsWork(dir->path())) return dir;
    }
    return nullptr;
}

// The system calls of the file system as they happen: whether each name is
// given (linkat, renameat) only once every byte written before it reached
// the disk, and the folder is flushed after it. A killed process leaves its
// writes in the page cache, so only the order of the calls can show this.
// On request the file system has no unnamed files, as vfat, exFAT and
// network file systems have none.
namespace calls {

struct Log {
    std::set<int> unsynced;             // files written since their last fsync
    bool closedUnsynced = false;        // one was closed so
    bool nameUnflushed = false;         // a name given since the folder's last fsync
    std::vector<std::string> faults;
    bool noUnnamedFiles = false;
    int unnamedRefused = 0;
    std::vector<std::string> created;   // the names made with O_CREAT
};
Log log;

const Syscalls& real() { return realSyscalls(); }
void wrote(int fd, long n) {
    if (n >= 0) log.unsynced.insert(fd);
}
int openat(int dir, const char* path, int flags, ...) {
    va_list ap;
    va_start(ap, flags);
    const mode_t mode = (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE ? va_arg(ap, int) : 0;
    va_end(ap);
    if (log.noUnnamedFiles && (flags & O_TMPFILE) == O_TMPFILE) {
        ++log.unnamedRefused;
        errno = EOPNOTSUPP;
        return -1;
    }
    const int fd = real().openat(dir, path, flags, mode);
    if (fd >= 0 && (flags & O_CREAT)) log.created.push_back(path);
    return fd;
}
int close(int fd) {
    log.closedUnsynced |= log.unsynced.erase(fd) > 0;
    return real().close(fd);
}
ssize_t write(int fd, const void* b, size_t c) {
    const ssize_t n = real().write(fd, b, c);
    wrote(fd, n);
    return n;
}
ssize_t pwrite(int fd, const void* b, size_t c, off_t o) {
    const ssize_t n = real().pwrite(fd, b, c, o);
    wrote(fd, n);
    return n;
}
ssize_t copyRange(int in, off64_t* io, int out, off64_t* oo, size_t c, unsigned f) {
    const ssize_t n = real().copy_file_range(in, io, out, oo, c, f);
    wrote(out, n);
    return n;
}
int ioctl(int fd, unsigned long request, ...) {
    va_list ap;
    va_start(ap, request);
    void* arg = va_arg(ap, void*);
    va_end(ap);
    const int rc = real().ioctl(fd, request, arg);
    if (rc == 0) wrote(fd, 0);
    return rc;
}
int ftruncate(int fd, off_t length) {
    const int rc = real().ftruncate(fd, length);
    if (rc == 0) wrote(fd, 0);
    return rc;
}
int fsync(int fd) {
    const int rc = real().fsync(fd);
    struct stat st{};
    if (rc == 0) log.unsynced.erase(fd);
    if (rc == 0 && real().fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) log.nameUnflushed = false;
    return rc;
}
void naming(const char* call, const char* name) {
    if (!log.unsynced.empty() || log.closedUnsynced) {
        log.faults.push_back(std::string(call) + " named " + name + " before its data reached the disk");
    }
}
int renameat(int da, const char* a, int db, const char* b) {
    naming("renameat", b);
    const int rc = real().renameat(da, a, db, b);
    log.nameUnflushed |= rc == 0;
    return rc;
}
int linkat(int da, const char* a, int db, const char* b, int f) {
    naming("linkat", b);
    const int rc = real().linkat(da, a, db, b, f);
    log.nameUnflushed |= rc == 0;
    return rc;
}

// The table in place while one of these lives.
struct Recording {
    explicit Recording(bool noUnnamedFiles) {
        log = Log{};
        log.noUnnamedFiles = noUnnamedFiles;
        Syscalls table = realSyscalls();
        table.openat = openat;
        table.close = close;
        table.write = write;
        table.pwrite = pwrite;
        table.copy_file_range = copyRange;
        table.ioctl = ioctl;
        table.ftruncate = ftruncate;
        table.fsync = fsync;
        table.renameat = renameat;
        table.linkat = linkat;
        sys() = table;
    }
    ~Recording() { sys() = realSyscalls(); }
    Recording(const Recording&) = delete;
    Recording& operator=(const Recording&) = delete;
};

}  // namespace calls

class PosixFileSystemTest : public ::testing::Test {
protected:
    TempDir dir;
    PosixFileSystem fs;
    std::string at(const std::string& relative) const { return dir.drivePath() + relative; }
    // The test folder, or a folder below it, held open.
    std::unique_ptr<Directory> open(const std::string& relative = "") { return fs.openDirectory(at(relative)); }
};

TEST_F(PosixFileSystemTest, ListingFiltersByMaskAndLeavesOutNamesWithABackslash) {
    dir.write("b.txt", "b");
    dir.write("a.txt", "a");
    dir.write(".profile", "p");
    dir.write("odd\\name.txt", "x");
    dir.mkdir("Sub");

    const auto folder = open();
    EXPECT_EQ(names(folder->list(0)), (std::vector<std::string>{"a.txt", "b.txt"}));
    EXPECT_EQ(names(folder->list(attr::Directory)), (std::vector<std::string>{".", "..", "Sub", "a.txt", "b.txt"}));
    EXPECT_EQ(names(folder->list(attr::Hidden)), (std::vector<std::string>{".profile", "a.txt", "b.txt"}));
    // Without the trailing "\" the same folder.
    EXPECT_EQ(fs.openDirectory(dir.drivePath().substr(0, dir.drivePath().size() - 1))->list(kAll).size(), 6u);

    const auto all = folder->list(kAll);
    const auto dot = std::find_if(all.begin(), all.end(), [](const DirEntry& e) { return e.name == "."; });
    ASSERT_NE(dot, all.end());
    EXPECT_EQ(dot->attributes & attr::Directory, attr::Directory);
    EXPECT_EQ(dot->attributes & attr::Hidden, 0u);  // "." is not a hidden name
    EXPECT_EQ(errorOf([&] { open("Missing\\"); }), err::PathNotFound);
    EXPECT_EQ(errorOf([&] { open("a.txt\\"); }), err::PathNotFound);
}

TEST_F(PosixFileSystemTest, LetterCaseIsIgnoredOnlyForTypedPaths) {
    dir.write("Reports/Annual.TXT", "x");
    EXPECT_EQ(fs.findIgnoringCase(at("reports\\annual.txt"), 0)->name, "Annual.TXT");
    EXPECT_EQ(fs.findIgnoringCase(at("REPORTS"), attr::Directory)->name, "Reports");
    EXPECT_FALSE(fs.findIgnoringCase(at("REPORTS"), 0));  // a directory needs the directory bit

    // Names the program builds are used as spelled: a.txt is not A.txt.
    EXPECT_EQ(errorOf([&] { open("reports"); }), err::PathNotFound);
    const auto reports = open("Reports");
    EXPECT_FALSE(reports->find("annual.txt", kAll));
    EXPECT_EQ(errorOf([&] { reports->readFile("ANNUAL.txt"); }), err::FileNotFound);
    reports->writeFileAtomic("annual.txt", "n");
    EXPECT_EQ(test::readBytes(dir.path() / "Reports" / "Annual.TXT"), "x");
    EXPECT_EQ(test::readBytes(dir.path() / "Reports" / "annual.txt"), "n");

    // Two entries that differ only in case: the exact one, or none.
    dir.write("Twin.txt", "1");
    dir.write("TWIN.txt", "2");
    EXPECT_EQ(fs.findIgnoringCase(at("TWIN.txt"), 0)->name, "TWIN.txt");
    EXPECT_FALSE(fs.findIgnoringCase(at("twin.txt"), 0));
}

TEST_F(PosixFileSystemTest, AttributesFollowPermissionBitsAndNames) {
    const auto file = dir.write("a.txt", "a");
    dir.write(".hidden", "h");
    dir.mkdir("Sub");
    EXPECT_EQ(fs.attributes(at("a.txt")), attr::Archive);
    EXPECT_EQ(fs.attributes(at(".hidden")), attr::Hidden | attr::Archive);
    EXPECT_EQ(fs.attributes(at("Sub")), attr::Directory);
    EXPECT_EQ(fs.attributes(at("Sub\\")), attr::Directory);
    EXPECT_EQ(fs.attributes("C:\\") & attr::Directory, attr::Directory);

    const auto folder = open();
    folder->setAttributes("a.txt", attr::ReadOnly | attr::Archive);
    EXPECT_EQ(modeOf(file) & 0222, 0u);
    EXPECT_EQ(fs.attributes(at("a.txt")), attr::ReadOnly | attr::Archive);
    folder->setAttributes("a.txt", attr::Archive);
    EXPECT_EQ(modeOf(file) & 0222, static_cast<mode_t>(S_IWUSR));
    EXPECT_EQ(fs.attributes(at("a.txt")), attr::Archive);

    // A folder stays writable whatever it is told.
    folder->setAttributes("Sub", attr::ReadOnly | attr::Directory);
    EXPECT_NE(modeOf(dir.path() / "Sub") & S_IWUSR, 0u);
}

TEST(PosixFileSystemXattr, HiddenSystemAndArchiveAreKeptWhereSambaKeepsThemAndEachListingSeesChanges) {
    auto dir = folderWithXattrs();
    if (!dir) GTEST_SKIP() << "no file system with user.* extended attributes for the test folder";
    PosixFileSystem fs;
    dir->write("doc.txt", "d");
    const auto folder = dir->mkdir("Folder");
    const std::string path = dir->drivePath() + "doc.txt";
    const auto top = fs.openDirectory(dir->drivePath());

    top->setAttributes("doc.txt", attr::Hidden | attr::System | attr::ReadOnly);
    EXPECT_EQ(fs.attributes(path), attr::Hidden | attr::System | attr::ReadOnly);
    EXPECT_FALSE(top->find("doc.txt", attr::Hidden));  // system too
    EXPECT_TRUE(top->find("doc.txt", attr::Hidden | attr::System));
    // Still read-only after its attribute was rewritten in place.
    top->setAttributes("doc.txt", attr::ReadOnly);
    EXPECT_EQ(fs.attributes(path), attr::ReadOnly);
    top->setAttributes("doc.txt", attr::Archive);
    EXPECT_EQ(fs.attributes(path), attr::Archive);

    top->setAttributes("Folder", attr::Hidden);
    EXPECT_EQ(fs.attributes(dir->drivePath() + "Folder"), attr::Hidden | attr::Directory);

    // Samba's old text form, written by someone else.
    const auto other = dir->write("samba.txt", "s");
    ASSERT_EQ(::setxattr(other.c_str(), kDosAttribName, "0x22", 4, 0), 0);
    EXPECT_EQ(fs.attributes(dir->drivePath() + "samba.txt"), attr::Hidden | attr::Archive);

    // Each listing sees attributes changed since the last one.
    const auto root = top->openFolder("Folder", false);
    for (const char* name : {"shown.txt", "hidden.txt", "stays hidden.txt"}) {
        dir->write(std::string("Folder/") + name, "x");
    }
    root->setAttributes("hidden.txt", attr::Hidden);
    root->setAttributes("stays hidden.txt", attr::Hidden);
    // Listings keep what they read of entries unchanged for a few seconds.
    std::this_thread::sleep_for(std::chrono::milliseconds(3100));
    EXPECT_EQ(names(root->list(0)), (std::vector<std::string>{"shown.txt"}));
    EXPECT_EQ(names(root->list(0)), (std::vector<std::string>{"shown.txt"}));

    root->setAttributes("shown.txt", attr::Hidden);
    root->setAttributes("hidden.txt", attr::Archive);
    EXPECT_EQ(names(root->list(0)), (std::vector<std::string>{"hidden.txt"}));
    // Changed by another program.
    ASSERT_EQ(::removexattr((folder / "shown.txt").c_str(), kDosAttribName), 0);
    EXPECT_EQ(names(root->list(0)), (std::vector<std::string>{"hidden.txt", "shown.txt"}));
}

// The machine's calls, but stat and the attribute read failing for names
// that end in "-stat" and "-xattr", and the attribute reads counted: safe
// for the listing's two threads.
struct FailingByName {
    static inline std::atomic<int> xattrReads{0};
    static bool endsWith(const char* path, const char* tail) {
        const std::size_t n = std::strlen(path), m = std::strlen(tail);
        return n >= m && std::strcmp(path + n - m, tail) == 0;
    }
    static int fstatat(int dir, const char* name, struct stat* st, int flags) {
        if (endsWith(name, "-stat")) return errno = EIO, -1;
        return realSyscalls().fstatat(dir, name, st, flags);
    }
    static ssize_t getxattr(const char* path, const char* name, void* value, size_t size) {
        ++xattrReads;
        if (endsWith(path, "-xattr")) return errno = EIO, -1;
        return realSyscalls().getxattr(path, name, value, size);
    }
    FailingByName() {
        xattrReads = 0;
        sys().fstatat = fstatat;
        sys().getxattr = getxattr;
    }
    ~FailingByName() { sys() = realSyscalls(); }
};

TEST(PosixFileSystemXattr, EveryEntryOfSmallAndLargeFoldersGetsItsOwnStatAndAttributesReadOncePerChange) {
    auto dir = folderWithXattrs();
    if (!dir) GTEST_SKIP() << "no file system with user.* extended attributes for the test folder";
    // A large folder is read by two threads, a small one by one.
    constexpr int kSizes[] = {60, 5000};
    // name -> what the listing must say of it; nothing for unreadable.
    std::map<int, std::map<std::string, std::optional<DirEntry>>> expectedOf;
    const auto dos = [&](const stdfs::path& file, const char* value) {
        ASSERT_EQ(::setxattr(file.c_str(), kDosAttribName, value, std::strlen(value), 0), 0);
    };
    for (const int files : kSizes) {
        const std::string sub = "f" + std::to_string(files);
        const auto folder = dir->mkdir(sub);
        const int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        auto& expected = expectedOf[files];
        const std::time_t base = 1700000000;
        for (int i = 0; i < files; ++i) {
            std::string name = (i % 50 == 7 ? "." : "") + std::to_string(i);
            if (i % 97 == 3) name += "-stat";
            if (i % 89 == 5) name += "-xattr";
            const int fd = ::openat(dirFd, name.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, i % 13 == 0 ? 0444 : 0644);
            ASSERT_GE(fd, 0);
            ASSERT_EQ(::ftruncate(fd, i % 101), 0);
            const struct timespec times[2] = {{base + i * 617, 0}, {base + i * 617, 0}};
            ::futimens(fd, times);
            ::close(fd);
            DirEntry e;
            e.name = name;
            e.size = i % 101;
            e.utcSeconds = base + i * 617;
            e.modified = libraryLocalTime(e.utcSeconds);
            e.attributes = (i % 13 == 0 ? attr::ReadOnly : 0) | (name[0] == '.' ? attr::Hidden : 0) | attr::Archive;
            if (i % 7 == 0 && !name.ends_with("-xattr")) {
                dos(folder / name, "0x2");
                e.attributes = (e.attributes & ~attr::Archive) | attr::Hidden;
            }
            expected[name] = name.ends_with("-stat") ? std::nullopt : std::optional(e);
        }
        ::close(dirFd);
    }
    // Values read within seconds of a change are read again next time.
    std::this_thread::sleep_for(std::chrono::milliseconds(3100));
    for (const int files : kSizes) {
        SCOPED_TRACE(files);
        const std::string sub = "f" + std::to_string(files);
        auto& expected = expectedOf[files];
        const auto check = [&](const std::vector<DirEntry>& listed) {
            std::size_t seen = 0;
            for (const auto& got : listed) {
                if (got.name == "." || got.name == "..") continue;
                ++seen;
                const auto& want = expected.at(got.name);
                SCOPED_TRACE(got.name);
                if (!want) {
                    EXPECT_EQ(got.attributes, attr::Unreadable);
                    continue;
                }
                EXPECT_EQ(got.attributes, want->attributes);
                EXPECT_EQ(got.size, want->size);
                EXPECT_EQ(got.utcSeconds, want->utcSeconds);
                EXPECT_EQ(got.modified, want->modified);
            }
            EXPECT_EQ(seen, expected.size());
        };
        const auto readable = static_cast<int>(std::count_if(expected.begin(), expected.end(),
                                                             [](const auto& e) { return e.second.has_value(); }));
        const auto failing = static_cast<int>(std::count_if(expected.begin(), expected.end(),
                                                            [](const auto& e) { return e.first.ends_with("-xattr"); }));
        PosixFileSystem fs;
        const auto open = [&] { return fs.openDirectory(dir->drivePath() + sub); };
        constexpr std::uint32_t kEverything = kAll | attr::Unreadable;
        {
            FailingByName table;
            const auto listed = open()->list(kEverything);
            ASSERT_EQ(listed.size(), expected.size() + 2);
            EXPECT_EQ(listed[0].name, ".");
            EXPECT_EQ(listed[1].name, "..");
            check(listed);
            // Once each, "." and ".." too.
            EXPECT_EQ(FailingByName::xattrReads, readable + 2);

            // Only what changed (and what could not be read) is read again.
            int changed = 0;
            for (auto& [name, e] : expected) {
                if (!e || name.ends_with("-xattr") || std::stoi(name.substr(name[0] == '.')) % 11 != 0) continue;
                dos(dir->path() / sub / name, "0x4");
                e->attributes = (e->attributes & attr::ReadOnly) | (name[0] == '.' ? attr::Hidden : 0) | attr::System;
                ++changed;
            }
            FailingByName::xattrReads = 0;
            check(open()->list(kEverything));
            EXPECT_EQ(FailingByName::xattrReads, changed + failing);

            // A listing by mask leaves out what the mask does not take.
            const auto shown = open()->list(0);
            EXPECT_EQ(shown.size(), static_cast<std::size_t>(std::count_if(
                                        expected.begin(), expected.end(),
                                        [](const auto& e) { return e.second && matchesMask(e.second->attributes, 0); })));
        }
    }
}

TEST_F(PosixFileSystemTest, CopyCarriesContentTimeAndAttributesAndReplacesWritableTargets) {
    const std::string content(300000, 'q');
    const auto source = dir.write("src.bin", content);
    test::setModificationTime(source, 2001, 2, 3, 4, 5, 6);
    ::chmod(source.c_str(), 0444);
    const auto folder = open();

    folder->copyFile(*folder, "src.bin", "copy.bin");
    EXPECT_EQ(test::readBytes(dir.path() / "copy.bin"), content);
    const auto copied = folder->find("copy.bin", kAll);
    EXPECT_EQ(copied->modified, (LocalTime{2001, 2, 3, 4, 5, 6}));
    EXPECT_EQ(copied->attributes, attr::ReadOnly | attr::Archive);
    EXPECT_EQ(copied->size, 300000);

    // A writable target is replaced; a read-only one, and a link, are kept
    // as they were.
    dir.write("old.bin", "old");
    ::chmod(source.c_str(), 0644);
    folder->copyFile(*folder, "src.bin", "old.bin");
    EXPECT_EQ(test::readBytes(dir.path() / "old.bin"), content);
    EXPECT_EQ(errorOf([&] { folder->copyFile(*folder, "old.bin", "copy.bin"); }), err::PermissionDenied);
    EXPECT_EQ(errorOf([&] { folder->copyFile(*folder, "nothing.bin", "x.bin"); }), err::FileNotFound);
    // The person is told it is a link.
    const auto refusal = [](const std::function<void()>& write) -> std::string {
        try {
            write();
        } catch (const PlatformError& e) {
            return e.number() == err::PathFileAccess ? e.description() : "error " + std::to_string(e.number());
        }
        return "written";
    };
    stdfs::create_symlink("old.bin", dir.path() / "link.bin");
    EXPECT_EQ(refusal([&] { folder->copyFile(*folder, "src.bin", "link.bin"); }), kLinkNotFile);
    EXPECT_EQ(refusal([&] { folder->writeFileAtomic("link.bin", "written"); }), kLinkNotFile);
    EXPECT_TRUE(stdfs::is_symlink(dir.path() / "link.bin"));
    EXPECT_EQ(test::readBytes(dir.path() / "old.bin"), content);
    EXPECT_EQ(nativeNames(dir.path()), (std::vector<std::string>{"copy.bin", "link.bin", "old.bin", "src.bin"}));
}

TEST_F(PosixFileSystemTest, ACreatedCopyIsCompleteOrNothingAndNeverReplacesAnything) {
    const auto source = dir.write("src.bin", std::string(300000, 'x'));
    ::chmod(source.c_str(), 0664);
    const auto folder = open();
    const auto store = folder->openFolder("store", true);
    store->createCopy(*folder, "src.bin", "copy.bin", attr::ReadOnly | attr::Archive);
    EXPECT_EQ(test::readBytes(dir.path() / "store" / "copy.bin"), std::string(300000, 'x'));
    EXPECT_EQ(modeOf(dir.path() / "store" / "copy.bin"), 0444u);
    const auto copied = store->find("copy.bin", kAll);
    EXPECT_EQ(copied->utcSeconds, folder->find("src.bin", kAll)->utcSeconds);
    EXPECT_EQ(copied->size, 300000);

    // Whatever has the name, a file or a link to one, stays as it is.
    dir.write("store/taken.bin", "other");
    stdfs::create_symlink(source, dir.path() / "store" / "link.bin");
    stdfs::create_symlink(dir.path() / "nowhere", dir.path() / "store" / "dangling.bin");
    for (const char* name : {"copy.bin", "taken.bin", "link.bin", "dangling.bin"}) {
        EXPECT_EQ(errorOf([&] { store->createCopy(*folder, "src.bin", name, attr::ReadOnly); }), err::FileAlreadyExists)
            << name;
    }
    EXPECT_EQ(test::readBytes(dir.path() / "store" / "taken.bin"), "other");
    EXPECT_FALSE(stdfs::exists(dir.path() / "nowhere"));

    // A source that ends before its size (as a network file system may, or a
    // file that shrinks): the copy fails and takes no name.
    if (stdfs::exists("/sys/devices/system/cpu/online") && stdfs::file_size("/sys/devices/system/cpu/online") > 64) {
        const auto cpu = fs.openDirectory("C:\\sys\\devices\\system\\cpu");
        EXPECT_EQ(errorOf([&] { store->createCopy(*cpu, "online", "short.bin", 0); }), err::DeviceIo);
        EXPECT_EQ(errorOf([&] { store->copyFile(*cpu, "online", "short.bin"); }), err::DeviceIo);
    }
    EXPECT_EQ(nativeNames(dir.path() / "store"),
              (std::vector<std::string>{"copy.bin", "dangling.bin", "link.bin", "taken.bin"}));
}

TEST_F(PosixFileSystemTest, AWatchedCopyHearsOfEachPieceAndACancelLeavesEverythingAsItWas) {
    std::string content(6 << 20, '\0');
    for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7919 >> 9);
    dir.write("big.bin", content);
    dir.write("target.bin", "the old version");
    const auto folder = open();
    const auto store = folder->openFolder("store", true);

    // Told from the start to the end, in order.
    std::vector<std::pair<std::uint64_t, std::uint64_t>> told;
    const CopyProgress watch = [&](std::uint64_t copied, std::uint64_t total) {
        told.emplace_back(copied, total);
        return true;
    };
    store->createCopy(*folder, "big.bin", "copy.bin", attr::ReadOnly, watch);
    ASSERT_GE(told.size(), 2u);
    EXPECT_EQ(told.front(), std::make_pair(std::uint64_t{0}, std::uint64_t{content.size()}));
    EXPECT_EQ(told.back(), std::make_pair(std::uint64_t{content.size()}, std::uint64_t{content.size()}));
    EXPECT_TRUE(std::is_sorted(told.begin(), told.end()));
    EXPECT_EQ(test::readBytes(dir.path() / "store" / "copy.bin"), content);

    // Cancelled once some of it is copied (a clone is all copied at once):
    // nothing new, nothing replaced, nothing temporary left.
    const CopyProgress cancel = [](std::uint64_t copied, std::uint64_t) { return copied == 0; };
    EXPECT_EQ(errorOf([&] { store->createCopy(*folder, "big.bin", "again.bin", attr::ReadOnly, cancel); }),
              err::Cancelled);
    EXPECT_EQ(errorOf([&] { folder->copyFile(*folder, "big.bin", "target.bin", cancel); }), err::Cancelled);
    EXPECT_EQ(test::readBytes(dir.path() / "target.bin"), "the old version");
    EXPECT_EQ(nativeNames(dir.path()), (std::vector<std::string>{"big.bin", "store", "target.bin"}));
    EXPECT_EQ(nativeNames(dir.path() / "store"), std::vector<std::string>{"copy.bin"});
}

// Every way a file gets its name, where the file system has unnamed files
// and where it has none: the file lands whole, its name is given only to
// data on the disk, the folder's names are flushed, no temporary stays.
TEST_F(PosixFileSystemTest, ANameIsGivenOnlyToDataOnTheDiskWithOrWithoutUnnamedFiles) {
    const std::string content(300000, 'v');
    for (const bool unnamedFiles : {true, false}) {
        SCOPED_TRACE(unnamedFiles ? "unnamed files" : "no unnamed files");
        stdfs::remove_all(dir.path() / "f");
        dir.write("f/file.txt", content);
        dir.write("f/restored.txt", "the present version");
        const auto folder = open("f\\");
        const auto store = folder->openFolder("store", true);
        struct Step {
            const char* what;
            std::function<void()> run;
            std::string name;
            std::string bytes;
        };
        const std::vector<Step> steps = {
            {"a copy", [&] { store->createCopy(*folder, "file.txt", "copy.txt", attr::ReadOnly); }, "store/copy.txt",
             content},
            {"a restore over a file", [&] { folder->copyFile(*store, "copy.txt", "restored.txt"); }, "restored.txt",
             content},
            {"a restore where none is", [&] { folder->copyFile(*store, "copy.txt", "new.txt"); }, "new.txt", content},
            {"a new file", [&] { folder->writeFileAtomic("notes.txt", "one"); }, "notes.txt", "one"},
            {"a file replaced", [&] { folder->writeFileAtomic("notes.txt", "two"); }, "notes.txt", "two"},
            {"a file changed", [&] { folder->updateFile("notes.txt", [](const auto& s) { return *s + "+"; }); },
             "notes.txt", "two+"},
        };
        calls::Recording recording(!unnamedFiles);
        for (const auto& step : steps) {
            step.run();
            EXPECT_EQ(test::readBytes(dir.path() / "f" / step.name), step.bytes) << step.what;
            EXPECT_EQ(calls::log.faults, std::vector<std::string>{}) << step.what;
            EXPECT_FALSE(calls::log.nameUnflushed) << step.what << ": the folder's names were not flushed";
            calls::log.faults.clear();
        }
        if (!unnamedFiles) {
            EXPECT_GT(calls::log.unnamedRefused, 0);
        }
        EXPECT_EQ(nativeNames(dir.path() / "f"),
                  (std::vector<std::string>{"file.txt", "new.txt", "notes.txt", "restored.txt", "store"}));
        EXPECT_EQ(nativeNames(dir.path() / "f" / "store"), std::vector<std::string>{"copy.txt"});
    }
}

TEST_F(PosixFileSystemTest, TemporariesOfWritersThatAreGoneAreRemovedOthersStay) {
    // The name of a temporary as the program gives it, where the file system
    // has no unnamed files: ".<name>.mabrel-<host>-<pid>-<random>~".
    std::string made;
    {
        calls::Recording recording(true);
        open()->writeFileAtomic("x.txt", "x");
        ASSERT_EQ(calls::log.created.size(), 1u);
        made = calls::log.created.front();
    }
    const std::string ownPid = "-" + std::to_string(::getpid()) + "-";
    const std::size_t pidAt = made.rfind(ownPid);
    ASSERT_NE(pidAt, std::string::npos) << made;
    const auto named = [&](pid_t pid, const std::string& host = {}) {
        std::string name = "._mabre.l94" + made.substr(made.find(".mabrel-"));
        name.replace(name.rfind(ownPid), ownPid.size(), "-" + std::to_string(pid) + "-");
        if (!host.empty()) name.replace(name.find(".mabrel-") + 8, host.size(), host);
        return name;
    };
    // A writer that was killed, and one that is still writing.
    pid_t gone = ::fork();
    if (gone == 0) ::_exit(0);
    ::waitpid(gone, nullptr, 0);
    pid_t writing = ::fork();
    if (writing == 0) {
        ::pause();
        ::_exit(0);
    }
    const std::string dead = named(gone), alive = named(writing), ours = named(::getpid());
    // One on another machine may still be writing.
    const std::string otherHost = named(gone, "00000000");
    const std::string oldForm = "._mabre.l94.0123456789ab~";
    for (const auto& n : {dead, alive, ours, otherHost, oldForm}) dir.write(n, "partial");
    dir.write(".notes.txt.0123456789ab~", "someone else's");
    open()->removeStaleTemporaries();
    ::kill(writing, SIGKILL);
    ::waitpid(writing, nullptr, 0);  // gone now: its temporary goes with the next scan
    // Ours too: the program writes on one thread, so none of its writes is under way.
    std::vector<std::string> left = {alive, otherHost, oldForm, ".notes.txt.0123456789ab~", "x.txt"};
    std::sort(left.begin(), left.end());
    EXPECT_EQ(nativeNames(dir.path()), left);
    // After a day any of ours goes; no write takes that long.
    for (const auto& n : {oldForm, otherHost, std::string(".notes.txt.0123456789ab~")}) {
        test::setModificationTime(dir.path() / n, 2000, 1, 1, 0, 0, 0);
    }
    open()->removeStaleTemporaries();
    EXPECT_EQ(nativeNames(dir.path()), (std::vector<std::string>{".notes.txt.0123456789ab~", "x.txt"}));
}

TEST_F(PosixFileSystemTest, MissingFileAndMissingFolderAreTold) {
    dir.write("a.txt", "a");
    EXPECT_EQ(errorOf([&] { fs.attributes(at("none.txt")); }), err::FileNotFound);
    EXPECT_EQ(errorOf([&] { fs.attributes(at("none\\x.txt")); }), err::PathNotFound);
    EXPECT_EQ(errorOf([&] { fs.attributes("Q:\\x"); }), err::PathNotFound);  // no such drive here
    EXPECT_EQ(errorOf([&] { fs.attributes("\\\\nosuchserver\\share\\x"); }), err::PathNotFound);
    EXPECT_EQ(errorOf([&] { open("none"); }), err::PathNotFound);
    EXPECT_FALSE(fs.findIgnoringCase(at("none\\x.txt"), kAll));
    EXPECT_FALSE(fs.findIgnoringCase("C:\\", kAll));
    const auto folder = open();
    EXPECT_EQ(errorOf([&] { folder->readFile("none.txt"); }), err::FileNotFound);
    EXPECT_EQ(errorOf([&] { folder->openFolder("none", false); }), err::PathNotFound);
    // One name, never a path: what would reach another folder is refused.
    for (const std::string& name : std::vector<std::string>{"", ".", "..", "../a.txt", "sub/a.txt",
                                                             "a.txt" + std::string(1, '\0') + "x"}) {
        EXPECT_EQ(errorOf([&] { folder->readFile(name); }), err::PathFileAccess) << name;
        EXPECT_EQ(errorOf([&] { folder->deleteCopy(name); }), err::PathFileAccess) << name;
    }
}

// The folder held open is the folder worked in, whatever is swapped in for
// it or for an entry meanwhile; names are their own bytes.
TEST_F(PosixFileSystemTest, AHeldFolderIsTheOneWorkedInAndLinksAreNeitherFollowedNorChanged) {
    TempDir outside;
    const auto precious = outside.write("precious.txt", "precious");
    dir.write("a.txt", "a");
    const auto folder = open();
    const auto store = folder->openFolder("_mabre-l94", true);
    // Swapped for a link to another folder after it was opened: the copy
    // still goes into the folder that was opened, now under another name.
    stdfs::rename(dir.path() / "_mabre-l94", dir.path() / "moved");
    stdfs::create_directory_symlink(outside.path(), dir.path() / "_mabre-l94");
    store->createCopy(*folder, "a.txt", "a_copy.txt", attr::ReadOnly);
    EXPECT_EQ(nativeNames(dir.path() / "moved"), std::vector<std::string>{"a_copy.txt"});
    EXPECT_EQ(nativeNames(outside.path()), std::vector<std::string>{"precious.txt"});
    // Opened again: a link is no backup directory.
    try {
        folder->openFolder("_mabre-l94", true);
        ADD_FAILURE() << "opened through a link";
    } catch (const PlatformError& e) {
        EXPECT_EQ(e.number(), err::PathFileAccess);
        EXPECT_EQ(e.description(), kLinkNotFolder);
    }

    // A link for an entry: neither it nor what it points at changes.
    stdfs::create_symlink(precious, dir.path() / "link.txt");
    EXPECT_EQ(errorOf([&] { folder->deleteCopy("link.txt"); }), err::PathFileAccess);
    EXPECT_EQ(errorOf([&] { folder->setAttributes("link.txt", attr::ReadOnly); }), err::PathFileAccess);
    EXPECT_EQ(errorOf([&] { folder->writeFileAtomic("link.txt", "x"); }), err::PathFileAccess);
    EXPECT_EQ(errorOf([&] { folder->copyFile(*folder, "a.txt", "link.txt"); }), err::PathFileAccess);
    EXPECT_TRUE(stdfs::is_symlink(dir.path() / "link.txt"));
    EXPECT_EQ(test::readBytes(precious), "precious");
    EXPECT_EQ(modeOf(precious) & 0200, 0200u);
    EXPECT_EQ(folder->find("link.txt", kAll)->attributes & attr::ReparsePoint, attr::ReparsePoint);

    // A name from a Windows archive: "表" in Shift_JIS is 95 5C, a "\\" inside.
    const std::string sjis = "\x95\x5C.txt";
    dir.write(sjis, "hyou");
    store->createCopy(*folder, sjis, "\x95\x5C_copy.txt", attr::ReadOnly);
    EXPECT_EQ(test::readBytes(dir.path() / "moved" / "\x95\x5C_copy.txt"), "hyou");
    store->deleteCopy("\x95\x5C_copy.txt");
    EXPECT_EQ(nativeNames(dir.path() / "moved"), std::vector<std::string>{"a_copy.txt"});
}

TEST_F(PosixFileSystemTest, AtomicWriteReplacesWholeKeepsModeAndLeavesNoTemporary) {
    const auto file = dir.write("settings.ini", "old content");
    ::chmod(file.c_str(), 0640);
    const auto folder = open();
    folder->writeFileAtomic("settings.ini", "new");
    EXPECT_EQ(test::readBytes(file), "new");
    EXPECT_EQ(modeOf(file), 0640u);

    const auto locked = dir.write("locked.ini", "keep me");
    ::chmod(locked.c_str(), 0444);
    EXPECT_EQ(errorOf([&] { folder->writeFileAtomic("locked.ini", "x"); }), err::PermissionDenied);
    EXPECT_EQ(test::readBytes(locked), "keep me");
    EXPECT_EQ(nativeNames(dir.path()), (std::vector<std::string>{"locked.ini", "settings.ini"}));
}

// The program's own files: read only when they are regular files of a sane
// size, never through a link, never waiting on a pipe or a device.
TEST_F(PosixFileSystemTest, OwnFilesAreReadOnlyWhenTheyAreRegularFilesOfASaneSize) {
    ASSERT_EQ(::mkfifo((dir.path() / "fifo").c_str(), 0644), 0);
    stdfs::create_symlink("/dev/zero", dir.path() / "zero");
    stdfs::create_symlink(dir.write("real.txt", "real"), dir.path() / "link");
    dir.mkdir("folder");
    ASSERT_EQ(::truncate(dir.write("huge", "").c_str(), static_cast<off_t>(kMaxOwnFileBytes + 1)), 0);
    dir.write("sane", std::string(1 << 20, 's'));
    struct Case {
        const char* name;
        const char* description;  // nullptr: read
    };
    const std::vector<Case> cases = {
        {"fifo", kNotRegularFile}, {"zero", kLinkNotFile},     {"link", kLinkNotFile},
        {"folder", kFolderNotFile}, {"huge", kFileTooLarge},   {"sane", nullptr},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].name);
        const int code = test::runInChild([&] {
            PosixFileSystem child;
            const auto folder = child.openDirectory(at(""));
            try {
                return folder->readFile(cases[i].name).size() == (1u << 20) ? 0 : 1;
            } catch (const PlatformError& e) {
                if (!cases[i].description) return 2;
                return e.number() == err::PathFileAccess && e.description() == cases[i].description ? 0 : 3;
            }
        }, false, 10);
        EXPECT_EQ(code, 0) << "-1: blocked, 1: read wrong, 2: refused a sane file, 3: refused without saying why";
    }
}

// A file written in place by another program while it is copied: the copy
// holds one whole version of it, or there is none and the person is told.
TEST_F(PosixFileSystemTest, AFileRewrittenWhileItIsCopiedGivesOneWholeVersionOrNone) {
    constexpr std::size_t kSize = 8u << 20;
    auto version = [](char v) { return std::string(kSize, v); };
    dir.write("busy.bin", version('a'));
    // The writer's count of pieces written, shared with this process.
    void* shared = ::mmap(nullptr, sizeof(std::atomic<long>), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(shared, MAP_FAILED);
    auto* pieces = new (shared) std::atomic<long>(0);
    for (const bool stops : {false, true}) {
        SCOPED_TRACE(stops ? "a writer that stops" : "a writer that keeps writing");
        std::error_code ec;
        stdfs::remove_all(dir.path() / "store", ec);
        // Each pass rewrites the file from its start, 64 KiB at a time, as
        // another letter.
        const pid_t writer = ::fork();
        if (writer == 0) {
            const int fd = ::open((dir.path() / "busy.bin").c_str(), O_WRONLY);
            const std::string block(64 << 10, ' ');
            const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(stops ? 150 : 20000);
            for (char v = 'b'; std::chrono::steady_clock::now() < end; v = v == 'z' ? 'b' : static_cast<char>(v + 1)) {
                const std::string b(block.size(), v);
                for (std::size_t at = 0; at < kSize; at += b.size()) {
                    if (::pwrite(fd, b.data(), b.size(), static_cast<off_t>(at)) < 0) ::_exit(1);
                    pieces->fetch_add(1);
                }
            }
            ::_exit(0);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        const auto folder = open();
        const auto store = folder->openFolder("store", true);
        int error = 0;
        std::string description;
        const long piecesBefore = pieces->load();
        try {
            store->createCopy(*folder, "busy.bin", "copy.bin", attr::ReadOnly);
        } catch (const PlatformError& e) {
            error = e.number();
            description = e.description();
        }
        // Whether the writer rewrote the whole file while the copy was made:
        // on a busy machine it may not have run at all meanwhile.
        const bool rewrittenMeanwhile = pieces->load() - piecesBefore >= static_cast<long>(kSize / (64 << 10));
        ::kill(writer, SIGKILL);
        ::waitpid(writer, nullptr, 0);
        if (error == 0) {
            // A writer held up mid-pass (a busy machine) leaves the file
            // quiet in such a state: the new letter up to a page, the one
            // before after it. A copy may hold that, never a mix of more.
            const std::string copy = test::readBytes(dir.path() / "store" / "copy.bin");
            const std::size_t cut = copy.find_first_not_of(copy.front());
            const char before = copy.empty() ? 0 : copy.front(), after = cut < copy.size() ? copy[cut] : before;
            const bool previous = after == before || after == before - 1 || (before == 'b' && after == 'z');
            EXPECT_TRUE(copy.size() == kSize && (cut == std::string::npos || cut % 4096 == 0) && previous &&
                        copy.find_first_not_of(after, cut == std::string::npos ? kSize : cut) == std::string::npos)
                << "a copy of no moment of the file";
        } else {
            EXPECT_EQ(error, err::PermissionDenied);
            EXPECT_EQ(description, kBeingWritten);
            EXPECT_EQ(nativeNames(dir.path() / "store"), std::vector<std::string>{});
        }
        if (!stops && rewrittenMeanwhile) {
            EXPECT_NE(error, 0) << "a file that kept changing was copied";
        }
    }
    ::munmap(shared, sizeof(std::atomic<long>));
}

// Over the file-size limit a write fails as on a full disk; the program is
// not ended by SIGXFSZ.
TEST_F(PosixFileSystemTest, AFileSizeLimitFailsTheCopyAsAFullDisk) {
    dir.write("big.bin", std::string(1 << 20, 'b'));
    const int code = test::runInChild([&] {
        struct rlimit limit{64 << 10, 64 << 10};
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) return 90;
        PosixFileSystem child;
        const auto folder = child.openDirectory(at(""));
        const auto store = folder->openFolder("store", true);
        const int copy = errorOf([&] { store->createCopy(*folder, "big.bin", "copy.bin", attr::ReadOnly); });
        const int write = errorOf([&] { folder->writeFileAtomic("settings.ini", std::string(1 << 20, 's')); });
        return copy == err::DiskFull && write == err::DiskFull ? 0 : 1;
    }, false, 20);
    EXPECT_EQ(code, 0) << "-1: ended by a signal, 1: another error";
    EXPECT_EQ(nativeNames(dir.path() / "store"), std::vector<std::string>{});
    EXPECT_EQ(nativeNames(dir.path()), (std::vector<std::string>{"big.bin", "store"}));
}

// Another instance's update in a child process, holding the lock for a
// while: the update here waits, then changes what the other stored.
TEST_F(PosixFileSystemTest, AnUpdateWaitsForAnotherInstancesLockAndChangesWhatItStored) {
    const auto file = dir.write("_mabre.l94", "stored\n");
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t other = ::fork();
    if (other == 0) {
        PosixFileSystem child;
        child.openDirectory(at(""))->updateFile("_mabre.l94", [&](const std::optional<std::string>& stored) {
            if (::write(ready[1], "x", 1) != 1) ::_exit(1);
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            return std::optional<std::string>(stored.value_or("") + "other\n");
        });
        ::_exit(0);
    }
    char c;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);
    const auto folder = open();
    folder->updateFile("_mabre.l94", [](const std::optional<std::string>& stored) {
        return std::optional<std::string>(stored.value_or("") + "this\n");
    });
    int status = 0;
    ::waitpid(other, &status, 0);
    ::close(ready[0]);
    ::close(ready[1]);
    EXPECT_EQ(test::readBytes(file), "stored\nother\nthis\n");

    // Nothing to change: nothing written, nothing made where nothing is.
    struct stat before{};
    ::stat(file.c_str(), &before);
    folder->updateFile("_mabre.l94", [](const std::optional<std::string>&) { return std::nullopt; });
    folder->updateFile("none.l94", [](const std::optional<std::string>& stored) {
        EXPECT_FALSE(stored);
        return std::nullopt;
    });
    struct stat after{};
    ::stat(file.c_str(), &after);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
    EXPECT_EQ(nativeNames(dir.path()), std::vector<std::string>{"_mabre.l94"});
    folder->updateFile("new.l94", [](const std::optional<std::string>&) { return std::optional<std::string>("n"); });
    EXPECT_EQ(test::readBytes(dir.path() / "new.l94"), "n");

    stdfs::create_symlink(file, dir.path() / "link.l94");
    const auto writeX = [](const std::optional<std::string>&) { return std::optional<std::string>("x"); };
    EXPECT_EQ(errorOf([&] { folder->updateFile("link.l94", writeX); }), err::PathFileAccess);
    EXPECT_EQ(test::readBytes(file), "stored\nother\nthis\n");
}

TEST_F(PosixFileSystemTest, TakingACopyAgainChangesItsChangeTimeAloneOrMakesItOurs) {
    const auto copy = dir.write("copy.txt", "same");
    ::chmod(copy.c_str(), 0444);
    struct stat before{};
    ::stat(copy.c_str(), &before);
    const auto folder = open();
    folder->markTaken("copy.txt");
    struct stat after{};
    ::stat(copy.c_str(), &after);
    EXPECT_TRUE(after.st_ctim.tv_sec > before.st_ctim.tv_sec ||
                (after.st_ctim.tv_sec == before.st_ctim.tv_sec && after.st_ctim.tv_nsec > before.st_ctim.tv_nsec));
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
    EXPECT_EQ(after.st_mode, before.st_mode);
    EXPECT_EQ(folder->takenTime("copy.txt"), static_cast<std::int64_t>(after.st_ctim.tv_sec));

    // Another's copy in a folder both may write: replaced by one of our own.
    ::chmod(dir.path().c_str(), 0777);
    const int code = test::runUnprivileged([&] {
        PosixFileSystem child;
        child.openDirectory(at(""))->markTaken("copy.txt");
        return 0;
    });
    EXPECT_EQ(code, 0);
    struct stat replaced{};
    ::stat(copy.c_str(), &replaced);
    EXPECT_EQ(replaced.st_uid, 65534u);
    EXPECT_EQ(replaced.st_mode, before.st_mode);
    EXPECT_EQ(replaced.st_mtim.tv_sec, before.st_mtim.tv_sec);
    EXPECT_EQ(replaced.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
    EXPECT_EQ(test::readBytes(copy), "same");
    EXPECT_EQ(nativeNames(dir.path()), std::vector<std::string>{"copy.txt"});
}

// Root ignores permission bits, so these run in a child process as "nobody".
TEST_F(PosixFileSystemTest, AReadOnlyFolderRefusesNewFilesButAWritableFileIsRewrittenInPlace) {
    const auto folder = dir.mkdir("ro");
    const auto file = dir.write("ro/comments.l94", "stored");
    ::chmod(dir.path().c_str(), 0755);
    ::chmod(file.c_str(), 0666);
    ::chmod(folder.c_str(), 0555);
    const std::string base = at("ro\\");

    const int code = test::runUnprivileged([&] {
        PosixFileSystem child;
        const auto ro = child.openDirectory(base);
        int failures = 0;
        if (errorOf([&] { ro->writeFileAtomic("new.l94", "new"); }) != err::PermissionDenied) failures |= 1;
        if (errorOf([&] { ro->openFolder("_mabre-l94", true); }) != err::PermissionDenied) failures |= 2;
        if (errorOf([&] { ro->deleteCopy("comments.l94"); }) != err::PermissionDenied) failures |= 4;
        if (ro->readFile("comments.l94") != "stored") failures |= 8;
        ro->writeFileAtomic("comments.l94", "new, longer than before");
        ro->writeFileAtomic("comments.l94", "shorter");
        return failures;
    });
    EXPECT_EQ(code, 0) << "bit 1 write, 2 mkdir, 4 delete, 8 read";
    EXPECT_EQ(test::readBytes(file), "shorter");
    EXPECT_EQ(nativeNames(folder), (std::vector<std::string>{"comments.l94"}));
}

// A full disk: a tiny RAM disk mounted on the test folder, where mounting is allowed.
TEST(PosixFileSystemFullDisk, ACopyFromAnotherFileSystemCarriesContentAndTimeOrLeavesNothing) {
    TempDir dir;
    const auto point = dir.mkdir("disk");
    if (::mount("tmpfs", point.c_str(), "tmpfs", 0, "size=64k") != 0) {
        GTEST_SKIP() << "cannot mount a small tmpfs here (" << std::strerror(errno) << ")";
    }
    struct Unmount {
        std::string at;
        ~Unmount() { ::umount2(at.c_str(), MNT_DETACH); }
    } unmount{point.string()};

    PosixFileSystem fs;
    // A copy from another file system, where neither a clone nor the kernel
    // copy works, carries content and time all the same; one too big for the
    // disk leaves nothing behind.
    const auto source = dir.write("small.txt", std::string(20000, 's'));
    test::setModificationTime(source, 2010, 10, 10, 10, 10, 10);
    const auto folder = fs.openDirectory(dir.drivePath());
    const auto disk = folder->openFolder("disk", false);
    disk->copyFile(*folder, "small.txt", "small.txt");
    EXPECT_EQ(test::readBytes(point / "small.txt"), std::string(20000, 's'));
    EXPECT_EQ(disk->find("small.txt", 0)->modified, (LocalTime{2010, 10, 10, 10, 10, 10}));
    dir.write("big.bin", std::string(1 << 20, 'b'));
    EXPECT_EQ(errorOf([&] { disk->copyFile(*folder, "big.bin", "big.bin"); }), err::DiskFull);
    EXPECT_EQ(nativeNames(point), (std::vector<std::string>{"small.txt"}));
}

// Drives and shares from a fed mount table, onto real folders.
TEST(PosixFileSystemMounts, DrivesAndSharesReachTheirMountPoints) {
    TempDir dir;
    const auto share = dir.mkdir("share");
    dir.write("share/Plan.txt", "plan");
    const auto table = dir.write("mounts", "/dev/vda / ext4 rw 0 0\n//Server/Docs " + share.string() +
                                               " cifs rw 0 0\n/dev/sdz1 /media/nothing-here vfat rw 0 0\n");
    PosixFileSystem fs(table.string());

    EXPECT_EQ(fs.openDirectory("\\\\server\\docs\\")->readFile("Plan.txt"), "plan");
    // Letters go by mount point: /media/... before /tmp/...
    EXPECT_EQ(fs.openDirectory("E:\\")->readFile("Plan.txt"), "plan");
    EXPECT_EQ(names(fs.openDirectory("\\\\SERVER\\Docs\\")->list(0)), (std::vector<std::string>{"Plan.txt"}));
    EXPECT_EQ(fs.drivePath(share.string() + "/Plan.txt"), "E:\\Plan.txt");
    EXPECT_EQ(fs.driveType("d:"), drive_type::Removable);
    EXPECT_EQ(fs.driveType("E:\\"), drive_type::Network);
    EXPECT_EQ(fs.driveType("F:\\"), drive_type::NoRoot);
    EXPECT_EQ(fs.driveType("\\\\server\\docs\\"), drive_type::Network);
    EXPECT_EQ(fs.driveType("\\\\server\\other"), drive_type::NoRoot);
    EXPECT_EQ(errorOf([&] { fs.openDirectory("\\\\server\\other\\"); }), err::PathNotFound);
    EXPECT_FALSE(fs.findIgnoringCase("\\\\server\\other\\x", kAll));

    // The table changes: read again.
    std::ofstream(table, std::ios::app) << "//server/other " << share.string() << " cifs rw 0 0\n";
    EXPECT_EQ(fs.driveType("\\\\server\\other"), drive_type::Network);
    EXPECT_EQ(fs.openDirectory("\\\\server\\other")->readFile("Plan.txt"), "plan");
}

// The machine's own table: a mount made while the program runs is a drive
// at once.
TEST(PosixFileSystemMounts, AVolumeMountedWhileRunningIsADriveAtOnce) {
    // A mount namespace of this test's process alone, with a tmpfs over /media.
    if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        ::mount("mabrel-test", "/media", "tmpfs", 0, "size=1m") != 0) {
        GTEST_SKIP() << "no private mount namespace here: " << std::strerror(errno);
    }
    TempDir dir;
    dir.write("Plan.txt", "plan");
    PosixFileSystem fs;
    const std::size_t before = fs.drives().size();
    ASSERT_EQ(::mkdir("/media/stick", 0755), 0);
    ASSERT_EQ(::mount(dir.path().c_str(), "/media/stick", nullptr, MS_BIND, nullptr), 0);
    const auto drives = fs.drives();
    ASSERT_EQ(drives.size(), before + 1);
    const auto stick =
        std::find_if(drives.begin(), drives.end(), [](const Drive& d) { return d.mountPoint == "/media/stick"; });
    ASSERT_NE(stick, drives.end());
    EXPECT_EQ(fs.openDirectory(std::string(1, stick->letter) + ":\\")->readFile("Plan.txt"), "plan");
    ::umount("/media/stick");
    EXPECT_EQ(fs.drives().size(), before);
}

}  // namespace
}  // namespace mabrel::platform::posix
