// The failure-injecting wrapper over the real file system.
#include <gtest/gtest.h>

#include "platform/errors.h"
#include "support/fault_injection.h"
#include "platform/native.h"
#include "support/platform_error.h"
#include "support/temp_dir.h"

namespace mabrel::platform {
namespace {

using test::errorOf;

class FaultInjectionTest : public ::testing::Test {
protected:
    test::TempDir dir;
    std::unique_ptr<FileSystem> native = makeNativeFileSystem();
    FaultInjectingFileSystem fs{*native};
};

// The nth call fails once and touches nothing; a sticky fault fails every
// later call of any operation, and each failure is logged.
TEST_F(FaultInjectionTest, TheNthCallFailsOnceAStickyFaultEveryLaterCall) {
    const auto folder = fs.openDirectory(dir.drivePath());
    folder->writeFileAtomic("a.txt", "1");
    fs.failNthCall(FsOp::WriteFileAtomic, 2, err::DiskFull);
    folder->writeFileAtomic("a.txt", "2");
    EXPECT_EQ(errorOf([&] { folder->writeFileAtomic("a.txt", "3"); }), err::DiskFull);
    EXPECT_EQ(test::readBytes(dir.path() / "a.txt"), "2");
    folder->writeFileAtomic("a.txt", "4");  // used up
    EXPECT_EQ(test::readBytes(dir.path() / "a.txt"), "4");
    EXPECT_EQ(fs.calls(FsOp::WriteFileAtomic), 4);

    fs.failFromNthCall(FsOp::Any, 3, err::DeviceIo);
    fs.driveType("C:\\");
    EXPECT_EQ(folder->readFile("a.txt"), "4");
    EXPECT_EQ(errorOf([&] { folder->find("a.txt", 0); }), err::DeviceIo);
    EXPECT_EQ(errorOf([&] { folder->copyFile(*folder, "a.txt", "a2.txt"); }), err::DeviceIo);
    ASSERT_EQ(fs.failures().size(), 3u);
    EXPECT_EQ(fs.failures()[2].op, FsOp::CopyFile);
    EXPECT_EQ(fs.failures()[2].otherPath, dir.drivePath() + "a2.txt");
    fs.clear();
    EXPECT_EQ(folder->find("a.txt", 0)->size, 1);
}

TEST_F(FaultInjectionTest, PathRulesMatchEitherFileOfACopyAndFoldersOpenedFromOnesOpenedHere) {
    dir.write("a.txt", "a");
    dir.mkdir("_mabre-l94");
    const auto folder = fs.openDirectory(dir.drivePath());
    const auto backup = folder->openFolder("_mabre-l94", false);
    const std::string copy = "a_2000-01-01 00-00-00.txt";
    fs.failCallsOn(FsOp::CreateCopy, "_mabre-l94", err::PathNotFound);
    fs.failCallsOn(FsOp::Any, "b.txt", err::DeviceIo);
    EXPECT_EQ(errorOf([&] { backup->createCopy(*folder, "a.txt", copy, 33); }), err::PathNotFound);
    EXPECT_EQ(errorOf([&] { fs.attributes(dir.drivePath() + "b.txt"); }), err::DeviceIo);
    EXPECT_EQ(errorOf([&] { folder->readFile("b.txt"); }), err::DeviceIo);
    EXPECT_EQ(folder->readFile("a.txt"), "a");
    EXPECT_EQ(backup->list(0).size(), 0u);
    fs.clear();
    backup->createCopy(*folder, "a.txt", copy, 33);
    EXPECT_EQ(backup->list(0).size(), 1u);
    EXPECT_EQ(fs.calls(FsOp::CreateCopy), 2);
    EXPECT_EQ(fs.calls(FsOp::Any), 9);
    EXPECT_EQ(fs.failures()[0].otherPath, dir.drivePath() + "_mabre-l94\\" + copy);
}

}  // namespace
}  // namespace mabrel::platform
