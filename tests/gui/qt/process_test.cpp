// The real executable in a process of its own, on Qt's offscreen platform:
// start-up, termination, a second instance, its answers on the terminal.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "platform/native.h"
#include "platform/text.h"
#include "support/program.h"
#include "support/temp_dir.h"

namespace mabrel::gui::test {
namespace {

namespace stdfs = std::filesystem;
using mabrel::test::readBytes;
using mabrel::test::setModificationTime;
using mabrel::test::TempDir;

class ProcessTest : public ::testing::Test {
protected:
    std::string ansi(const std::string& utf8) const { return *codec->toAnsi(utf8); }

    RuntimeDir runtime;
    TempDir work;
    std::unique_ptr<platform::Codec> codec = platform::makeNativeCodec();
};

TEST_F(ProcessTest, SigtermClosesTheWindowSoSettingsAreWrittenAndUnchangedCommentsAreNot) {
    // A folder whose name needs quoting on any command line.
    const stdfs::path folder = work.mkdir("作業 フォルダ");
    std::ofstream(folder / "notes.txt") << "one";
    setModificationTime(folder / "notes.txt", 2024, 3, 1, 9, 5, 3);
    const std::string comments =
        ansi("フォルダのメモ") + "\r\n" + ansi("notes.txt_2024-03-01 09-05-03,初版") + "\r\n";
    std::ofstream(folder / "_mabre.l94", std::ios::binary) << comments;
    setModificationTime(folder / "_mabre.l94", 2000, 1, 1, 0, 0, 0);
    const auto before = stdfs::last_write_time(folder / "_mabre.l94");

    Program program(runtime);
    program.start(folder);
    ASSERT_TRUE(program.waitReady());
    program.terminate();
    ASSERT_TRUE(program.process.waitForFinished(20000));
    EXPECT_EQ(program.process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.process.exitCode(), 0);

    const auto lines = platform::splitLines(readBytes(program.settings()));
    ASSERT_EQ(lines.size(), 8u);
    EXPECT_EQ(readBytes(program.settings()).find('\n'), readBytes(program.settings()).find("\r\n") + 1);
    EXPECT_NE(std::find(lines.begin(), lines.end(), "lastPath," + ansi(work.drivePath() + "作業 フォルダ\\")), lines.end())
        << readBytes(program.settings());
    // Nothing changed in it: not written.
    EXPECT_EQ(stdfs::last_write_time(folder / "_mabre.l94"), before);
    EXPECT_EQ(readBytes(folder / "_mabre.l94"), comments);
}

TEST_F(ProcessTest, HelpAndVersionAnswerOnTheTerminalWithoutADisplayARelativePathIsTakenFromTheCurrentDirectory) {
    // No display at all: a window would not start.
    QProcessEnvironment bare = QProcessEnvironment::systemEnvironment();
    for (const char* var : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) bare.remove(QString::fromLatin1(var));
    const struct {
        const char* argument;
        const char* begins;
    } answers[] = {{"--version", "mabrel9-iv 4.0.9\n"}, {"--help", "使い方: mabrel9-iv [フォルダーまたはファイル]\n"}};
    for (const auto& a : answers) {
        Program program(runtime, bare);
        program.process.setProcessChannelMode(QProcess::SeparateChannels);
        program.process.start(QString::fromStdString(program.exe().string()), {QString::fromLatin1(a.argument)});
        ASSERT_TRUE(program.process.waitForFinished(10000)) << a.argument;
        EXPECT_EQ(program.process.exitCode(), 0) << a.argument;
        EXPECT_EQ(program.process.readAllStandardOutput().toStdString().rfind(a.begins, 0), 0u) << a.argument;
        EXPECT_FALSE(stdfs::exists(program.settings()));
    }

    // "sub" from the current directory, as any program of the machine takes it.
    work.mkdir("sub");
    Program program(runtime);
    program.process.setWorkingDirectory(QString::fromStdString(work.path().string()));
    program.start("sub");
    ASSERT_TRUE(program.waitReady());
    program.terminate();
    ASSERT_TRUE(program.process.waitForFinished(20000));
    const auto lines = platform::splitLines(readBytes(program.settings()));
    EXPECT_NE(std::find(lines.begin(), lines.end(), "lastPath," + work.drivePath() + "sub\\"), lines.end())
        << readBytes(program.settings());
}

TEST_F(ProcessTest, ASecondStartWhileOneRunsEndsAtOnceTouchingNothing) {
    const stdfs::path first = work.mkdir("first");
    const stdfs::path second = work.mkdir("second");
    std::ofstream(second / "kept.txt") << "x";

    Program running(runtime);
    running.start(first);
    ASSERT_TRUE(running.waitReady());

    Program another(runtime);
    another.start(second);
    ASSERT_TRUE(another.process.waitForFinished(10000));
    EXPECT_EQ(another.process.exitCode(), 0);
    EXPECT_FALSE(stdfs::exists(another.settings()));
    EXPECT_FALSE(stdfs::exists(second / "_mabre.l94"));
    EXPECT_FALSE(stdfs::exists(second / "_mabre-l94"));
    EXPECT_EQ(running.process.state(), QProcess::Running);

    running.terminate();
    ASSERT_TRUE(running.process.waitForFinished(20000));
    const auto lines = platform::splitLines(readBytes(running.settings()));
    EXPECT_NE(std::find(lines.begin(), lines.end(), "lastPath," + work.drivePath() + "first\\"), lines.end());
}

}  // namespace
}  // namespace mabrel::gui::test
