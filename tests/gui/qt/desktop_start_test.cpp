// The real executable on an X server under a real window manager, as a
// person meets it on Linux: a folder that takes long to read (the listing
// slowed by a shim), the drive chooser with a Linux path typed and with
// Escape, and 終了 where the typed comment cannot be saved (the folder a
// read-only mount in a mount namespace of the program's own).
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "support/program.h"
#include "support/temp_dir.h"
#include "support/x_desktop.h"

namespace mabrel::gui::test {
namespace {

namespace stdfs = std::filesystem;
using mabrel::test::TempDir;

// The program's controls in the client area at 96 dots per inch (15 twips a
// pixel): the left-hand ones stay where they are, the buttons follow the
// right edge.
constexpr int kFolderListLabelX = 30, kFolderListLabelY = 79;
constexpr int kRootNodeX = 30, kRootNodeY = 96;
constexpr int kFolderCommentX = 300, kFolderCommentY = 96;
constexpr int kListLeft = 170, kListTop = 160;  // below the list's header
constexpr int kStatusBarHeight = 18;
// The chooser's C:\ button.
constexpr int kDriveCX = 40, kDriveCY = 59;

QImage grab(unsigned long window) {
    return QGuiApplication::primaryScreen()->grabWindow(static_cast<WId>(window)).toImage();
}

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
    return image.width() * image.height() == 0 ? 100 : static_cast<int>(100 * black / (image.width() * image.height()));
}

std::vector<unsigned long> windowsOf(qint64 pid) {
    std::istringstream ids(x::run(QStringLiteral("xdotool"), {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                                              QStringLiteral("--pid"), QString::number(pid)}));
    std::vector<unsigned long> out;
    for (unsigned long id = 0; ids >> id;) out.push_back(id);
    return out;
}

void key(const char* keys) {
    x::run(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("--delay"), QStringLiteral("60"),
                                       QString::fromLatin1(keys)});
}

void type(const std::string& text) {
    x::run(QStringLiteral("xdotool"),
           {QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("20"), QString::fromStdString(text)});
}

std::string titleFor(const std::string& driveFolder) {
    return " " + QString::fromStdString(driveFolder).toUpper().toStdString();
}

class ProgramOnTheDesktop : public ::testing::Test {
protected:
    // The program on `folder`, with its listing slowed and the folder
    // mounted read-only where only the program sees it.
    void start(const stdfs::path& folder) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        env.insert(QStringLiteral("MABREL_SLOW_LIST"), QString::fromStdString(folder.string()));
        env.insert(QStringLiteral("MABREL_SLOW_LIST_MS"), QStringLiteral("10"));
        program = std::make_unique<Program>(runtime, env);
        const std::string script = "mount --bind \"$1\" \"$1\" && mount -o remount,bind,ro \"$1\" && "
                                   "LD_PRELOAD=\"$2\" exec \"$3\" \"$1\"";
        program->process.start(QStringLiteral("unshare"),
                               {QStringLiteral("--mount"), QStringLiteral("--propagation"), QStringLiteral("private"),
                                QStringLiteral("sh"), QStringLiteral("-c"), QString::fromStdString(script),
                                QStringLiteral("sh"), QString::fromStdString(folder.string()),
                                QStringLiteral(MABREL_SLOW_LISTING_SHIM), QString::fromStdString(program->exe().string())});
        ASSERT_TRUE(program->process.waitForStarted(10000));
        ASSERT_TRUE(x::waitUntil([&] { return (window = x::visibleWindowOf(program->process.processId())) != 0; }, 20000))
            << "no window";
    }
    // The window of the program titled `title`, 0 while there is none.
    unsigned long windowTitled(const std::string& title) const {
        for (const unsigned long w : windowsOf(program->process.processId())) {
            if (x::title(w) == title) return w;
        }
        return 0;
    }
    bool listFilled() const {
        const QImage shot = grab(window);
        return coloursIn(shot, QRect(kListLeft, kListTop, 300, 150)) > 4;
    }

    RuntimeDir runtime;
    TempDir work;
    std::unique_ptr<Program> program;
    unsigned long window = 0;
};

TEST_F(ProgramOnTheDesktop, ALongLoadPaintsAtOnceThePathsOfLinuxEscapeAndEndingWithoutTheComments) {
    const stdfs::path folder = work.mkdir("slow");
    for (int i = 0; i < 300; ++i) std::ofstream(folder / ("f" + std::to_string(i) + ".txt")) << i;
    stdfs::create_directory(folder / "sub");
    const std::string folderTitle = titleFor(work.drivePath() + "slow\\");
    ASSERT_NO_FATAL_FAILURE(start(folder));

    // While the folder is read (3 s): the window painted with its controls,
    // the list empty, the status bar telling; then the list filled, the
    // status bar saying something else.
    x::settle(800);
    const QImage during = grab(window);
    ASSERT_FALSE(during.isNull());
    EXPECT_LT(blackShare(during), 20) << "the window is not painted while the folder is read";
    EXPECT_LE(coloursIn(during, QRect(kListLeft, kListTop, 300, 150)), 2) << "the list shows rows before the end";
    const QRect statusBar(0, during.height() - kStatusBarHeight, during.width() / 3, kStatusBarHeight);
    EXPECT_GT(coloursIn(during, statusBar), 4) << "nothing in the status bar while the folder is read";
    EXPECT_FALSE(listFilled());
    ASSERT_TRUE(x::waitUntil([&] { return listFilled(); }, 30000)) << "the list was not filled";
    x::settle(300);
    const QImage after = grab(window);
    EXPECT_NE(after.copy(statusBar), during.copy(statusBar)) << "the status bar did not change at the end";
    EXPECT_EQ(x::title(window), folderTitle);

    // Escape in the drive chooser after a drive was clicked: nothing chosen.
    x::click(window, kFolderListLabelX, kFolderListLabelY);
    unsigned long chooser = 0;
    ASSERT_TRUE(x::waitUntil([&] { return (chooser = windowTitled(" ドライブリスト")) != 0; })) << "no drive chooser";
    x::click(chooser, kDriveCX, kDriveCY);
    x::settle(200);
    key("Escape");
    EXPECT_TRUE(x::waitUntil([&] { return windowTitled(" ドライブリスト") == 0; })) << "Escape left the chooser open";
    x::settle(500);
    EXPECT_EQ(x::title(window), folderTitle);

    // A Linux path typed into it: the folder in drive form, whose root node
    // then goes up to the folder above, not to the chooser.
    x::click(window, kFolderListLabelX, kFolderListLabelY);
    ASSERT_TRUE(x::waitUntil([&] { return (chooser = windowTitled(" ドライブリスト")) != 0; })) << "no drive chooser";
    x::settle(300);
    key("ctrl+a");
    type((folder / "sub").string());
    x::settle(300);
    key("Tab");
    x::settle(300);
    key("Return");
    const std::string subTitle = titleFor(work.drivePath() + "slow\\sub\\");
    EXPECT_TRUE(x::waitUntil([&] { return x::title(window) == subTitle; }, 10000)) << x::title(window);
    x::click(window, kRootNodeX, kRootNodeY);
    EXPECT_TRUE(x::waitUntil([&] { return x::title(window) == folderTitle; }, 20000)) << x::title(window);
    x::settle(300);
    EXPECT_EQ(windowTitled(" ドライブリスト"), 0u) << "the root node opened the chooser";
    ASSERT_TRUE(x::waitUntil([&] { return listFilled(); }, 30000));

    // A comment typed where it cannot be saved: 終了 tells so, then asks;
    // いいえ keeps the program, はい ends it.
    x::click(window, kFolderCommentX, kFolderCommentY);
    type("memo");
    const auto exitButton = [&] { x::click(window, x::width(window) - 118, 33); };
    for (const char* answer : {"alt+n", "alt+y"}) {
        SCOPED_TRACE(answer);
        exitButton();
        unsigned long box = 0;
        ASSERT_TRUE(x::waitUntil([&] { return (box = windowTitled("mabrel9-iv")) != 0; })) << "no message";
        key("Return");
        ASSERT_TRUE(x::waitUntil([&] {
            const unsigned long next = windowTitled("mabrel9-iv");
            return next != 0 && next != box;
        })) << "no question";
        x::settle(300);
        key(answer);
        x::settle(500);
        if (std::string(answer) == "alt+n") {
            EXPECT_EQ(program->process.state(), QProcess::Running) << "いいえ ended it";
        }
    }
    EXPECT_TRUE(program->process.state() == QProcess::NotRunning || program->process.waitForFinished(20000))
        << "はい did not end the program";
    EXPECT_EQ(program->process.exitCode(), 0);
    EXPECT_FALSE(stdfs::exists(folder / "_mabre.l94"));
}

}  // namespace
}  // namespace mabrel::gui::test
