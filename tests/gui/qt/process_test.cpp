// The real executable in a process of its own, on Qt's offscreen platform:
// its answers on the terminal, start-up on a relative path, a second start
// while one runs, and termination.
#include <gtest/gtest.h>

#include "platform/native.h"
#include "platform/text.h"
#include "support/program.h"

namespace mabrel::gui::test {
namespace {

TEST(ProcessTest, AnswersWithoutADisplayStartsOnARelativePathASecondStartTouchesNothingAndSigtermSaves) {
    const RuntimeDir runtime;
    const TempDir work;
    // No display at all: a window would not start.
    QProcessEnvironment bare = QProcessEnvironment::systemEnvironment();
    for (const char* var : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) bare.remove(var);
    const std::pair<const char*, std::string> answers[] = {
        {"--version", "mabrel9-iv 4.0.9\n"}, {"--help", "使い方: mabrel9-iv [フォルダーまたはファイル]\n"}};
    for (const auto& [argument, begins] : answers) {
        Program program(runtime, bare);
        program.process.setProcessChannelMode(QProcess::SeparateChannels);
        program.process.start(QString::fromStdString(program.exe().string()), {argument});
        ASSERT_TRUE(program.process.waitForFinished(10000)) << argument;
        EXPECT_EQ(program.process.exitCode(), 0) << argument;
        EXPECT_EQ(program.process.readAllStandardOutput().toStdString().rfind(begins, 0), 0u) << argument;
        EXPECT_FALSE(stdfs::exists(program.settings()));
    }

    // A relative path, taken from the current directory, to a folder whose
    // name needs quoting on any command line.
    work.mkdir("作業 フォルダ");
    Program running(runtime);
    running.process.setWorkingDirectory(QString::fromStdString(work.path().string()));
    running.start("作業 フォルダ");
    ASSERT_TRUE(running.waitReady());

    const stdfs::path second = work.mkdir("second");
    Program another(runtime);
    another.start(second);
    ASSERT_TRUE(another.process.waitForFinished(10000));
    EXPECT_EQ(another.process.exitCode(), 0);
    EXPECT_FALSE(stdfs::exists(another.settings()));
    EXPECT_TRUE(stdfs::is_empty(second));
    EXPECT_EQ(running.process.state(), QProcess::Running);

    // SIGTERM closes the window, so the settings are written.
    ASSERT_TRUE(running.terminated());
    EXPECT_EQ(running.process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(running.process.exitCode(), 0);
    const auto lines = platform::splitLines(readBytes(running.settings()));
    const std::string last = "lastPath," + *platform::makeNativeCodec()->toAnsi(work.drivePath() + "作業 フォルダ\\");
    EXPECT_NE(std::find(lines.begin(), lines.end(), last), lines.end()) << readBytes(running.settings());
}

}  // namespace
}  // namespace mabrel::gui::test
