// The real executable on an X server, with a real window manager or none,
// opening files through the desktop (xdg-open). The desktop's editor for
// text files is a script of the test's own that records its calls; the test
// edits the files as the person would, and brings the window back through
// the window manager.
#include <gtest/gtest.h>

#include <QTest>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "support/program.h"
#include "support/temp_dir.h"
#include "support/x_desktop.h"

namespace mabrel::gui::test {
namespace {

namespace stdfs = std::filesystem;
using mabrel::test::readBytes;
using mabrel::test::setModificationTime;
using mabrel::test::TempDir;

// Files f0.txt to f5.txt, each opened once, the last first: the rows before
// the one opened are then files that were never opened, one row each, in
// whatever state the earlier opens left their copies. Several opens, as a
// window manager minimising a maximised window may pass through a normal
// state on some of them only.
constexpr int kFiles = 6;
// The file list's first row in the window's client area at 96 dots per
// inch, and the height of a row, in pixels.
constexpr int kFirstRowX = 200;
constexpr int kFirstRowY = 160;
constexpr int kRowHeight = 18;

class DesktopOpen : public ::testing::Test {
protected:
    DesktopOpen() {
        const stdfs::path editor = home.write("editor.sh", "#!/bin/sh\nprintf '%s\\n' \"$1\" >> '" +
                                                               (home.path() / "editor.log").string() + "'\n");
        stdfs::permissions(editor, stdfs::perms::owner_all);
        home.write("data/applications/mabrel-test-editor.desktop",
                   "[Desktop Entry]\nType=Application\nName=Test editor\nExec=" + editor.string() +
                       " %f\nMimeType=text/plain;\n");
        for (int i = 0; i < kFiles; ++i) {
            setModificationTime(work.write(name(i), content(i, 1)), 2024, 3, 1, 9, 0, i);
        }
    }

    static std::string name(int i) { return "f" + std::to_string(i) + ".txt"; }
    static std::string content(int i, int version) {
        return name(i) + " version " + std::to_string(version);
    }
    // The copy of file i's first version.
    stdfs::path firstCopy(int i) const {
        return work.path() / "_mabre-l94" / ("f" + std::to_string(i) + "_2024-03-01 09-00-0" + std::to_string(i) + ".txt");
    }
    // What a load clears away (a temporary file an interrupted write left a
    // day ago): gone, a load ran since it was planted.
    stdfs::path marker() const { return work.path() / ".marker.mabrel-00000000-1-00000000~"; }
    void plantMarker() const {
        const auto p = work.write(marker().filename().string(), "left by a write cut short");
        stdfs::last_write_time(p, stdfs::file_time_type::clock::now() - std::chrono::hours(48));
    }
    bool reloaded() const { return !stdfs::exists(marker()); }
    // The program may delete a copy at any moment.
    static std::string contentOf(const stdfs::path& p) {
        try {
            return readBytes(p);
        } catch (const std::exception&) {
            return "(no such file)";
        }
    }
    std::vector<std::string> editorCalls() const {
        std::vector<std::string> calls;
        std::ifstream log(home.path() / "editor.log");
        for (std::string line; std::getline(log, line);) calls.push_back(line);
        return calls;
    }

    // Starts the program on the work folder, or on `folder`.
    void startProgram(const stdfs::path& folder = {}) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        env.insert(QStringLiteral("XDG_DATA_HOME"), QString::fromStdString((home.path() / "data").string()));
        // A desktop without a name: xdg-open goes by the association above.
        for (const char* var : {"XDG_CURRENT_DESKTOP", "DESKTOP_SESSION", "KDE_FULL_SESSION",
                                "GNOME_DESKTOP_SESSION_ID", "BROWSER"}) {
            env.remove(QString::fromLatin1(var));
        }
        program = std::make_unique<Program>(runtime, env);
        // The desktop's choice of editor, in the program's configuration folder.
        program->dir.write("config/mimeapps.list", "[Default Applications]\ntext/plain=mabrel-test-editor.desktop\n");
        program->start(folder.empty() ? work.path() : folder);
        ASSERT_TRUE(program->waitReady());
        ASSERT_TRUE(x::waitUntil([&] { return (window = x::visibleWindowOf(program->process.processId())) != 0; },
                                 10000))
            << "no window";
        if (x::windowManager() != "none") {
            ASSERT_TRUE(x::waitUntil([&] { return x::isMaximised(window); })) << "not maximised";
        }
        x::settle(500);  // the first layout and paint
    }

    // Opens file i with a double click on its row; waits until the desktop
    // has called the editor with it.
    void open(int i) {
        const std::size_t callsBefore = editorCalls().size();
        x::click(window, kFirstRowX, kFirstRowY + kRowHeight * i, 2);
        ASSERT_TRUE(x::waitUntil([&] { return editorCalls().size() > callsBefore; })) << "the editor was not called";
        EXPECT_EQ(editorCalls().back(), (work.path() / name(i)).string());
        EXPECT_EQ(contentOf(firstCopy(i)), content(i, 1)) << "the copy of the version opened";
    }
    // Opens file i; the window manager minimises the window, and nothing
    // reloads meanwhile.
    void openAndLeave(int i) {
        plantMarker();
        ASSERT_NO_FATAL_FAILURE(open(i));
        ASSERT_TRUE(x::waitUntil([&] { return x::wmState(window) == "Iconic"; })) << "not minimised";
        x::settle(300);  // time for any state the window manager passes through
        EXPECT_FALSE(reloaded()) << "reloaded before the window came back";
        EXPECT_EQ(contentOf(firstCopy(i)), content(i, 1)) << "the copy of the version opened";
    }
    // Brings the window back from the task bar; the reload then runs.
    void bringBack() {
        x::activate(window);
        ASSERT_TRUE(x::waitUntil([&] { return x::wmState(window) == "Normal" && x::isViewable(window); }))
            << "the window did not come back";
        ASSERT_TRUE(x::waitUntil([&] { return reloaded(); })) << "no reload when the window came back";
        x::settle(300);  // the window manager may still be drawing it back
    }
    void edit(int i) { setModificationTime(work.write(name(i), content(i, 2)), 2024, 3, 2, 10, 0, i); }

    RuntimeDir runtime;
    TempDir home;
    TempDir work;
    std::unique_ptr<Program> program;
    unsigned long window = 0;
};

// Edited while the window is away (odd files) or after it came back (even
// files).
TEST_F(DesktopOpen, AnEditBeforeOrAfterTheReturnKeepsTheOldVersionAndReloadsOnlyOnReturn) {
    startProgram();
    for (int i = kFiles - 1; i >= 0; --i) {
        SCOPED_TRACE(name(i));
        const bool editFirst = i % 2 == 1;
        ASSERT_NO_FATAL_FAILURE(openAndLeave(i));
        if (editFirst) edit(i);
        ASSERT_NO_FATAL_FAILURE(bringBack());
        if (!editFirst) {
            plantMarker();
            edit(i);
            x::settle(200);
            EXPECT_FALSE(reloaded()) << "reloaded again after the return";
            // The reload on return found the file unchanged, yet keeps the
            // copy just taken: the edit came after it.
            ASSERT_TRUE(stdfs::exists(firstCopy(i)));
        }
        EXPECT_EQ(contentOf(firstCopy(i)), content(i, 1)) << "the copy of the version before the edit";
    }
    for (int i = 0; i < kFiles; ++i) EXPECT_EQ(contentOf(firstCopy(i)), content(i, 1)) << name(i);
    // Only looked at and opened: no comment file.
    EXPECT_FALSE(stdfs::exists(work.path() / "_mabre.l94"));
}

// Opened, the program ended with 終了 and started again, and only then the
// editor saves: the version before the edit is still there.
TEST_F(DesktopOpen, TheVersionBeforeAnEditOutlivesTheProgramEndedAndStartedAgain) {
    startProgram();
    ASSERT_NO_FATAL_FAILURE(openAndLeave(0));
    ASSERT_NO_FATAL_FAILURE(bringBack());
    // 終 了, at the window's top right left of 操作説明 (twips: 1070 wide
    // buttons, 80 apart, 90 from the top; 15 to the pixel).
    x::click(window, x::width(window) - (80 + 1070 + 80 + 1070 / 2) / 15, (90 + 825 / 2) / 15);
    ASSERT_TRUE(program->process.waitForFinished(20000)) << "終了 did not end the program";
    ASSERT_TRUE(stdfs::exists(firstCopy(0)));

    plantMarker();
    startProgram();
    ASSERT_TRUE(x::waitUntil([&] { return reloaded(); })) << "the start loaded nothing";
    edit(0);
    plantMarker();
    x::click(window, 100, 30);  // the refresh button
    ASSERT_TRUE(x::waitUntil([&] { return reloaded(); }));
    EXPECT_EQ(contentOf(firstCopy(0)), content(0, 1)) << "the version before the edit";
}

// A file named in Shift_JIS, as a Windows archive leaves it (表 is 95 5C:
// its second byte is a "\\"): opened through the desktop by its own bytes,
// and its stored comment kept by a save.
TEST_F(DesktopOpen, AFileNamedInShiftJisOpensByItsOwnBytesAndKeepsItsComment) {
    const std::string name = "\x95\x5C\x8C\x76\x8E\x5A.txt";  // 表計算.txt
    const stdfs::path archive = work.mkdir("archive");
    setModificationTime(work.write("archive/" + name, "version 1"), 2024, 3, 1, 9, 0, 0);
    const std::string record = name + "_2024-03-01 09-00-00,\x8F\x89\x94\xC5\r\n";  // 初版
    work.write("archive/_mabre.l94", "\r\n" + record);
    startProgram(archive);
    const std::size_t callsBefore = editorCalls().size();
    x::click(window, kFirstRowX, kFirstRowY, 2);
    ASSERT_TRUE(x::waitUntil([&] { return editorCalls().size() > callsBefore; })) << "the editor was not called";
    EXPECT_EQ(editorCalls().back(), (archive / name).string());
    EXPECT_EQ(contentOf(archive / "_mabre-l94" / ("\x95\x5C\x8C\x76\x8E\x5A_2024-03-01 09-00-00.txt")), "version 1");
    ASSERT_TRUE(x::waitUntil([&] { return x::wmState(window) == "Iconic"; })) << "not minimised";
    x::activate(window);
    ASSERT_TRUE(x::waitUntil([&] { return x::wmState(window) == "Normal" && x::isViewable(window); }));
    x::settle(300);
    // A folder comment typed (its box: twips 2490, 1320): the save that
    // follows writes it beside the stored record.
    x::click(window, 2490 / 15 + 20, 1320 / 15 + 8);
    x::type("typed");
    program->terminate();
    ASSERT_TRUE(program->process.waitForFinished(20000));
    EXPECT_EQ(contentOf(archive / "_mabre.l94"), "typed\r\n" + record);
}

class DesktopOpenWithoutAWindowManager : public DesktopOpen {};

TEST_F(DesktopOpenWithoutAWindowManager, NothingReloadsUntilTheRefreshButton) {
    startProgram();
    // Nobody maximises the window: it fills the screen by itself.
    EXPECT_TRUE(x::waitUntil([&] { return x::width(window) >= 1200; }));
    ASSERT_NO_FATAL_FAILURE(open(kFiles - 1));
    x::settle(500);
    // Nobody minimised the window; clicking into it (activating it) is no
    // coming back.
    EXPECT_TRUE(x::isViewable(window));
    plantMarker();
    x::click(window, 300, 100);
    x::settle(300);
    EXPECT_FALSE(reloaded());
    EXPECT_TRUE(stdfs::exists(firstCopy(kFiles - 1)));

    x::click(window, 100, 30);  // the refresh button
    EXPECT_TRUE(x::waitUntil([&] { return reloaded(); }));
}

}  // namespace
}  // namespace mabrel::gui::test
