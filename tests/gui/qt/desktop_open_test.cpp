// The real executable on an X server, with a real window manager or none,
// opening files through the desktop (xdg-open) in an editor of the test's
// own that records its calls; the test edits the files as the person would
// and brings the window back through the window manager.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>

#include "support/program.h"

namespace mabrel::gui::test {
namespace {

namespace stdfs = std::filesystem;
using mabrel::test::readBytes;
using mabrel::test::setModificationTime;
using mabrel::test::TempDir;

class DesktopOpen : public ::testing::Test {
protected:
    DesktopOpen() {
        const stdfs::path editor = home.write("editor.sh", "#!/bin/sh\nprintf '%s\\n' \"$1\" >> '" + (home.path() / "editor.log").string() + "'\n");
        stdfs::permissions(editor, stdfs::perms::owner_all);
        home.write("data/applications/mabrel-test-editor.desktop",
                   "[Desktop Entry]\nType=Application\nName=Test editor\nExec=" + editor.string() + " %f\nMimeType=text/plain;\n");
        for (int i = 0; i < 2; ++i) setModificationTime(work.write(name(i), name(i) + " version 1"), 2024, 3, 1, 9, 0, i);
    }

    static std::string name(int i) { return "f" + std::to_string(i) + ".txt"; }
    // The copy of file i's first version.
    stdfs::path firstCopy(int i) const {
        return work.path() / "_mabre-l94" / ("f" + std::to_string(i) + "_2024-03-01 09-00-0" + std::to_string(i) + ".txt");
    }
    // What a load clears away (a temporary file an interrupted write left a
    // day ago): gone, a load ran since it was planted.
    stdfs::path marker() const { return work.path() / ".marker.mabrel-00000000-1-00000000~"; }
    void plantMarker() const {
        stdfs::last_write_time(work.write(marker().filename().string(), "cut short"), stdfs::file_time_type::clock::now() - std::chrono::hours(48));
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
    std::string lastEditorCall() const {
        const std::string log = contentOf(home.path() / "editor.log");
        return log.substr(log.rfind('\n', log.size() - 2) + 1);
    }

    void startProgram(const stdfs::path& folder) {
        QProcessEnvironment env = desktopEnvironment();
        env.insert("XDG_DATA_HOME", QString::fromStdString((home.path() / "data").string()));
        program = std::make_unique<Program>(runtime, env);
        program->dir.write("config/mimeapps.list", "[Default Applications]\ntext/plain=mabrel-test-editor.desktop\n");
        program->start(folder);
        ASSERT_TRUE(program->waitReady());
        ASSERT_TRUE(program->waitForWindow()) << "no window";
        window = program->window;
        if (x::windowManager() != "none") ASSERT_TRUE(x::waitUntil([&] { return x::isMaximised(window); })) << "not maximised";
        x::settle(500);  // the first layout and paint
    }
    // Opens row `row` with a double click; the desktop calls the editor with `file`.
    void open(int row, const stdfs::path& file) {
        const std::string before = contentOf(home.path() / "editor.log");
        x::click(window, kFileRowX, fileRowY(row), 2);
        ASSERT_TRUE(x::waitUntil([&] { return contentOf(home.path() / "editor.log") != before; })) << "the editor was not called";
        EXPECT_EQ(lastEditorCall(), file.string() + "\n");
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
// editor saves: the version before the edit is still there.
TEST_F(DesktopOpen, TheVersionBeforeAnEditOutlivesTheProgramEndedAndStartedAgain) {
    ASSERT_NO_FATAL_FAILURE(startProgram(work.path()));
    plantMarker();
    ASSERT_NO_FATAL_FAILURE(open(0, work.path() / name(0)));
    ASSERT_TRUE(x::waitUntil([&] { return x::wmState(window) == "Iconic"; })) << "not minimised";
    x::settle(300);
    EXPECT_FALSE(reloaded()) << "reloaded before the window came back";
    EXPECT_EQ(contentOf(firstCopy(0)), "f0.txt version 1");
    ASSERT_NO_FATAL_FAILURE(bringBack());
    ASSERT_TRUE(x::waitUntil([&] { return reloaded(); })) << "no reload when the window came back";
    // 終 了, at the window's top right left of 操作説明 (twips: 1070 wide
    // buttons, 80 apart, 90 from the top; 15 to the pixel).
    x::click(window, x::width(window) - (80 + 1070 + 80 + 1070 / 2) / 15, (90 + 825 / 2) / 15);
    ASSERT_TRUE(program->process.waitForFinished(20000)) << "終了 did not end the program";

    plantMarker();
    ASSERT_NO_FATAL_FAILURE(startProgram(work.path()));
    ASSERT_TRUE(x::waitUntil([&] { return reloaded(); })) << "the start loaded nothing";
    setModificationTime(work.write(name(0), "f0.txt version 2"), 2024, 3, 2, 10, 0, 0);
    plantMarker();
    x::click(window, 100, 30);  // the refresh button
    ASSERT_TRUE(x::waitUntil([&] { return reloaded(); }));
    EXPECT_EQ(contentOf(firstCopy(0)), "f0.txt version 1") << "the version before the edit";
}

// A file named in Shift_JIS, as a Windows archive leaves it (表 is 95 5C:
// its second byte is a "\\"): opened through the desktop by its own bytes,
// and its stored comment kept by a save.
TEST_F(DesktopOpen, AFileNamedInShiftJisOpensByItsOwnBytesAndKeepsItsComment) {
    const std::string stem = "\x95\x5C\x8C\x76\x8E\x5A";  // 表計算
    const stdfs::path archive = work.mkdir("archive");
    setModificationTime(work.write("archive/" + stem + ".txt", "version 1"), 2024, 3, 1, 9, 0, 0);
    const std::string record = stem + ".txt_2024-03-01 09-00-00,\x8F\x89\x94\xC5\r\n";  // 初版
    work.write("archive/_mabre.l94", "\r\n" + record);
    ASSERT_NO_FATAL_FAILURE(startProgram(archive));
    ASSERT_NO_FATAL_FAILURE(open(0, archive / (stem + ".txt")));
    EXPECT_EQ(contentOf(archive / "_mabre-l94" / (stem + "_2024-03-01 09-00-00.txt")), "version 1");
    ASSERT_NO_FATAL_FAILURE(bringBack());
    // A folder comment typed (its box: twips 2490, 1320): the save that
    // follows writes it beside the stored record.
    x::click(window, 2490 / 15 + 20, 1320 / 15 + 8);
    x::type("typed");
    ASSERT_TRUE(program->terminated());
    EXPECT_EQ(contentOf(archive / "_mabre.l94"), "typed\r\n" + record);
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
    EXPECT_EQ(contentOf(firstCopy(1)), "f1.txt version 1");
    x::click(window, 100, 30);  // the refresh button
    EXPECT_TRUE(x::waitUntil([&] { return reloaded(); }));
}

}  // namespace
}  // namespace mabrel::gui::test
