// The program's work with versions on the file systems that differ most:
// ext4, exFAT, NTFS and an SMB share, each mounted through its usual driver.
// The Windows program's core runs the same cases under Wine on the same
// mounts: the Linux test mounts each and starts it there with the folder.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>

#include "app/window_fixture.h"
#include "backup/frm_rclick.h"
#include "mounted_fs.h"

namespace mabrel::test {
namespace {

using Strings = std::vector<std::string>;
constexpr char kV1[] = "2020-01-02 03-04-05";
constexpr char kCopyV1[] = "a_2020-01-02 03-04-05.txt";
constexpr char kCopyV2[] = "a_2021-06-07 08-09-10.txt";

template <FsKind K>
struct On {
    static constexpr FsKind kind = K;
};

const char* shortName(FsKind kind) {
    switch (kind) {
    case FsKind::Ext4: return "ext4";
    case FsKind::Exfat: return "exfat";
    case FsKind::Ntfs: return "ntfs";
    case FsKind::Smb: return "smb";
    default: return "other";
    }
}

template <class T>
class ProgramOn : public WindowTest {
protected:
#ifdef _WIN32
    // Under Wine: the folder the Linux test mounted, for its kind only.
    static void SetUpTestSuite() {
        const char* root = std::getenv("MABREL_TEST_FS_ROOT");
        const char* kind = std::getenv("MABREL_TEST_FS_KIND");
        mounted_ = root && kind && std::string(kind) == shortName(T::kind);
        whyNot_ = "run by the Linux test on a mounted file system";
        if (mounted_) WindowTest::workParent() = root;
    }
    static void TearDownTestSuite() { WindowTest::workParent() = std::filesystem::temp_directory_path(); }
    static inline bool mounted_ = false;
#else
    static void SetUpTestSuite() {
        std::string whyNot;
        mounted_ = MountedFs::make(T::kind, whyNot).release();
        whyNot_ = whyNot;
        WindowTest::workParent() = mounted_ ? mounted_->root() : std::filesystem::temp_directory_path();
    }
    static void TearDownTestSuite() {
        delete mounted_;
        mounted_ = nullptr;
        WindowTest::workParent() = std::filesystem::temp_directory_path();
    }
    static inline MountedFs* mounted_ = nullptr;
#endif
    void SetUp() override {
        if (!mounted_) GTEST_SKIP() << whyNot_;
    }
    void choose(int row, int index) {
        ASSERT_GE(row, 0);
        select({row});
        ui.rclickScripts.push_back([index](frm_rclick& m) { m.Command1_Click(index); });
        window().lvwFiles_MouseUp(kRightButton, 0, 10, 10);
    }
    std::string a() const { return readBytes(work.path() / "a.txt"); }

    static inline std::string whyNot_;
};

using Kinds = ::testing::Types<On<FsKind::Ext4>, On<FsKind::Exfat>, On<FsKind::Ntfs>, On<FsKind::Smb>>;
struct KindName {
    template <class T>
    static std::string GetName(int) {
        return shortName(T::kind);
    }
};
TYPED_TEST_SUITE(ProgramOn, Kinds, KindName);

TYPED_TEST(ProgramOn, OpenRestartEditRestoreCommentAndDeleteKeepEveryVersionAndLeaveNothingElse) {
    this->file("a.txt", "one", 2020, 1, 2, 3, 4, 5);
    this->startIn(this->root);
    // Opened: its version is kept first.
    this->select({this->rowOf("a.txt")});
    this->window().lvwFiles_DblClick();
    ASSERT_EQ(this->ui.messages, Strings{});
    ASSERT_EQ(this->backupNames(), Strings{kCopyV1});
    EXPECT_EQ(readBytes(this->work.path() / "_mabre-l94" / kCopyV1), "one");

    // The program is started again six days later, before the editor saves:
    // the version before the edit is still there afterwards.
    this->process.utcClock = std::time(nullptr) + 6 * 86400;
    this->nextRun();
    EXPECT_EQ(this->backupNames(), Strings{kCopyV1});
    this->process.utcClock.reset();
    this->file("a.txt", "two", 2021, 6, 7, 8, 9, 10);
    this->window().cmdUpdate_Click();
    ASSERT_GE(this->rowOf("a.txt", kV1), 0);

    // Its comment is saved; a restore secures the present version first.
    this->ui.inputAnswers = {std::string("before the edit")};
    this->choose(this->rowOf("a.txt", kV1), frm_rclick::kComment);
    EXPECT_NE(this->commentBytes().find("a.txt_2020-01-02 03-04-05,before the edit\r\n"), std::string::npos);
    this->choose(this->rowOf("a.txt", kV1), frm_rclick::kRestore);
    EXPECT_EQ(this->a(), "one");
    EXPECT_EQ(readBytes(this->work.path() / "_mabre-l94" / kCopyV2), "two");

    // Deleted, the copy is gone; nothing else was ever left beside them but
    // the comment saves' lock file, which stays so that every instance
    // locks the same file.
    this->window().cmdUpdate_Click();
    this->choose(this->rowOf("a.txt", "2021-06-07 08-09-10"), frm_rclick::kDelete);
    EXPECT_EQ(this->backupNames(), Strings{kCopyV1});
    EXPECT_EQ(this->namesIn(this->work.path()), (Strings{"_mabre-l94", "_mabre.l94", "_mabre.l94.lock", "a.txt"}));
    EXPECT_EQ(this->ui.messages, Strings{});
}

TYPED_TEST(ProgramOn, AnUnchangedCopyGoesAWeekAfterItWasTakenOnlyWhereItsAgeCanBeTold) {
    this->file("a.txt", "one", 2020, 1, 2, 3, 4, 5);
    this->startIn(this->root);
    this->select({this->rowOf("a.txt")});
    this->window().lvwFiles_DblClick();
    ASSERT_EQ(this->backupNames(), Strings{kCopyV1});
    this->process.utcClock = std::time(nullptr) + 8 * 86400;
    this->nextRun();
    // exFAT and smbnetfs keep no time of the copy's own: it stays.
    const bool ageKept = TypeParam::kind == FsKind::Ext4 || TypeParam::kind == FsKind::Ntfs;
    EXPECT_EQ(this->backupNames(), ageKept ? Strings{} : Strings{kCopyV1});
    EXPECT_EQ(this->ui.messages, Strings{});
}

#ifndef _WIN32
// The same cases for the Windows program, under Wine on this mount, where
// the cross build has made its test program.
TYPED_TEST(ProgramOn, TheWindowsProgramKeepsTheSameUnderWine) {
    const char* exe = std::getenv("MABREL_WINE_PROGRAM_TESTS");
    if (!exe || !std::filesystem::exists(exe)) GTEST_SKIP() << "no Windows test program (MABREL_WINE_PROGRAM_TESTS)";
    // Wine renames and deletes a file through the descriptor it holds open,
    // which smbnetfs refuses (EBUSY): the open fails and its temporary stays.
    // A fault of this pairing, not met on Windows' own SMB client; not mended.
    if (TypeParam::kind == FsKind::Smb) GTEST_SKIP() << "Wine on smbnetfs cannot rename or delete an open file";
    std::string root = "Z:" + this->mounted_->root().string();
    for (auto& c : root) c = c == '/' ? '\\' : c;
    const auto log = std::filesystem::path(this->exeDir.path()) / "wine.log";
    const std::string command = "MABREL_TEST_FS_ROOT='" + root + "' MABREL_TEST_FS_KIND='" + shortName(TypeParam::kind) +
                                "' '" MABREL_SOURCE_DIR "/scripts/wine-run.sh' '" + exe +
                                "' --gtest_filter='*/" + shortName(TypeParam::kind) + ".*' >'" +
                                log.string() + "' 2>&1";
    const int status = std::system(command.c_str());
    std::ifstream in(log);
    const std::string output((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(status, 0) << output;
    EXPECT_NE(output.find("[  PASSED  ] 2 tests."), std::string::npos) << output;
}
#endif

}  // namespace
}  // namespace mabrel::test
