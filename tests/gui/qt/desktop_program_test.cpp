// The real executable on an X server, under a real window manager or none,
// as a colleague of a team (an ordinary account) in the team's folder:
// files opened through the desktop (xdg-open) in an editor of the test's
// own that records its calls, edited as the person would, the window brought
// back through the window manager, the program ended and started again; a
// folder that takes long to read (the listing slowed by a shim) and is a
// read-only mount in a mount namespace of the program's own; two instances on
// one group folder, as two colleagues with umasks of their own have them,
// each using what the other made;
// and the program started
// without a display, on a relative path, a second time, and ended by SIGTERM.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <chrono>
#include <functional>
#include <memory>
#include <map>

#include "platform/native.h"
#include "platform/text.h"
#include "support/program.h"

namespace mabrel::gui::test {
namespace {

class DesktopOpen : public ::testing::Test {
protected:
    DesktopOpen() {
        recorder(home, "text/plain", home.path() / "editor.log");
        for (int i = 0; i < 2; ++i)
            setModificationTime(work.write(name(i), name(i) + " version 1"), 2024, 3, 1, 9, 0, i);
    }

    static std::string name(int i) { return "f" + std::to_string(i) + ".txt"; }
    // The copy of file i's first version.
    stdfs::path firstCopy(int i) const {
        return work.path() / "_mabre-l94" /
               ("f" + std::to_string(i) + "_2024-03-01 09-00-0" + std::to_string(i) + ".txt");
    }
    // What a load clears away (a temporary file an interrupted write left a
    // day ago): gone, a load ran since it was planted.
    stdfs::path marker() const { return work.path() / ".marker.mabrel-00000000-1-00000000~"; }
    void plantMarker() const {
        stdfs::last_write_time(work.write(marker().filename().string(), "cut short"),
                               stdfs::file_time_type::clock::now() - std::chrono::hours(48));
    }
    bool reloaded() const { return !stdfs::exists(marker()); }
    void startProgram(const stdfs::path& folder) {
        program = std::make_unique<Program>(runtime, personalDesktop(home));
        // The team's folder, whose files so far the person made.
        shareWithTeam(work.path(), program->account);
        ASSERT_TRUE(program->show(folder)) << "no window";
        window = program->window;
        const bool managed = x::windowManager() != "none";
        ASSERT_TRUE(!managed || x::waitUntil([&] { return x::isMaximised(window); })) << "not maximised";
        x::settle(500);  // the first layout and paint
    }
    // Opens row `row` with a double click; the desktop calls the editor with `file`.
    void open(int row, const stdfs::path& file) {
        const stdfs::path log = home.path() / "editor.log";
        const std::string before = stdfs::exists(log) ? readBytes(log) : "";
        x::click(window, kFileRowX, fileRowY(row), 2);
        ASSERT_TRUE(x::waitUntil([&] { return textOf(log) == before + file.string() + "\n"; })) << textOf(log);
    }
    // The window manager minimised the window at the open; brings it back.
    void bringBack() {
        ASSERT_TRUE(x::waitUntil([&] { return x::wmState(window) == "Iconic"; })) << "not minimised";
        x::settle(300);  // time for any state the window manager passes through
        x::activate(window);
        ASSERT_TRUE(x::waitUntil([&] { return x::wmState(window) == "Normal" && x::isViewable(window); }))
            << "the window did not come back";
        x::settle(300);  // the window manager may still be drawing it back
    }

    RuntimeDir runtime;
    TempDir home;
    TempDir work;
    std::unique_ptr<Program> program;
    unsigned long window = 0;
};

// Opened, the program ended with 終了 and started again, and only then the
// editor saves: the version before the edit is still there (when an open
// reloads is the window-manager test's). A file named in
// Shift_JIS, as a Windows archive leaves it (表 is 95 5C: its second byte is
// a "\\"), opens by its own bytes and keeps its comment through a save.
TEST_F(DesktopOpen, TheVersionBeforeAnEditOutlivesTheProgramEndedAndStartedAgainANameInShiftJisOpensByItsBytes) {
    ASSERT_NO_FATAL_FAILURE(startProgram(work.path()));
    ASSERT_NO_FATAL_FAILURE(open(0, work.path() / name(0)));
    EXPECT_EQ(textOf(firstCopy(0)), "f0.txt version 1");
    ASSERT_NO_FATAL_FAILURE(bringBack());
    // 終 了, at the window's top right left of 操作説明 (twips: 1070 wide
    // buttons, 80 apart, 90 from the top; 15 to the pixel).
    x::click(window, x::width(window) - (80 + 1070 + 80 + 1070 / 2) / 15, (90 + 825 / 2) / 15);
    ASSERT_TRUE(program->process.waitForFinished(60000)) << "終了 did not end the program";

    const std::string stem = "\x95\x5C\x8C\x76\x8E\x5A";  // 表計算
    setModificationTime(work.write(stem + ".txt", "version 1"), 2024, 3, 1, 9, 0, 0);
    const std::string record = stem + ".txt_2024-03-01 09-00-00,\x8F\x89\x94\xC5\r\n";  // 初版
    work.write("_mabre.l94", "\r\n" + record);
    plantMarker();
    ASSERT_NO_FATAL_FAILURE(startProgram(work.path()));
    ASSERT_TRUE(x::waitUntil([&] { return reloaded(); })) << "the start loaded nothing";
    setModificationTime(work.write(name(0), "f0.txt version 2"), 2024, 3, 2, 10, 0, 0);
    plantMarker();
    x::click(window, 100, 30);  // the refresh button
    ASSERT_TRUE(x::waitUntil([&] { return reloaded(); }));
    EXPECT_EQ(textOf(firstCopy(0)), "f0.txt version 1") << "the version before the edit";

    ASSERT_NO_FATAL_FAILURE(open(3, work.path() / (stem + ".txt")));  // below f0, its copy and f1
    EXPECT_EQ(textOf(work.path() / "_mabre-l94" / (stem + "_2024-03-01 09-00-00.txt")), "version 1");
    ASSERT_NO_FATAL_FAILURE(bringBack());
    x::click(window, 2490 / 15 + 20, 1320 / 15 + 8);  // the folder comment (twips 2490, 1320)
    x::type("typed");
    ASSERT_TRUE(program->terminated());
    EXPECT_EQ(textOf(work.path() / "_mabre.l94"), "typed\r\n" + record);
}

class DesktopOpenWithoutAWindowManager : public DesktopOpen {};

TEST_F(DesktopOpenWithoutAWindowManager, NothingReloadsUntilTheRefreshButton) {
    ASSERT_NO_FATAL_FAILURE(startProgram(work.path()));
    // Nobody maximises the window: it fills the screen by itself.
    EXPECT_TRUE(x::waitUntil([&] { return x::width(window) >= 1200; }));
    ASSERT_NO_FATAL_FAILURE(open(1, work.path() / name(1)));
    x::settle(500);
    // Nobody minimised the window; clicking into it (activating it) is no
    // coming back.
    EXPECT_TRUE(x::isViewable(window));
    plantMarker();
    x::click(window, 300, 100);
    x::settle(300);
    EXPECT_FALSE(reloaded());
    EXPECT_EQ(textOf(firstCopy(1)), "f1.txt version 1");
    x::click(window, 100, 30);  // the refresh button
    EXPECT_TRUE(x::waitUntil([&] { return reloaded(); }));
}

// Where the list's rows and the status bar are in the client area.
const QRect kListRows(170, 160, 300, 150);
constexpr int kStatusBarHeight = 18;

QImage grab(unsigned long window) {
    return QGuiApplication::primaryScreen()->grabWindow(static_cast<WId>(window)).toImage();
}

// How many pixels of each colour a part of the picture has: one or two
// colours for an empty list or a blank bar, many where text is drawn.
std::map<QRgb, int> coloursIn(const QImage& image, const QRect& area) {
    std::map<QRgb, int> colours;
    const QRect r = area.intersected(image.rect());
    for (int y = r.top(); y <= r.bottom(); ++y) {
        for (int x = r.left(); x <= r.right(); ++x) ++colours[image.pixel(x, y) | 0xFF000000u];
    }
    return colours;
}

TEST(ProgramOnTheDesktop, ALongLoadPaintsAtOnceThePathsOfLinuxAndEndingWithoutTheComments) {
    const RuntimeDir runtime;
    const TempDir work;
    const stdfs::path folder = work.mkdir("slow");
    for (int i = 0; i < 300; ++i) work.write("slow/f" + std::to_string(i) + ".txt", "x");
    work.mkdir("slow/sub");
    QProcessEnvironment env = desktopEnvironment();
    env.insert("MABREL_SLOW_LIST", QString::fromStdString(folder.string()));
    env.insert("MABREL_SLOW_LIST_MS", "10");
    Program program(runtime, env);
    // The folder mounted read-only where only the program sees it, its
    // listing slowed.
    const QString path = QString::fromStdString(folder.string());
    ASSERT_NO_FATAL_FAILURE(program.startWith(
        {path}, {"unshare", "--mount", "--propagation", "private", "sh", "-c",
                 "f=$1 shim=$2; shift 2; mount --bind \"$f\" \"$f\" && mount -o remount,bind,ro \"$f\" && "
                 "LD_PRELOAD=\"$shim\" exec \"$@\"",
                 "sh", path, MABREL_SLOW_LISTING_SHIM}));
    ASSERT_TRUE(program.waitForWindow()) << "no window";
    const unsigned long window = program.window;
    const auto windowTitled = [&](const std::string& title) {
        for (const unsigned long w : x::visibleWindowsOf(program.process.processId())) {
            if (x::title(w) == title) return w;
        }
        return 0ul;
    };
    const auto listFilled = [&] { return coloursIn(grab(window), kListRows).size() > 4; };

    // While the folder is read (3 s): the window painted with its controls,
    // the list empty, the status bar telling; then the list filled, the
    // status bar saying something else.
    x::settle(800);
    const QImage during = grab(window);
    ASSERT_FALSE(during.isNull());
    const QRect statusBar(0, during.height() - kStatusBarHeight, during.width() / 3, kStatusBarHeight);
    EXPECT_LT(coloursIn(during, during.rect())[0xFF000000u] * 5, during.width() * during.height())
        << "not painted while read";
    EXPECT_LE(coloursIn(during, kListRows).size(), 2u) << "the list shows rows before the end";
    EXPECT_GT(coloursIn(during, statusBar).size(), 4u) << "nothing in the status bar while the folder is read";
    ASSERT_TRUE(x::waitUntil(listFilled)) << "the list was not filled";
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
    EXPECT_TRUE(x::waitUntil([&] { return x::title(window) == titleFor(work.drivePath() + "slow\\sub\\"); }));
    // The root node; clicked again if the click did not take (one during the
    // sub-folder's load, slowed too, may be dropped on a busy machine).
    EXPECT_TRUE(x::waitUntil(
        [&] { return x::click(window, 30, 96), x::waitUntil([&] { return x::title(window) == folderTitle; }, 3000); },
        60000))
        << x::title(window);
    x::settle(300);
    EXPECT_EQ(windowTitled(" ドライブリスト"), 0u) << "the root node opened the chooser";
    ASSERT_TRUE(x::waitUntil(listFilled));

    // A comment typed where it cannot be saved: 終了 tells so, then asks;
    // いいえ keeps the program, a log-out (SIGTERM) while it asks ends it,
    // as はい would (the model's tests answer はい).
    x::click(window, 300, 96);  // the folder comment
    x::type("memo");
    for (const char* answer : {"alt+n", "SIGTERM"}) {
        SCOPED_TRACE(answer);
        x::click(window, x::width(window) - 118, 33);  // 終 了
        unsigned long box = 0;
        ASSERT_TRUE(x::waitUntil([&] { return (box = windowTitled("mabrel9-iv")) != 0; })) << "no message";
        x::key("Return");
        ASSERT_TRUE(x::waitUntil([&] { return windowTitled("mabrel9-iv") != 0 && windowTitled("mabrel9-iv") != box; }))
            << "no question";
        x::settle(300);
        if (answer == std::string("alt+n")) {
            x::key(answer);
            x::settle(500);
            EXPECT_EQ(program.process.state(), QProcess::Running) << "いいえ ended it";
        }
    }
    const bool ended = program.terminated();
    std::string shown;
    for (const unsigned long w : x::visibleWindowsOf(program.process.processId())) shown += " [" + x::title(w) + "]";
    ASSERT_TRUE(ended) << "the log-out did not end the program; it shows" << shown;
    EXPECT_EQ(program.process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.process.exitCode(), 0);
    EXPECT_FALSE(stdfs::exists(folder / "_mabre.l94"));
}

struct Person {
    explicit Person(const Account& a) : account(a) {}
    Account account;
    RuntimeDir runtime;
    TempDir home;
    std::unique_ptr<Program> program;
    // The window it shows besides its main window, 0 for none.
    unsigned long otherWindow() const {
        for (unsigned long w : x::visibleWindowsOf(program->process.processId())) {
            if (w != program->window) return w;
        }
        return 0;
    }
};

class TwoInstances : public ::testing::Test {
protected:
    void start(Person& p) {
        // As a colleague would: their own account, home, settings and editor.
        recorder(p.home, "text/plain", editorLog(p));
        p.program = std::make_unique<Program>(p.runtime, personalDesktop(p.home));
        p.program->account = p.account;
        ASSERT_TRUE(p.program->show(work.path()));
        x::settle(500);
    }
    static stdfs::path editorLog(const Person& p) { return p.home.path() / "editor.log"; }

    // What a colleague does to a row of the list.
    enum class Act { Refresh, Open, Comment, Restore, Delete, Compare };
    struct Step {
        Person* person;
        Act act;
        int row = 0;
        std::string text = {};             // the comment typed over what the box holds
        std::function<bool()> after = {};  // what the step leaves, waited for
    };
    void act(const Step& step) {
        Person& p = *step.person;
        x::activate(p.program->window);
        x::settle(200);
        if (step.act == Act::Refresh) {
            x::key("F5");
            x::settle(500);
            return;
        }
        x::click(p.program->window, kFileRowX, fileRowY(step.row));
        if (step.act == Act::Open) {
            ASSERT_NO_FATAL_FAILURE(open(p, step.row));
            ASSERT_TRUE(x::waitUntil(step.after));
            return;
        }
        // The row's menu; its buttons (twips) 90 from the left, 510 high,
        // at these tops.
        x::click(p.program->window, kFileRowX, fileRowY(step.row), 1, 3);
        unsigned long menu = 0;
        ASSERT_TRUE(x::waitUntil([&] { return (menu = p.otherWindow()) != 0; })) << "no context menu";
        x::settle(200);
        const std::map<Act, int> tops = {
            {Act::Comment, 90}, {Act::Restore, 690}, {Act::Delete, 1290}, {Act::Compare, 2490}};
        x::click(menu, 70, (tops.at(step.act) + 510 / 2) / 15);
        unsigned long shown = 0;
        const auto opened = [&] { return (shown = p.otherWindow()) != 0 && shown != menu; };
        if (step.act == Act::Comment) {
            ASSERT_TRUE(x::waitUntil(opened)) << "no input box";
            x::settle(200);
            x::key("ctrl+a");
            x::type(step.text);
            x::key("Return");
            ASSERT_TRUE(x::waitUntil([&] { return p.otherWindow() == 0; })) << "the input box stayed";
            // The comment is saved at once.
            ASSERT_TRUE(x::waitUntil(
                [&] { return textOf(commentFile()).find("," + step.text + "\r\n") != std::string::npos; }))
                << "not saved: " << step.text;
        } else if (step.act == Act::Compare) {
            ASSERT_TRUE(x::waitUntil(opened)) << "no compare window; it shows [" << x::title(p.otherWindow()) << "]";
            x::settle(500);
            EXPECT_NE(x::title(shown).find("d.txt"), std::string::npos) << x::title(shown);
            x::key("Escape");
        }
        // Done without a word: a message would be a window of its own.
        ASSERT_TRUE(x::waitUntil([&] { return p.otherWindow() == 0 && (!step.after || step.after()); }))
            << "it shows [" << x::title(p.otherWindow()) << "]";
    }
    // Double-clicks d's row: the editor gets the file, which the person
    // edits while the window is down, and brings the window back.
    void open(Person& p, int row) {
        const std::string before = stdfs::exists(editorLog(p)) ? textOf(editorLog(p)) : "";
        const std::string file = (work.path() / "d.txt").string();
        x::click(p.program->window, kFileRowX, fileRowY(row), 2);
        ASSERT_TRUE(x::waitUntil([&] { return textOf(editorLog(p)) == before + file + "\n"; })) << textOf(editorLog(p));
        ASSERT_TRUE(x::waitUntil([&] { return x::wmState(p.program->window) == "Iconic"; })) << "not minimised";
        setModificationTime(work.write("d.txt", "d v2"), 2024, 3, 2, 10, 0, 0);
        x::settle(300);
        x::activate(p.program->window);
        ASSERT_TRUE(x::waitUntil(
            [&] { return x::wmState(p.program->window) == "Normal" && x::isViewable(p.program->window); }));
        x::settle(300);
    }
    stdfs::path commentFile() const { return work.path() / "_mabre.l94"; }
    stdfs::path copyOf(const std::string& stamp) const {
        return work.path() / "_mabre-l94" / ("d_" + stamp + ".txt");
    }

    // The team's folder; what they do there, whatever the umask of each.
    TempDir work;
    Person one{colleague(1500, 077)};
    Person two{colleague(1600, 022)};
};

// Each takes what the other made: comments, and a file's copies, which one
// makes and the other compares, restores and deletes.
TEST_F(TwoInstances, EveryCommentTypedInEitherStaysTheLaterOneOnTheSameFileAndEachUsesTheOthersCopies) {
    ASSERT_EQ(::geteuid(), 0u) << "two colleagues need root to be made";
    for (const char* name : {"a.txt", "b.txt", "c.txt", "d.txt"})
        setModificationTime(work.write(name, std::string(name).substr(0, 1) + " v1"), 2024, 3, 1, 9, 0, 0);
    shareWithTeam(work.path(), one.account);
    ASSERT_NO_FATAL_FAILURE(start(one));
    ASSERT_NO_FATAL_FAILURE(start(two));
    const stdfs::path d = work.path() / "d.txt";
    const std::string v1 = "2024-03-01 09-00-00", v2 = "2024-03-02 10-00-00";
    const Step steps[] = {
        {&one, Act::Comment, 0, "one on a"},
        {&two, Act::Comment, 1, "two on b"},
        {&two, Act::Comment, 2, "two on c"},
        {&one, Act::Refresh},
        {&one, Act::Comment, 2, "one on c"},
        {&two, Act::Refresh},
        {&two, Act::Comment, 0, "two on a"},
        // One opens d and edits it; d's copy then stands above it, as the older.
        {&one, Act::Open, 3, "", [&] { return textOf(copyOf(v1)) == "d v1"; }},
        {&two, Act::Refresh},
        {&two, Act::Compare, 3},
        {&two, Act::Restore, 3, "", [&] { return textOf(d) == "d v1" && textOf(copyOf(v2)) == "d v2"; }},
        {&one, Act::Refresh},
        // Restored, d is its first version again, whose copy went as one
        // too many; its other copy below it.
        {&one, Act::Delete, 4, "", [&] { return !stdfs::exists(copyOf(v2)); }},
    };
    for (std::size_t i = 0; i < std::size(steps); ++i) {
        SCOPED_TRACE("step " + std::to_string(i));
        ASSERT_NO_FATAL_FAILURE(act(steps[i]));
    }
    for (Person* p : {&one, &two}) ASSERT_TRUE(p->program->terminated());
    EXPECT_EQ(textOf(commentFile()),
              "\r\na.txt_2024-03-01 09-00-00,two on a\r\n"
              "b.txt_2024-03-01 09-00-00,two on b\r\n"
              "c.txt_2024-03-01 09-00-00,one on c\r\n");
    EXPECT_EQ(textOf(d), "d v1");
    // Saved by the colleagues themselves, for the whole team.
    struct stat st{};
    ASSERT_EQ(::stat(commentFile().c_str(), &st), 0);
    EXPECT_TRUE(st.st_uid == one.account.uid || st.st_uid == two.account.uid) << st.st_uid;
    EXPECT_EQ(std::pair(st.st_gid, st.st_mode & 0060), std::pair(kTeam, 0060u));
}

// The program on its own: its answers on the terminal without a display,
// start-up on a relative path, a second start while one runs, termination.
TEST(ProcessWithoutAWindowManager, AnswersWithoutADisplayStartsOnARelativePathASecondTouchesNothingSigtermSaves) {
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
        ASSERT_NO_FATAL_FAILURE(program.startWith({argument}));
        ASSERT_TRUE(program.process.waitForFinished(60000)) << argument;
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
    ASSERT_TRUE(another.process.waitForFinished(60000));
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
