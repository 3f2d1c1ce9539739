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
using mabrel::test::TempDir;

class ProcessTest : public ::testing::Test {
protected:
    // Whether the program's settings file records `folder` as the last one.
    bool hasLastPath(const Program& program, const std::string& folder) const {
        const auto lines = platform::splitLines(readBytes(program.settings()));
        return std::find(lines.begin(), lines.end(), "lastPath," + *codec->toAnsi(folder)) != lines.end();
    }

    RuntimeDir runtime;
    TempDir work;
    std::unique_ptr<platform::Codec> codec = platform::makeNativeCodec();
};

TEST_F(ProcessTest, HelpAndVersionAnswerWithoutADisplayARelativePathIsTakenFromTheCurrentDirectoryAndSigtermSavesTheSettings) {
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

    // A relative path, from the current directory as any program of the
    // machine takes it, to a folder whose name needs quoting on any command
    // line; SIGTERM closes the window, so the settings are written.
    work.mkdir("作業 フォルダ");
    Program program(runtime);
    program.process.setWorkingDirectory(QString::fromStdString(work.path().string()));
    program.start("作業 フォルダ");
    ASSERT_TRUE(program.waitReady());
    program.terminate();
    ASSERT_TRUE(program.process.waitForFinished(20000));
    EXPECT_EQ(program.process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.process.exitCode(), 0);
    EXPECT_TRUE(hasLastPath(program, work.drivePath() + "作業 フォルダ\\")) << readBytes(program.settings());
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
    EXPECT_TRUE(hasLastPath(running, work.drivePath() + "first\\"));
}

}  // namespace
}  // namespace mabrel::gui::test
