// The native file system against real files in temporary folders.
#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdarg>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <new>
#include <optional>
#include <set>
#include <thread>

#include "platform/errors.h"
#include "platform/posix/dos_attrib.h"
#include "platform/posix/local_times.h"
#include "platform/posix/posix_filesystem.h"
#include "platform/posix/syscalls.h"
#include "support/platform_error.h"
#include "support/temp_dir.h"
#include "support/wait.h"
#include "as_other_user.h"

namespace mabrel::platform::posix {
namespace {

namespace stdfs = std::filesystem;
using test::errorOf;
using test::readBytes;
using test::TempDir;
using Names = std::vector<std::string>;

constexpr std::uint32_t kAll = attr::ReadOnly | attr::Hidden | attr::System | attr::Directory | attr::Archive;

// The names of a listing, or of a folder as the machine sees it, sorted:
// listings come in the folder's own order.
Names sorted(Names names) { std::sort(names.begin(), names.end()); return names; }
Names namesIn(const std::vector<DirEntry>& entries) {
    Names out;
    for (const auto& e : entries) out.push_back(e.name);
    return sorted(out);
}
Names nativeNames(const stdfs::path& folder) {
    Names out;
    for (const auto& e : stdfs::directory_iterator(folder)) out.push_back(e.path().filename().string());
    return sorted(out);
}
struct stat statOf(const stdfs::path& p) { struct stat st{}; ::stat(p.c_str(), &st); return st; }

// The error a call fails with and what the person is told ("" when done).
std::string told(int number, const std::string& description) { return std::to_string(number) + " " + description; }
std::string refusal(const std::function<void()>& f) {
    try { f(); } catch (const PlatformError& e) { return told(e.number(), e.description()); }
    return "";
}

// A test folder on a file system with user.* extended attributes (tmpfs
// often has none), or nothing.
std::unique_ptr<TempDir> folderWithXattrs() {
    for (const char* parent : {"", "/var/tmp"}) {
        auto dir = *parent ? std::make_unique<TempDir>(stdfs::path(parent)) : std::make_unique<TempDir>();
        if (::setxattr(dir->path().c_str(), "user.probe", "1", 1, 0) == 0) return dir;
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
    std::set<int> unsynced;       // files written since their last fsync
    bool closedUnsynced = false;  // one was closed so
    bool nameUnflushed = false;   // a name given since the folder's last fsync
    Names faults;
    bool noUnnamedFiles = false;
    int unnamedRefused = 0;
    Names created;  // the names made with O_CREAT
} log;

const Syscalls& real() { return realSyscalls(); }
template <class N>
N wrote(int fd, N n) {
    if (n >= 0) log.unsynced.insert(fd);
    return n;
}
int openat(int dir, const char* path, int flags, ...) {
    va_list ap;
    va_start(ap, flags);
    const mode_t mode = (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE ? va_arg(ap, int) : 0;
    va_end(ap);
    if (log.noUnnamedFiles && (flags & O_TMPFILE) == O_TMPFILE) {
        ++log.unnamedRefused;
        return errno = EOPNOTSUPP, -1;
    }
    const int fd = real().openat(dir, path, flags, mode);
    if (fd >= 0 && (flags & O_CREAT)) log.created.push_back(path);
    return fd;
}
int close(int fd) {
    log.closedUnsynced |= log.unsynced.erase(fd) > 0;
    return real().close(fd);
}
ssize_t write(int fd, const void* b, size_t c) { return wrote(fd, real().write(fd, b, c)); }
ssize_t pwrite(int fd, const void* b, size_t c, off_t o) { return wrote(fd, real().pwrite(fd, b, c, o)); }
ssize_t copyRange(int in, off64_t* io, int out, off64_t* oo, size_t c, unsigned f) {
    return wrote(out, real().copy_file_range(in, io, out, oo, c, f));
}
int ioctl(int fd, unsigned long request, ...) {
    va_list ap;
    va_start(ap, request);
    void* arg = va_arg(ap, void*);
    va_end(ap);
    const int rc = real().ioctl(fd, request, arg);
    return rc == 0 ? wrote(fd, 0) : rc;
}
int fsync(int fd) {
    const int rc = real().fsync(fd);
    struct stat st{};
    if (rc == 0) log.unsynced.erase(fd);
    if (rc == 0 && real().fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) log.nameUnflushed = false;
    return rc;
}
int named(const char* call, const char* name, int rc) {
    if (!log.unsynced.empty() || log.closedUnsynced) {
        log.faults.push_back(std::string(call) + " named " + name + " before its data reached the disk");
    }
    log.nameUnflushed |= rc == 0;
    return rc;
}
int renameat(int da, const char* a, int db, const char* b) { return named("renameat", b, real().renameat(da, a, db, b)); }
int linkat(int da, const char* a, int db, const char* b, int f) { return named("linkat", b, real().linkat(da, a, db, b, f)); }

// The table in place while one of these lives.
struct Recording {
    explicit Recording(bool noUnnamedFiles) {
        log = Log{};
        log.noUnnamedFiles = noUnnamedFiles;
        Syscalls& t = sys();
        t.openat = openat, t.close = close, t.write = write, t.pwrite = pwrite, t.copy_file_range = copyRange;
        t.ioctl = ioctl, t.fsync = fsync, t.renameat = renameat, t.linkat = linkat;
    }
    ~Recording() { sys() = realSyscalls(); }
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

TEST_F(PosixFileSystemTest, AttributesFollowModeAndNamesListingsFilterByThemPathsReachOnlyWhatTheyName) {
    for (const char* name : {"b.txt", "a.txt", ".profile", "odd\\name.txt"}) dir.write(name, "x");
    dir.mkdir("Sub");
    const auto folder = open();
    EXPECT_EQ(fs.attributes(at(".profile")), attr::Hidden | attr::Archive);
    for (const auto& [given, writeBits] : {std::pair{attr::ReadOnly | attr::Archive, 0u}, {attr::Archive, 0200u}}) {
        folder->setAttributes("a.txt", given);
        EXPECT_EQ(std::make_pair(statOf(dir.path() / "a.txt").st_mode & 0222, fs.attributes(at("a.txt"))),
                  std::make_pair(writeBits, given));
    }
    // A folder stays writable whatever it is told.
    folder->setAttributes("Sub", attr::ReadOnly | attr::Directory);
    EXPECT_EQ(fs.attributes(at("Sub\\")), attr::Directory);
    EXPECT_EQ(namesIn(folder->list(0)), (Names{"a.txt", "b.txt"}));
    EXPECT_EQ(namesIn(folder->list(attr::Directory)), (Names{".", "..", "Sub", "a.txt", "b.txt"}));
    EXPECT_EQ(namesIn(folder->list(attr::Hidden)), (Names{".profile", "a.txt", "b.txt"}));
    EXPECT_EQ(fs.openDirectory(dir.drivePath().substr(0, dir.drivePath().size() - 1))->list(kAll).size(), 6u);
    EXPECT_EQ(errorOf([&] { open("a.txt\\"); }), err::PathNotFound);
    for (const std::string& path : {at("none\\x.txt"), std::string("Q:\\x"), std::string("\\\\nosuch\\share\\x")}) {
        EXPECT_EQ(errorOf([&] { fs.attributes(path); }), err::PathNotFound) << path;
    }
    EXPECT_EQ(errorOf([&] { fs.attributes(at("none.txt")); }), err::FileNotFound);
    EXPECT_EQ(errorOf([&] { folder->openFolder("none", false); }), err::PathNotFound);
    // One name, never a path: what would reach another folder is refused.
    for (const std::string& name : Names{"", ".", "..", "../a.txt", "Sub/../a.txt", std::string("a.txt\0x", 7)}) {
        EXPECT_EQ(errorOf([&] { folder->readFile(name); }), err::PathFileAccess) << name;
        EXPECT_EQ(errorOf([&] { folder->deleteCopy(name); }), err::PathFileAccess) << name;
    }
}

TEST_F(PosixFileSystemTest, LetterCaseIsIgnoredOnlyForTypedPaths) {
    dir.write("Reports/Annual.TXT", "x");
    // Two entries that differ only in case: the exact one, or none; a
    // directory needs the directory bit.
    dir.write("Twin.txt", "1");
    dir.write("TWIN.txt", "2");
    const std::tuple<const char*, std::uint32_t, const char*> typed[] = {
        {"reports\\annual.txt", 0, "Annual.TXT"}, {"REPORTS", attr::Directory, "Reports"}, {"REPORTS", 0, ""},
        {"TWIN.txt", 0, "TWIN.txt"}, {"twin.txt", 0, ""}};
    for (const auto& [path, mask, found] : typed) {
        const auto entry = fs.findIgnoringCase(at(path), mask);
        EXPECT_EQ(entry ? entry->name : "", found) << path;
    }
    // Names the program builds are used as spelled: a.txt is not A.txt.
    EXPECT_EQ(errorOf([&] { open("reports"); }), err::PathNotFound);
    const auto reports = open("Reports");
    EXPECT_FALSE(reports->find("annual.txt", kAll));
    reports->writeFileAtomic("annual.txt", "n");
    EXPECT_EQ(readBytes(dir.path() / "Reports" / "Annual.TXT"), "x");
}

// The machine's calls, but stat and the attribute read failing for names
// that end in "-stat" and "-xattr", and the attribute reads counted: safe
// for the listing's two threads.
struct FailingByName {
    static inline std::atomic<int> xattrReads{0};
    static int fstatat(int dir, const char* name, struct stat* st, int flags) {
        if (std::string_view(name).ends_with("-stat")) return errno = EIO, -1;
        return realSyscalls().fstatat(dir, name, st, flags);
    }
    static ssize_t getxattr(const char* path, const char* name, void* value, size_t size) {
        ++xattrReads;
        if (std::string_view(path).ends_with("-xattr")) return errno = EIO, -1;
        return realSyscalls().getxattr(path, name, value, size);
    }
    FailingByName() { xattrReads = 0, sys().fstatat = fstatat, sys().getxattr = getxattr; }
    ~FailingByName() { sys() = realSyscalls(); }
};

// A large folder, read by two threads (a small one takes the same path on
// one): each entry gets its own stat and attributes, read once, and again
// only once changed.
TEST(PosixFileSystemXattr, EveryEntryGetsItsOwnStatAndAttributesReadOncePerChange) {
    auto dir = folderWithXattrs();
    if (!dir) GTEST_SKIP() << "no file system with user.* extended attributes for the test folder";
    const auto dos = [&](const stdfs::path& file, const char* value) {
        ASSERT_EQ(::setxattr(file.c_str(), kDosAttribName, value, std::strlen(value), 0), 0);
    };
    // In a folder of its own: ".." is one no other program changes meanwhile.
    const auto folder = dir->mkdir("f");
    std::map<std::string, std::optional<DirEntry>> expected;  // nothing: unreadable
    for (int i = 0; i < 5000; ++i) {
        std::string name = (i % 50 == 7 ? "." : "") + std::to_string(i);
        if (i % 97 == 3) name += "-stat";
        if (i % 89 == 5) name += "-xattr";
        DirEntry e{name, (i % 13 == 0 ? attr::ReadOnly : 0) | (name[0] == '.' ? attr::Hidden : 0) | attr::Archive,
                   i % 101, {}, 1700000000 + i * 617, 0};
        e.modified = libraryLocalTime(e.utcSeconds);
        const auto file = dir->write("f/" + name, std::string(i % 101, 'x'));
        const struct timespec times[2] = {{e.utcSeconds, 0}, {e.utcSeconds, 0}};
        ::utimensat(AT_FDCWD, file.c_str(), times, 0);
        if (i % 13 == 0) ::chmod(file.c_str(), 0444);
        if (i % 7 == 0 && !name.ends_with("-xattr")) {
            dos(file, "0x2");
            e.attributes = (e.attributes & ~attr::Archive) | attr::Hidden;
        }
        expected[name] = name.ends_with("-stat") ? std::nullopt : std::optional(e);
    }
    // Values read within seconds of a change are read again next time.
    std::this_thread::sleep_for(std::chrono::milliseconds(3100));
    const auto check = [&](const std::vector<DirEntry>& listed) {
        ASSERT_EQ(listed.size(), expected.size() + 2);
        for (const auto& got : listed) {
            if (got.name == "." || got.name == "..") continue;
            SCOPED_TRACE(got.name);
            const auto& want = expected.at(got.name);
            EXPECT_EQ(got.attributes, want ? want->attributes : attr::Unreadable);
            if (!want) continue;
            EXPECT_EQ(std::tie(got.size, got.utcSeconds), std::tie(want->size, want->utcSeconds));
            EXPECT_EQ(got.modified, want->modified);
        }
    };
    const auto count = [&](auto pred) { return static_cast<int>(std::count_if(expected.begin(), expected.end(), pred)); };
    PosixFileSystem fs;
    const auto open = [&] { return fs.openDirectory(dir->drivePath() + "f"); };
    FailingByName table;
    check(open()->list(kAll | attr::Unreadable));
    // Once each, "." and ".." too.
    EXPECT_EQ(FailingByName::xattrReads, count([](const auto& e) { return e.second.has_value(); }) + 2);

    // Only what changed (here by another program), and what could not be read, is read again.
    int changed = 0;
    for (auto& [name, e] : expected) {
        if (!e || name.ends_with("-xattr") || std::stoi(name.substr(name[0] == '.')) % 11 != 0) continue;
        dos(folder / name, "0x4");
        e->attributes = (e->attributes & attr::ReadOnly) | (name[0] == '.' ? attr::Hidden : 0) | attr::System;
        ++changed;
    }
    FailingByName::xattrReads = 0;
    check(open()->list(kAll | attr::Unreadable));
    EXPECT_EQ(FailingByName::xattrReads, changed + count([](const auto& e) { return e.first.ends_with("-xattr"); }));
    EXPECT_EQ(static_cast<int>(open()->list(0).size()),
              count([](const auto& e) { return e.second && matchesMask(e.second->attributes, 0); }));
}

TEST_F(PosixFileSystemTest, ACopyCarriesContentTimeAndModeAndReplacesOnlyWritableFiles) {
    const std::string content(300000, 'q');
    const auto source = dir.write("src.bin", content);
    test::setModificationTime(source, 2001, 2, 3, 4, 5, 6);
    ::chmod(source.c_str(), 0444);
    const auto folder = open();
    folder->copyFile(*folder, "src.bin", "copy.bin");
    EXPECT_EQ(readBytes(dir.path() / "copy.bin"), content);
    const auto copied = folder->find("copy.bin", kAll);
    EXPECT_EQ(copied->modified, (LocalTime{2001, 2, 3, 4, 5, 6}));
    EXPECT_EQ(copied->attributes, attr::ReadOnly | attr::Archive);

    // A writable target is replaced, keeping its mode; a read-only one, and
    // a link, are kept as they were, and the person is told it is a link.
    ::chmod(dir.write("old.bin", "old").c_str(), 0640);
    ::chmod(source.c_str(), 0644);
    folder->copyFile(*folder, "src.bin", "old.bin");
    EXPECT_EQ(readBytes(dir.path() / "old.bin"), content);
    folder->writeFileAtomic("old.bin", "new");
    EXPECT_EQ(readBytes(dir.path() / "old.bin"), "new");
    EXPECT_EQ(statOf(dir.path() / "old.bin").st_mode & 07777, 0640u);
    EXPECT_EQ(errorOf([&] { folder->copyFile(*folder, "old.bin", "copy.bin"); }), err::PermissionDenied);
    EXPECT_EQ(errorOf([&] { folder->writeFileAtomic("copy.bin", "x"); }), err::PermissionDenied);
    EXPECT_EQ(errorOf([&] { folder->copyFile(*folder, "nothing.bin", "x.bin"); }), err::FileNotFound);
    stdfs::create_symlink("old.bin", dir.path() / "link.bin");
    EXPECT_EQ(refusal([&] { folder->copyFile(*folder, "src.bin", "link.bin"); }), told(err::PathFileAccess, kLinkNotFile));
    EXPECT_EQ(refusal([&] { folder->writeFileAtomic("link.bin", "x"); }), told(err::PathFileAccess, kLinkNotFile));
    EXPECT_TRUE(stdfs::is_symlink(dir.path() / "link.bin"));
    EXPECT_EQ(readBytes(dir.path() / "copy.bin"), content);
    EXPECT_EQ(nativeNames(dir.path()), (Names{"copy.bin", "link.bin", "old.bin", "src.bin"}));
}

TEST_F(PosixFileSystemTest, ACreatedCopyIsCompleteOrNothingAndNeverReplacesAnything) {
    const auto source = dir.write("src.bin", std::string(300000, 'x'));
    const auto folder = open();
    const auto store = folder->openFolder("store", true);
    store->createCopy(*folder, "src.bin", "copy.bin", attr::ReadOnly | attr::Archive);
    EXPECT_EQ(readBytes(dir.path() / "store" / "copy.bin"), std::string(300000, 'x'));
    EXPECT_EQ(statOf(dir.path() / "store" / "copy.bin").st_mode & 07777, 0444u);
    EXPECT_EQ(store->find("copy.bin", kAll)->utcSeconds, folder->find("src.bin", kAll)->utcSeconds);

    // Whatever has the name, a file or a link to one, stays as it is.
    dir.write("store/taken.bin", "other");
    stdfs::create_symlink(source, dir.path() / "store" / "link.bin");
    stdfs::create_symlink(dir.path() / "nowhere", dir.path() / "store" / "dangling.bin");
    for (const char* name : {"copy.bin", "taken.bin", "link.bin", "dangling.bin"}) {
        EXPECT_EQ(errorOf([&] { store->createCopy(*folder, "src.bin", name, attr::ReadOnly); }), err::FileAlreadyExists)
            << name;
    }
    EXPECT_EQ(readBytes(dir.path() / "store" / "taken.bin"), "other");
    EXPECT_FALSE(stdfs::exists(dir.path() / "nowhere"));

    // A source that ends before its size (as a network file system may, or a
    // file that shrinks): the copy fails and takes no name.
    if (stdfs::exists("/sys/devices/system/cpu/online") && stdfs::file_size("/sys/devices/system/cpu/online") > 64) {
        const auto cpu = fs.openDirectory("C:\\sys\\devices\\system\\cpu");
        EXPECT_EQ(errorOf([&] { store->createCopy(*cpu, "online", "short.bin", 0); }), err::DeviceIo);
        EXPECT_EQ(errorOf([&] { store->copyFile(*cpu, "online", "short.bin"); }), err::DeviceIo);
    }
    EXPECT_EQ(nativeNames(dir.path() / "store"), (Names{"copy.bin", "dangling.bin", "link.bin", "taken.bin"}));
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
        const struct {
            const char* what;
            std::function<void()> run;
            std::string name, bytes;
        } steps[] = {
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
            EXPECT_EQ(readBytes(dir.path() / "f" / step.name), step.bytes) << step.what;
            EXPECT_EQ(calls::log.faults, Names{}) << step.what;
            EXPECT_FALSE(calls::log.nameUnflushed) << step.what << ": the folder's names were not flushed";
            calls::log.faults.clear();
        }
        EXPECT_EQ(calls::log.unnamedRefused > 0, !unnamedFiles);
        EXPECT_EQ(nativeNames(dir.path() / "f"),
                  (Names{"file.txt", "new.txt", "notes.txt", "notes.txt.lock", "restored.txt", "store"}));
        EXPECT_EQ(nativeNames(dir.path() / "f" / "store"), Names{"copy.txt"});
    }
}

TEST_F(PosixFileSystemTest, TemporariesOfWritersThatAreGoneAreRemovedOthersStay) {
    // The name of a temporary as the program gives it where the file system
    // has no unnamed files: ".<name>.mabrel-<host>-<pid>-<random>~".
    std::string made;
    {
        calls::Recording recording(true);
        open()->writeFileAtomic("x.txt", "x");
        ASSERT_EQ(calls::log.created.size(), 1u);
        made = calls::log.created.front();
    }
    const std::string ownPid = "-" + std::to_string(::getpid()) + "-";
    ASSERT_NE(made.rfind(ownPid), std::string::npos) << made;
    const auto named = [&](pid_t pid, const std::string& host = {}) {
        std::string name = "._mabre.l94" + made.substr(made.find(".mabrel-"));
        name.replace(name.rfind(ownPid), ownPid.size(), "-" + std::to_string(pid) + "-");
        if (!host.empty()) name.replace(name.find(".mabrel-") + 8, host.size(), host);
        return name;
    };
    // A writer that was killed, one that is still writing, one on another
    // machine that may be; ours too (the program writes on one thread, so
    // none of its writes is under way).
    const pid_t gone = ::fork();
    if (gone == 0) ::_exit(0);
    ::waitpid(gone, nullptr, 0);
    const pid_t writing = ::fork();
    if (writing == 0) ::pause(), ::_exit(0);
    const std::string alive = named(writing), otherHost = named(gone, "00000000"), oldForm = "._mabre.l94.0123456789ab~";
    const std::string someoneElses = ".notes.txt.0123456789ab~";
    for (const auto& n : {named(gone), alive, named(::getpid()), otherHost, oldForm, someoneElses}) dir.write(n, "part");
    open()->removeStaleTemporaries();
    ::kill(writing, SIGKILL);
    ::waitpid(writing, nullptr, 0);
    EXPECT_EQ(nativeNames(dir.path()), sorted({alive, otherHost, oldForm, someoneElses, "x.txt"}));
    // After a day any of ours goes; no write takes that long.
    for (const auto& n : {oldForm, otherHost, someoneElses}) test::setModificationTime(dir.path() / n, 2000, 1, 1, 0, 0, 0);
    open()->removeStaleTemporaries();
    EXPECT_EQ(nativeNames(dir.path()), (Names{someoneElses, "x.txt"}));
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
    const std::pair<const char*, const char*> cases[] = {
        {"fifo", kNotRegularFile}, {"zero", kLinkNotFile},   {"link", kLinkNotFile},
        {"folder", kFolderNotFile}, {"huge", kFileTooLarge}, {"sane", ""},
    };
    for (const auto& [name, description] : cases) {
        SCOPED_TRACE(name);
        const int code = test::runInChild([&] {
            PosixFileSystem child;
            const auto folder = child.openDirectory(at(""));
            const std::string why = refusal([&] { folder->readFile(name); });
            return why == (*description ? told(err::PathFileAccess, description) : "") ? 0 : 1;
        }, false, 10);
        EXPECT_EQ(code, 0) << "-1: blocked, 1: read or refused wrongly";
    }
}

// A file written in place by another program while it is copied: the copy
// holds one whole version of it, or there is none and the person is told.
TEST_F(PosixFileSystemTest, AFileRewrittenWhileItIsCopiedGivesOneWholeVersionOrNone) {
    constexpr std::size_t kSize = 8u << 20, kBlock = 64u << 10;
    dir.write("busy.bin", std::string(kSize, 'a'));
    // The writer's count of pieces written, shared with this process.
    void* shared = ::mmap(nullptr, sizeof(std::atomic<long>), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(shared, MAP_FAILED);
    auto* pieces = new (shared) std::atomic<long>(0);
    for (const bool stops : {false, true}) {
        SCOPED_TRACE(stops ? "a writer that stops" : "a writer that keeps writing");
        std::error_code ec;
        stdfs::remove_all(dir.path() / "store", ec);
        // Each pass rewrites the file from its start, a block at a time, as another letter.
        const pid_t writer = ::fork();
        if (writer == 0) {
            const int fd = ::open((dir.path() / "busy.bin").c_str(), O_WRONLY);
            const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(stops ? 150 : 20000);
            for (char v = 'b'; std::chrono::steady_clock::now() < end; v = v == 'z' ? 'b' : static_cast<char>(v + 1)) {
                const std::string b(kBlock, v);
                for (std::size_t at = 0; at < kSize; at += kBlock) {
                    if (::pwrite(fd, b.data(), b.size(), static_cast<off_t>(at)) < 0) ::_exit(1);
                    pieces->fetch_add(1);
                }
            }
            ::_exit(0);
        }
        ASSERT_TRUE(test::waitFor([&] { return pieces->load() > 0; }));
        const auto folder = open();
        const auto store = folder->openFolder("store", true);
        const long piecesBefore = pieces->load();
        const std::string why = refusal([&] { store->createCopy(*folder, "busy.bin", "copy.bin", attr::ReadOnly); });
        // Whether the writer rewrote the whole file meanwhile: on a busy
        // machine it may not have run at all.
        const bool rewrittenMeanwhile = pieces->load() - piecesBefore >= static_cast<long>(kSize / kBlock);
        ::kill(writer, SIGKILL);
        ::waitpid(writer, nullptr, 0);
        if (why.empty()) {
            // A writer held up mid-pass leaves the file quiet in such a
            // state: the new letter up to a page, the one before after it.
            const std::string copy = readBytes(dir.path() / "store" / "copy.bin");
            const std::size_t cut = copy.find_first_not_of(copy.front());
            const char before = copy.front(), after = cut < copy.size() ? copy[cut] : before;
            const bool previous = after == before || after == before - 1 || (before == 'b' && after == 'z');
            EXPECT_TRUE(copy.size() == kSize && (cut == std::string::npos || cut % 4096 == 0) && previous &&
                        copy.find_first_not_of(after, cut == std::string::npos ? kSize : cut) == std::string::npos)
                << "a copy of no moment of the file";
        } else {
            EXPECT_EQ(why, told(err::PermissionDenied, kBeingWritten));
            EXPECT_EQ(nativeNames(dir.path() / "store"), Names{});
        }
        if (!stops && rewrittenMeanwhile) {
            EXPECT_NE(why, "") << "a file that kept changing was copied";
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
    EXPECT_EQ(nativeNames(dir.path() / "store"), Names{});
    EXPECT_EQ(nativeNames(dir.path()), (Names{"big.bin", "store"}));
}

// Another instance's update in a child process, holding the lock until the
// update here is seen waiting for it or has replaced the file without
// waiting: the update here waits, then changes what the other stored; so too
// with an earlier version, which locks the comment file only, and with the
// Windows program under Wine, which holds a POSIX lock of the lock file.
// Then a colleague's (a file this account may not write, in a folder its
// group may): the same, the file replaced by one of its own, writable by
// the group.
TEST_F(PosixFileSystemTest, AnUpdateWaitsForAnotherInstancesLockAndChangesWhatItStored) {
    const auto comments = dir.path() / "_mabre.l94", lockFile = dir.path() / "_mabre.l94.lock";
    // Until another process is asleep with the comment file or its lock
    // file open (waiting for the lock), or the file was replaced.
    const auto holdUntilWaitedFor = [comments, lockFile] {
        const ino_t stored = statOf(comments).st_ino;
        const std::string self = std::to_string(::getpid());
        test::waitFor([&] {
            if (statOf(comments).st_ino != stored) return true;
            std::error_code ec;
            for (const auto& proc : stdfs::directory_iterator("/proc", ec)) {
                const std::string pid = proc.path().filename();
                if (pid == self || pid.find_first_not_of("0123456789") != std::string::npos) continue;
                std::ifstream call(proc.path() / "syscall");
                int number = -1;
                if (!(call >> number) || number != SYS_clock_nanosleep) continue;
                for (const auto& fd : stdfs::directory_iterator(proc.path() / "fd", ec)) {
                    const auto target = stdfs::read_symlink(fd.path(), ec);
                    if (target == comments || target == lockFile) return true;
                }
            }
            return false;
        });
    };
    const auto adding = [holdUntilWaitedFor](const char* line, int ready = -1) {
        return [=](const std::optional<std::string>& stored) {
            if (ready >= 0 && ::write(ready, "x", 1) == 1) holdUntilWaitedFor();
            return line ? std::optional<std::string>(stored.value_or("") + line) : std::nullopt;
        };
    };
    ::chown(dir.path().c_str(), 0, 65534);
    ::chmod(dir.path().c_str(), 02775);
    enum Other { ThisProgram, EarlierVersion, WindowsProgram };
    const struct {
        Other other;
        bool colleague;
    } cases[] = {{ThisProgram, false}, {EarlierVersion, false}, {WindowsProgram, false}, {ThisProgram, true}};
    for (const auto& [other, colleague] : cases) {
        SCOPED_TRACE(std::to_string(other) + (colleague ? " colleague" : ""));
        const auto file = dir.write("_mabre.l94", "stored\n");
        ::chown(file.c_str(), 0, 0);
        ::chmod(file.c_str(), 0644);
        int ready[2];
        ASSERT_EQ(::pipe(ready), 0);
        const pid_t child = ::fork();
        if (child == 0) {
            if (other == ThisProgram) {
                // The colleague's turn: the other only holds the lock, the file stays root's.
                PosixFileSystem().openDirectory(at(""))->updateFile("_mabre.l94",
                                                                     adding(colleague ? nullptr : "other\n", ready[1]));
                ::_exit(0);
            }
            const auto locked = dir.path() / (other == EarlierVersion ? "_mabre.l94" : "_mabre.l94.lock");
            const int fd = ::open(locked.c_str(), O_RDWR | O_CREAT, 0666);
            struct flock lock {};
            lock.l_type = F_WRLCK;
            lock.l_whence = SEEK_SET;
            if (::fcntl(fd, other == EarlierVersion ? F_OFD_SETLK : F_SETLK, &lock) != 0) ::_exit(1);
            adding(nullptr, ready[1])(std::nullopt);
            dir.write("other.tmp", "stored\nother\n");
            ::rename((dir.path() / "other.tmp").c_str(), file.c_str());
            ::_exit(0);
        }
        char c;
        ASSERT_EQ(::read(ready[0], &c, 1), 1);
        const auto update = [&] { PosixFileSystem().openDirectory(at(""))->updateFile("_mabre.l94", adding("this\n")); return 0; };
        EXPECT_EQ(test::runInChild(update, colleague), 0);
        int status = 0;
        ::waitpid(child, &status, 0);
        EXPECT_EQ(status, 0);
        ::close(ready[0]);
        ::close(ready[1]);
        EXPECT_EQ(readBytes(file), colleague ? "stored\nthis\n" : "stored\nother\nthis\n");
        const struct stat made = statOf(file);
        EXPECT_EQ(std::tuple(made.st_uid, made.st_gid, made.st_mode & 07777),
                  std::tuple(colleague ? 65534u : 0u, 65534u, 0664u));
    }

    // Nothing to change: nothing written, nothing made where nothing is but
    // the lock file, which stays for the next save.
    const auto folder = open();
    const auto file = dir.path() / "_mabre.l94";
    const auto nothing = [](const std::optional<std::string>&) -> std::optional<std::string> { return std::nullopt; };
    const struct stat before = statOf(file);
    folder->updateFile("_mabre.l94", nothing);
    folder->updateFile("none.l94", nothing);
    const struct stat after = statOf(file);
    EXPECT_EQ(std::tie(after.st_ino, after.st_mtim.tv_nsec), std::tie(before.st_ino, before.st_mtim.tv_nsec));
    EXPECT_EQ(nativeNames(dir.path()), (Names{"_mabre.l94", "_mabre.l94.lock", "none.l94.lock"}));
}

// Our own copy taken again only gets a new change time: the open test's.
// Another's, in a folder both may write, is replaced by one of our own.
TEST_F(PosixFileSystemTest, TakingAnotherAccountsCopyAgainMakesItOurs) {
    const auto copy = dir.write("copy.txt", "same");
    ::chmod(copy.c_str(), 0444);
    const struct stat before = statOf(copy);
    ::chmod(dir.path().c_str(), 0777);
    const auto markTaken = [&] { PosixFileSystem().openDirectory(at(""))->markTaken("copy.txt"); return 0; };
    EXPECT_EQ(test::runInChild(markTaken, true), 0);
    const struct stat replaced = statOf(copy);
    EXPECT_EQ(replaced.st_uid, 65534u);
    EXPECT_EQ(std::tie(replaced.st_mode, replaced.st_mtim.tv_sec, replaced.st_mtim.tv_nsec),
              std::tie(before.st_mode, before.st_mtim.tv_sec, before.st_mtim.tv_nsec));
    EXPECT_EQ(readBytes(copy), "same");
    EXPECT_EQ(nativeNames(dir.path()), Names{"copy.txt"});
}

// Root ignores permission bits, so these run in a child process as "nobody".
TEST_F(PosixFileSystemTest, AReadOnlyFolderRefusesNewFilesButAWritableFileIsRewrittenInPlace) {
    const auto folder = dir.mkdir("ro");
    const auto file = dir.write("ro/comments.l94", "stored");
    ::chmod(dir.path().c_str(), 0755);
    ::chmod(file.c_str(), 0666);
    ::chmod(folder.c_str(), 0555);
    const int code = test::runInChild([&] {
        PosixFileSystem child;
        const auto ro = child.openDirectory(at("ro\\"));
        int failures = 0;
        if (errorOf([&] { ro->writeFileAtomic("new.l94", "new"); }) != err::PermissionDenied) failures |= 1;
        if (errorOf([&] { ro->openFolder("_mabre-l94", true); }) != err::PermissionDenied) failures |= 2;
        if (errorOf([&] { ro->deleteCopy("comments.l94"); }) != err::PermissionDenied) failures |= 4;
        if (ro->readFile("comments.l94") != "stored") failures |= 8;
        ro->writeFileAtomic("comments.l94", "new, longer than before");
        ro->writeFileAtomic("comments.l94", "shorter");
        return failures;
    }, true);
    EXPECT_EQ(code, 0) << "bit 1 write, 2 mkdir, 4 delete, 8 read";
    EXPECT_EQ(readBytes(file), "shorter");
    EXPECT_EQ(nativeNames(folder), Names{"comments.l94"});
}

// A full disk: a tiny RAM disk mounted on the test folder, where mounting is
// allowed. A copy from another file system, where neither a clone nor the
// kernel copy works, carries content and time all the same; one too big for
// the disk leaves nothing behind.
TEST(PosixFileSystemFullDisk, ACopyFromAnotherFileSystemCarriesContentAndTimeOrLeavesNothing) {
    TempDir dir;
    const auto point = dir.mkdir("disk");
    if (::mount("tmpfs", point.c_str(), "tmpfs", 0, "size=64k") != 0) {
        GTEST_SKIP() << "cannot mount a small tmpfs here (" << std::strerror(errno) << ")";
    }
    const std::unique_ptr<const char, void (*)(const char*)> unmount(point.c_str(),
                                                                       [](const char* p) { ::umount2(p, MNT_DETACH); });
    PosixFileSystem fs;
    test::setModificationTime(dir.write("small.txt", std::string(20000, 's')), 2010, 10, 10, 10, 10, 10);
    dir.write("big.bin", std::string(1 << 20, 'b'));
    const auto folder = fs.openDirectory(dir.drivePath());
    const auto disk = folder->openFolder("disk", false);
    disk->copyFile(*folder, "small.txt", "small.txt");
    EXPECT_EQ(readBytes(point / "small.txt"), std::string(20000, 's'));
    EXPECT_EQ(disk->find("small.txt", 0)->modified, (LocalTime{2010, 10, 10, 10, 10, 10}));
    EXPECT_EQ(errorOf([&] { disk->copyFile(*folder, "big.bin", "big.bin"); }), err::DiskFull);
    EXPECT_EQ(nativeNames(point), Names{"small.txt"});
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
    EXPECT_EQ(fs.drivePath(share.string() + "/Plan.txt"), "E:\\Plan.txt");
    const std::pair<const char*, unsigned> types[] = {{"d:", drive_type::Removable},
                                                      {"E:\\", drive_type::Network},
                                                      {"F:\\", drive_type::NoRoot},
                                                      {"\\\\server\\docs\\", drive_type::Network},
                                                      {"\\\\server\\other", drive_type::NoRoot}};
    for (const auto& [root, type] : types) EXPECT_EQ(fs.driveType(root), type) << root;
    EXPECT_EQ(errorOf([&] { fs.openDirectory("\\\\server\\other\\"); }), err::PathNotFound);
    // The table changes: read again.
    std::ofstream(table, std::ios::app) << "//server/other " << share.string() << " cifs rw 0 0\n";
    EXPECT_EQ(fs.openDirectory("\\\\server\\other")->readFile("Plan.txt"), "plan");
}

}  // namespace
}  // namespace mabrel::platform::posix
