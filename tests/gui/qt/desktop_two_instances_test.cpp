// Two instances of the real executable on one folder, as two people on a
// share have them (each with a runtime folder, home and settings of its
// own), on one X server under a window manager: comments typed in each on
// other files and on the same file, saved in both orders and interleaved,
// with refreshes between and both ended at last: every comment stays, and on
// the same file the later one.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "support/program.h"
#include "support/temp_dir.h"
#include "support/x_desktop.h"

namespace mabrel::gui::test {
namespace {

namespace stdfs = std::filesystem;
using mabrel::test::readBytes;
using mabrel::test::setModificationTime;
using mabrel::test::TempDir;

// The file list's first row in the window's client area at 96 dots per
// inch, the height of a row, and the context menu's "コメント" button in its
// window, in pixels.
constexpr int kFirstRowX = 200;
constexpr int kFirstRowY = 160;
constexpr int kRowHeight = 18;
constexpr int kCommentButtonX = 70;
constexpr int kCommentButtonY = 23;

struct Person {
    RuntimeDir runtime;
    TempDir home;
    std::unique_ptr<Program> program;
    unsigned long window = 0;
};

class TwoInstances : public ::testing::Test {
protected:
    TwoInstances() {
        for (const char* name : {"a.txt", "b.txt", "c.txt"}) {
            setModificationTime(work.write(name, name), 2024, 3, 1, 9, 0, 0);
        }
    }

    void start(Person& p) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        env.insert(QStringLiteral("HOME"), QString::fromStdString(p.home.path().string()));
        env.insert(QStringLiteral("XDG_DATA_HOME"), QString::fromStdString((p.home.path() / "data").string()));
        p.program = std::make_unique<Program>(p.runtime, env);
        p.program->start(work.path());
        ASSERT_TRUE(p.program->waitReady());
        ASSERT_TRUE(x::waitUntil([&] { return (p.window = x::visibleWindowOf(p.program->process.processId())) != 0; },
                                 10000));
        x::settle(500);
    }

    // The window shown by the process besides its main window, 0 for none.
    static unsigned long otherWindow(const Person& p) {
        for (unsigned long w : x::visibleWindowsOf(p.program->process.processId())) {
            if (w != p.window) return w;
        }
        return 0;
    }

    // Right-clicks file row `row`, chooses コメント and types `text` over
    // what the box holds; the comment is saved at once.
    void comment(Person& p, int row, const std::string& text) {
        x::activate(p.window);
        x::settle(200);
        const int y = kFirstRowY + kRowHeight * row;
        x::click(p.window, kFirstRowX, y);
        x::click(p.window, kFirstRowX, y, 1, 3);
        unsigned long menu = 0;
        ASSERT_TRUE(x::waitUntil([&] { return (menu = otherWindow(p)) != 0; })) << "no context menu";
        x::settle(200);
        x::click(menu, kCommentButtonX, kCommentButtonY);
        unsigned long box = 0;
        ASSERT_TRUE(x::waitUntil([&] { return (box = otherWindow(p)) != 0 && box != menu; })) << "no input box";
        x::settle(200);
        x::key("ctrl+a");
        x::type(text);
        x::key("Return");
        ASSERT_TRUE(x::waitUntil([&] { return otherWindow(p) == 0; })) << "the input box stayed";
        ASSERT_TRUE(x::waitUntil([&] { return comments().find("," + text + "\r\n") != std::string::npos; }))
            << "not saved: " << text;
    }

    void refresh(Person& p) {
        x::activate(p.window);
        x::settle(200);
        x::key("F5");
        x::settle(500);
    }

    std::string comments() const {
        try {
            return readBytes(work.path() / "_mabre.l94");
        } catch (const std::exception&) {
            return {};
        }
    }

    TempDir work;
    Person one;
    Person two;
};

TEST_F(TwoInstances, EveryCommentTypedInEitherStaysTheLaterOneOnTheSameFile) {
    ASSERT_NO_FATAL_FAILURE(start(one));
    ASSERT_NO_FATAL_FAILURE(start(two));
    ASSERT_NO_FATAL_FAILURE(comment(one, 0, "one on a"));
    ASSERT_NO_FATAL_FAILURE(comment(two, 1, "two on b"));
    ASSERT_NO_FATAL_FAILURE(comment(two, 2, "two on c"));
    refresh(one);
    ASSERT_NO_FATAL_FAILURE(comment(one, 2, "one on c"));
    refresh(two);
    ASSERT_NO_FATAL_FAILURE(comment(two, 0, "two on a"));
    for (Person* p : {&one, &two}) {
        p->program->terminate();
        ASSERT_TRUE(p->program->process.waitForFinished(20000));
    }
    EXPECT_EQ(comments(), "\r\na.txt_2024-03-01 09-00-00,two on a\r\n"
                          "b.txt_2024-03-01 09-00-00,two on b\r\n"
                          "c.txt_2024-03-01 09-00-00,one on c\r\n");
}

}  // namespace
}  // namespace mabrel::gui::test
