// The failure-injecting wrapper over the real file system.
#include <gtest/gtest.h>

#include "platform/errors.h"
#include "platform/fault_injection.h"
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

TEST_F(FaultInjectionTest, TheNthCallFailsOnceAndTouchesNothing) {
    const std::string a = dir.drivePath() + "a.txt";
    fs.writeFileAtomic(a, "1");
    fs.failNthCall(FsOp::WriteFileAtomic, 2, err::DiskFull);
    fs.writeFileAtomic(a, "2");
    EXPECT_EQ(errorOf([&] { fs.writeFileAtomic(a, "3"); }), err::DiskFull);
    EXPECT_EQ(test::readBytes(dir.path() / "a.txt"), "2");
    fs.writeFileAtomic(a, "4");  // used up
    EXPECT_EQ(test::readBytes(dir.path() / "a.txt"), "4");
    EXPECT_EQ(fs.calls(FsOp::WriteFileAtomic), 4);
    EXPECT_EQ(fs.calls(FsOp::ReadFile), 0);
}

TEST_F(FaultInjectionTest, PathRulesMatchEitherPathUntilCleared) {
    dir.write("a.txt", "a");
    dir.mkdir("_mabre-l94");
    const std::string a = dir.drivePath() + "a.txt";
    const std::string copy = dir.drivePath() + "_mabre-l94\\a_2000-01-01 00-00-00.txt";
    fs.failCallsOn(FsOp::CopyFile, "_mabre-l94", err::PathNotFound);
    fs.failCallsOn(FsOp::Any, "b.txt", err::DeviceIo);
    EXPECT_EQ(errorOf([&] { fs.copyFile(a, copy); }), err::PathNotFound);
    EXPECT_EQ(errorOf([&] { fs.copyFile(a, copy); }), err::PathNotFound);
    EXPECT_EQ(errorOf([&] { fs.attributes(dir.drivePath() + "b.txt"); }), err::DeviceIo);
    EXPECT_EQ(fs.readFile(a), "a");
    EXPECT_EQ(fs.list(dir.drivePath() + "_mabre-l94", 0).size(), 0u);
    fs.clear();
    fs.copyFile(a, copy);
    EXPECT_EQ(fs.list(dir.drivePath() + "_mabre-l94", 0).size(), 1u);
    EXPECT_EQ(fs.calls(FsOp::CopyFile), 3);
    EXPECT_EQ(fs.calls(FsOp::Any), 7);
}

TEST_F(FaultInjectionTest, AnyCountsEveryOperation) {
    fs.failNthCall(FsOp::Any, 3, err::DiskNotReady);
    EXPECT_EQ(fs.driveType("C:\\"), 3u);
    EXPECT_FALSE(fs.find(dir.drivePath() + "x", 0));
    EXPECT_EQ(errorOf([&] { fs.list(dir.drivePath(), 0); }), err::DiskNotReady);
    EXPECT_EQ(errorOf([&] { fs.failNthCall(FsOp::Find, 0, 5); }), err::InvalidArgument);
}

TEST_F(FaultInjectionTest, AStickyFaultFailsEveryLaterCallAndEachFailureIsLogged) {
    const std::string a = dir.drivePath() + "a.txt";
    fs.writeFileAtomic(a, "1");
    fs.failFromNthCall(FsOp::Any, 2, err::DeviceIo);
    EXPECT_EQ(fs.readFile(a), "1");
    EXPECT_EQ(errorOf([&] { fs.fileSize(a); }), err::DeviceIo);
    EXPECT_EQ(errorOf([&] { fs.copyFile(a, a + "2"); }), err::DeviceIo);
    ASSERT_EQ(fs.failures().size(), 2u);
    EXPECT_EQ(fs.failures()[1].op, FsOp::CopyFile);
    EXPECT_EQ(fs.failures()[1].otherPath, a + "2");
    fs.clear();
    EXPECT_EQ(fs.fileSize(a), 1);
    EXPECT_EQ(fs.failures().size(), 2u);
}

}  // namespace
}  // namespace mabrel::platform
