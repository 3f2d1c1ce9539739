// The program's work with versions on the file systems that differ most:
// ext4, exFAT, NTFS and an SMB share, each mounted through its usual driver.
#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>

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

template <class T>
class ProgramOn : public WindowTest {
protected:
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

    static inline MountedFs* mounted_ = nullptr;
    static inline std::string whyNot_;
};

using Kinds = ::testing::Types<On<FsKind::Ext4>, On<FsKind::Exfat>, On<FsKind::Ntfs>, On<FsKind::Smb>>;
struct KindName {
    template <class T>
    static std::string GetName(int) {
        switch (T::kind) {
        case FsKind::Ext4: return "ext4";
        case FsKind::Exfat: return "exfat";
        case FsKind::Ntfs: return "ntfs";
        case FsKind::Smb: return "smb";
        default: return "?";
        }
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

    // Deleted, the copy is gone; nothing else was ever left beside them.
    this->window().cmdUpdate_Click();
    this->choose(this->rowOf("a.txt", "2021-06-07 08-09-10"), frm_rclick::kDelete);
    EXPECT_EQ(this->backupNames(), Strings{kCopyV1});
    EXPECT_EQ(this->namesIn(this->work.path()), (Strings{"_mabre-l94", "_mabre.l94", "a.txt"}));
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

}  // namespace
}  // namespace mabrel::test
