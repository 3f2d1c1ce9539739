// What every Directory promises, on each file system people keep files on,
// each made from an image and mounted through its usual driver.
#include <fcntl.h>
#include <unistd.h>
#include <sys/stat.h>
#include <time.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string_view>

#include "mounted_fs.h"
#include "platform/errors.h"
#include "platform/posix/posix_filesystem.h"
#include "platform/posix/syscalls.h"
#include "support/platform_error.h"
#include "support/temp_dir.h"

namespace mabrel::platform {
namespace {

namespace stdfs = std::filesystem;
using test::errorOf;
using test::FsKind;
using test::MountedFs;
using test::readBytes;
using Names = std::vector<std::string>;

// What a file system can keep beyond names, content and times.
struct Keeps {
    bool hidden;    // the hidden bit of an entry whose name has no dot
    bool readOnly;  // a read-only file (a write bit, or a DOS attribute)
    // A modification time set on a file just written, every time. smbnetfs
    // closes the share's file after close() has returned, and the server
    // may then stamp the write time with the present.
    bool times;
};

Keeps keepsOf(FsKind kind) {
    switch (kind) {
    case FsKind::Exfat: return {false, false, true};  // exfat-fuse: no attributes, one mode for every file
    case FsKind::Smb: return {false, true, false};    // smbnetfs: the write bits, no extended attributes
    default: return {true, true, true};
    }
}

template <FsKind K>
struct On {
    static constexpr FsKind kind = K;
};

template <class T>
class DirectoryContract : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        std::string whyNot;
        mounted_ = MountedFs::make(T::kind, whyNot).release();
        whyNot_ = whyNot;
    }
    static void TearDownTestSuite() {
        delete mounted_;
        mounted_ = nullptr;
    }
    void SetUp() override {
        if (!mounted_) GTEST_SKIP() << whyNot_;
        folder_ = std::make_unique<test::TempDir>(mounted_->root());
        dir_ = fs_.openDirectory(fs_.drivePath(folder_->path().string()));
        backup_ = dir_->openFolder("_mabre-l94", true);
    }
    void TearDown() override {
        backup_.reset();
        dir_.reset();
        folder_.reset();
    }

    Keeps keeps() const { return keepsOf(T::kind); }
    stdfs::path at(const std::string& name) const { return folder_->path() / name; }
    stdfs::path inBackup(const std::string& name) const { return folder_->path() / "_mabre-l94" / name; }
    // A file of the person's, last changed at `utc` (both times set, as
    // some drivers drop a change of the modification time alone).
    void writeFile(const std::string& name, const std::string& bytes, std::time_t utc) {
        folder_->write(name, bytes);
        const struct timespec times[2] = {{utc, 0}, {utc, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, at(name).c_str(), times, 0), 0);
    }
    Names namesIn(const stdfs::path& folder) const {
        Names out;
        for (const auto& e : stdfs::directory_iterator(folder)) out.push_back(e.path().filename().string());
        std::sort(out.begin(), out.end());
        return out;
    }

    static inline MountedFs* mounted_ = nullptr;
    static inline std::string whyNot_;
    posix::PosixFileSystem fs_;
    std::unique_ptr<test::TempDir> folder_;
    std::unique_ptr<Directory> dir_;
    std::unique_ptr<Directory> backup_;
};

using Kinds = ::testing::Types<On<FsKind::Ext4>, On<FsKind::Xfs>, On<FsKind::Btrfs>, On<FsKind::Tmpfs>,
                               On<FsKind::Overlay>, On<FsKind::Exfat>, On<FsKind::Ntfs>, On<FsKind::Smb>>;
struct KindName {
    template <class T>
    static std::string GetName(int) {
        switch (T::kind) {
        case FsKind::Ext4: return "ext4";
        case FsKind::Xfs: return "xfs";
        case FsKind::Btrfs: return "btrfs";
        case FsKind::Tmpfs: return "tmpfs";
        case FsKind::Overlay: return "overlay";
        case FsKind::Exfat: return "exfat";
        case FsKind::Ntfs: return "ntfs";
        case FsKind::Smb: return "smb";
        }
        return "?";
    }
};
TYPED_TEST_SUITE(DirectoryContract, Kinds, KindName);

constexpr std::time_t kMonthAgo = 1700000000;  // 2023-11-14, long before any copy here
constexpr char kCopy[] = "notes_2023-11-14_22-13-20.txt";

TYPED_TEST(DirectoryContract, ACopyHoldsContentAndTimeTakesItsNameOnceAndNeverReplaces) {
    this->writeFile("notes.txt", "version one", kMonthAgo);
    this->backup_->createCopy(*this->dir_, "notes.txt", kCopy, attr::ReadOnly | attr::Archive);
    EXPECT_EQ(readBytes(this->inBackup(kCopy)), "version one");
    const auto copy = this->backup_->find(kCopy, 0xFFFF);
    ASSERT_TRUE(copy);
    if (this->keeps().times) {
        EXPECT_EQ(copy->utcSeconds, kMonthAgo);
    }
    EXPECT_EQ((copy->attributes & attr::ReadOnly) != 0, this->keeps().readOnly);

    // The name is taken: another copy never replaces it, and leaves nothing.
    this->writeFile("notes.txt", "version two", kMonthAgo);
    EXPECT_EQ(errorOf([&] { this->backup_->createCopy(*this->dir_, "notes.txt", kCopy, attr::Archive); }),
              err::FileAlreadyExists);
    EXPECT_EQ(readBytes(this->inBackup(kCopy)), "version one");
    EXPECT_EQ(this->namesIn(this->folder_->path() / "_mabre-l94"), Names{kCopy});

    // A restore gives the person's file the copy's content and time back.
    this->backup_->copyFile(*this->dir_, "notes.txt", "other.txt");
    this->dir_->copyFile(*this->backup_, kCopy, "notes.txt");
    EXPECT_EQ(readBytes(this->at("notes.txt")), "version one");
    if (this->keeps().times) {
        EXPECT_EQ(this->dir_->find("notes.txt", 0xFFFF)->utcSeconds, kMonthAgo);
    }
    EXPECT_EQ(readBytes(this->inBackup("other.txt")), "version two");

    // A read-only copy is deleted all the same.
    this->backup_->deleteCopy(kCopy);
    this->backup_->deleteCopy("other.txt");
    EXPECT_EQ(this->namesIn(this->folder_->path() / "_mabre-l94"), Names{});
    EXPECT_EQ(this->namesIn(this->folder_->path()), (Names{"_mabre-l94", "notes.txt"}));
}

// Another instance, on another machine, takes a copy's name at the very
// moment this one names its copy, where there are no hard links and no
// rename that refuses a name: the other's file stays.
struct NameTakenMeanwhile {
    static void takeName(int dirFd, const char* name) {
        const int fd = ::openat(dirFd, name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0) return;
        if (::write(fd, "theirs", 6) != 6) std::abort();
        ::close(fd);
    }
    static int linkat(int fromDir, const char* from, int toDir, const char* to, int flags) {
        // An unnamed file has no other way to a name.
        if (std::string_view(from).starts_with("/proc/")) {
            takeName(toDir, to);
            return posix::realSyscalls().linkat(fromDir, from, toDir, to, flags);
        }
        return errno = EPERM, -1;
    }
    static int renameat2(int, const char*, int toDir, const char* to, unsigned) {
        takeName(toDir, to);
        return errno = EINVAL, -1;
    }
    NameTakenMeanwhile() { posix::sys().linkat = linkat, posix::sys().renameat2 = renameat2; }
    ~NameTakenMeanwhile() { posix::sys() = posix::realSyscalls(); }
};

TYPED_TEST(DirectoryContract, ANameTakenWhileTheCopyIsNamedIsNeverReplaced) {
    this->writeFile("notes.txt", "mine", kMonthAgo);
    {
        NameTakenMeanwhile other;
        EXPECT_EQ(errorOf([&] { this->backup_->createCopy(*this->dir_, "notes.txt", kCopy, attr::Archive); }),
                  err::FileAlreadyExists);
    }
    EXPECT_EQ(readBytes(this->inBackup(kCopy)), "theirs");
    EXPECT_EQ(this->namesIn(this->folder_->path() / "_mabre-l94"), Names{kCopy});
}

TYPED_TEST(DirectoryContract, OwnFilesAreWrittenWholeAndChangedInTurn) {
    this->dir_->writeFileAtomic("_mabre.l94", "first");
    this->dir_->writeFileAtomic("_mabre.l94", "second");
    EXPECT_EQ(this->dir_->readFile("_mabre.l94"), "second");
    this->dir_->updateFile("settings.ini", [](const std::optional<std::string>& stored) {
        EXPECT_FALSE(stored);
        return std::optional<std::string>("a=1");
    });
    this->dir_->updateFile("settings.ini", [](const std::optional<std::string>& stored) {
        return std::optional<std::string>(stored.value_or("") + ";b=2");
    });
    EXPECT_EQ(readBytes(this->at("settings.ini")), "a=1;b=2");
    // The lock file of the changes stays for the next instance to lock.
    EXPECT_EQ(this->namesIn(this->folder_->path()), (Names{"_mabre-l94", "_mabre.l94", "settings.ini", "settings.ini.lock"}));
}

TYPED_TEST(DirectoryContract, ACopyTakenNowIsNeverTakenForAnOldOne) {
    // The copy of a month-old file, taken now: whatever the file system
    // keeps, its age is told as now, or not told at all (then it is kept).
    this->writeFile("notes.txt", "v", kMonthAgo);
    const std::int64_t before = std::time(nullptr) - 2;
    this->backup_->createCopy(*this->dir_, "notes.txt", kCopy, attr::ReadOnly | attr::Archive);
    const auto takenAfter = [&](std::int64_t limit) {
        try {
            return this->backup_->takenTime(kCopy) >= limit;
        } catch (const PlatformError&) {
            return true;  // cannot be told: the copy stays
        }
    };
    EXPECT_TRUE(takenAfter(before));
    this->backup_->markTaken(kCopy);
    EXPECT_TRUE(takenAfter(before));
    if (this->keeps().times) {
        EXPECT_EQ(this->backup_->find(kCopy, 0xFFFF)->utcSeconds, kMonthAgo);
    }
    EXPECT_EQ(readBytes(this->inBackup(kCopy)), "v");
}

TYPED_TEST(DirectoryContract, AttributesSetAreListed) {
    this->writeFile("plan.txt", "p", kMonthAgo);
    const auto listed = [&](const std::string& name) {
        for (const auto& e : this->dir_->list(attr::Hidden | attr::System | attr::Directory)) {
            if (e.name == name) return e.attributes;
        }
        return attr::Unreadable;
    };
    this->dir_->setAttributes("plan.txt", attr::ReadOnly | attr::Hidden | attr::Archive);
    const std::uint32_t set = listed("plan.txt");
    EXPECT_EQ((set & attr::ReadOnly) != 0, this->keeps().readOnly);
    EXPECT_EQ((set & attr::Hidden) != 0, this->keeps().hidden);
    // Hidden entries are left out of a listing that does not ask for them.
    bool shown = false;
    for (const auto& e : this->dir_->list(0)) shown = shown || e.name == "plan.txt";
    EXPECT_EQ(shown, !this->keeps().hidden);

    this->dir_->setAttributes("plan.txt", attr::Archive);
    EXPECT_EQ(listed("plan.txt") & (attr::ReadOnly | attr::Hidden), 0u);
    EXPECT_NO_THROW(this->dir_->writeFileAtomic("plan.txt", "writable again"));
}

// An SMB share reached through FUSE refuses, for a moment after close()
// has returned, to remove the file just closed: the server has it open yet.
struct BusyForAMoment {
    static inline int refusals = 0;
    static int unlinkat(int dirFd, const char* name, int flags) {
        if (refusals > 0) return --refusals, errno = EBUSY, -1;
        return posix::realSyscalls().unlinkat(dirFd, name, flags);
    }
    BusyForAMoment() { refusals = 3, posix::sys().unlinkat = unlinkat; }
    ~BusyForAMoment() { posix::sys() = posix::realSyscalls(); }
};

TYPED_TEST(DirectoryContract, FailuresLeaveNothingBehind) {
    this->writeFile("big.bin", std::string(3 << 20, 'x'), kMonthAgo);
    this->writeFile("notes.txt", "mine", kMonthAgo);
    const auto cancel = [](std::uint64_t copied, std::uint64_t) { return copied == 0; };
    {
        BusyForAMoment share;
        EXPECT_EQ(errorOf([&] { this->backup_->createCopy(*this->dir_, "big.bin", kCopy, attr::Archive, cancel); }),
                  err::Cancelled);
        EXPECT_EQ(this->namesIn(this->folder_->path() / "_mabre-l94"), Names{});
        EXPECT_EQ(errorOf([&] { this->dir_->copyFile(*this->dir_, "big.bin", "notes.txt", cancel); }), err::Cancelled);
    }
    EXPECT_EQ(readBytes(this->at("notes.txt")), "mine");

    // A copy's name longer than the file system takes is refused before
    // anything is copied.
    const std::string longName = std::string(120, 'n') + "\xe6\xbc\xa2\xe5\xad\x97" + std::string(130, 'n') + ".txt";
    bool copied = false;
    const auto watch = [&](std::uint64_t done, std::uint64_t) { copied = copied || done > 0; return true; };
    EXPECT_EQ(errorOf([&] { this->backup_->createCopy(*this->dir_, "big.bin", longName, attr::Archive, watch); }),
              err::NameTooLong);
    EXPECT_FALSE(copied);
    EXPECT_EQ(this->namesIn(this->folder_->path() / "_mabre-l94"), Names{});
    EXPECT_EQ(this->namesIn(this->folder_->path()), (Names{"_mabre-l94", "big.bin", "notes.txt"}));
}

}  // namespace
}  // namespace mabrel::platform
