// The real executable on an X server under a real window manager: a folder
// that takes long to read (the listing slowed by a shim), the drive chooser
// with a Linux path typed, and 終了 where the typed comment cannot be saved
// (the folder a read-only mount in a mount namespace of the program's own).
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <memory>
#include <set>

#include "support/program.h"

namespace mabrel::gui::test {
namespace {

namespace stdfs = std::filesystem;

// Where the list's rows and the status bar are in the client area.
const QRect kListRows(170, 160, 300, 150);
constexpr int kStatusBarHeight = 18;

QImage grab(unsigned long window) { return QGuiApplication::primaryScreen()->grabWindow(static_cast<WId>(window)).toImage(); }

// How many colours a part of the picture has: one or two for an empty list
// or a blank bar, many where text is drawn.
int coloursIn(const QImage& image, const QRect& area) {
    std::set<QRgb> colours;
    const QRect r = area.intersected(image.rect());
    for (int y = r.top(); y <= r.bottom(); ++y) {
        for (int x = r.left(); x <= r.right(); ++x) colours.insert(image.pixel(x, y));
    }
    return static_cast<int>(colours.size());
}

int blackShare(const QImage& image) {
    qint64 black = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) black += (image.pixel(x, y) & 0xFFFFFF) == 0;
    }
    return static_cast<int>(100 * black / std::max<qint64>(1, qint64{image.width()} * image.height()));
}

TEST(ProgramOnTheDesktop, ALongLoadPaintsAtOnceThePathsOfLinuxAndEndingWithoutTheComments) {
    const RuntimeDir runtime;
    const mabrel::test::TempDir work;
    const stdfs::path folder = work.mkdir("slow");
    for (int i = 0; i < 300; ++i) work.write("slow/f" + std::to_string(i) + ".txt", "x");
    work.mkdir("slow/sub");
    QProcessEnvironment env = desktopEnvironment();
    env.insert("MABREL_SLOW_LIST", QString::fromStdString(folder.string()));
    env.insert("MABREL_SLOW_LIST_MS", "10");
    Program program(runtime, env);
    // The folder mounted read-only where only the program sees it, its
    // listing slowed.
    program.process.start("unshare", {"--mount", "--propagation", "private", "sh", "-c",
                                      "mount --bind \"$1\" \"$1\" && mount -o remount,bind,ro \"$1\" && LD_PRELOAD=\"$2\" exec \"$3\" \"$1\"",
                                      "sh", QString::fromStdString(folder.string()), MABREL_SLOW_LISTING_SHIM,
                                      QString::fromStdString(program.exe().string())});
    ASSERT_TRUE(program.waitForWindow(20000)) << "no window";
    const unsigned long window = program.window;
    const auto windowTitled = [&](const std::string& title) {
        for (const unsigned long w : x::visibleWindowsOf(program.process.processId())) {
            if (x::title(w) == title) return w;
        }
        return 0ul;
    };
    const auto listFilled = [&] { return coloursIn(grab(window), kListRows) > 4; };

    // While the folder is read (3 s): the window painted with its controls,
    // the list empty, the status bar telling; then the list filled, the
    // status bar saying something else.
    x::settle(800);
    const QImage during = grab(window);
    ASSERT_FALSE(during.isNull());
    const QRect statusBar(0, during.height() - kStatusBarHeight, during.width() / 3, kStatusBarHeight);
    EXPECT_LT(blackShare(during), 20) << "the window is not painted while the folder is read";
    EXPECT_LE(coloursIn(during, kListRows), 2) << "the list shows rows before the end";
    EXPECT_GT(coloursIn(during, statusBar), 4) << "nothing in the status bar while the folder is read";
    ASSERT_TRUE(x::waitUntil(listFilled, 30000)) << "the list was not filled";
    x::settle(300);
    EXPECT_NE(grab(window).copy(statusBar), during.copy(statusBar)) << "the status bar did not change at the end";
    const std::string folderTitle = titleFor(work.drivePath() + "slow\\");
    EXPECT_EQ(x::title(window), folderTitle);

    // A Linux path typed into the drive chooser: the folder in drive form,
    // whose root node then goes up to the folder above, not to the chooser.
    x::click(window, 30, 79);  // the folder list label
    ASSERT_TRUE(x::waitUntil([&] { return windowTitled(" ドライブリスト") != 0; })) << "no drive chooser";
    x::settle(300);
    x::key("ctrl+a");
    x::type((folder / "sub").string());
    for (const char* key : {"Tab", "Return"}) {
        x::settle(300);
        x::key(key);
    }
    EXPECT_TRUE(x::waitUntil([&] { return x::title(window) == titleFor(work.drivePath() + "slow\\sub\\"); }, 10000));
    x::click(window, 30, 96);  // the root node
    EXPECT_TRUE(x::waitUntil([&] { return x::title(window) == folderTitle; }, 20000)) << x::title(window);
    x::settle(300);
    EXPECT_EQ(windowTitled(" ドライブリスト"), 0u) << "the root node opened the chooser";
    ASSERT_TRUE(x::waitUntil(listFilled, 30000));

    // A comment typed where it cannot be saved: 終了 tells so, then asks;
    // いいえ keeps the program, はい ends it.
    x::click(window, 300, 96);  // the folder comment
    x::type("memo");
    for (const char* answer : {"alt+n", "alt+y"}) {
        SCOPED_TRACE(answer);
        x::click(window, x::width(window) - 118, 33);  // 終 了
        unsigned long box = 0;
        ASSERT_TRUE(x::waitUntil([&] { return (box = windowTitled("mabrel9-iv")) != 0; })) << "no message";
        x::key("Return");
        ASSERT_TRUE(x::waitUntil([&] { return windowTitled("mabrel9-iv") != 0 && windowTitled("mabrel9-iv") != box; })) << "no question";
        x::settle(300);
        x::key(answer);
        x::settle(500);
        if (answer == std::string("alt+n")) {
            EXPECT_EQ(program.process.state(), QProcess::Running) << "いいえ ended it";
        }
    }
    EXPECT_TRUE(program.process.state() == QProcess::NotRunning || program.process.waitForFinished(20000)) << "はい did not end the program";
    EXPECT_EQ(program.process.exitCode(), 0);
    EXPECT_FALSE(stdfs::exists(folder / "_mabre.l94"));
}

}  // namespace
}  // namespace mabrel::gui::test
