// Two instances of the real executable on one folder, as two people on a
// share have them (each with a runtime folder, home and settings of its
// own), on one X server under a window manager: comments typed in each on
// other files and on the same file, saved in both orders and interleaved,
// with refreshes between and both ended at last: every comment stays, and on
// the same file the later one.
#include <gtest/gtest.h>

#include <memory>

#include "support/program.h"

namespace mabrel::gui::test {
namespace {

using mabrel::test::readBytes;
using mabrel::test::setModificationTime;
using mabrel::test::TempDir;

struct Person {
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
        QProcessEnvironment env = desktopEnvironment();
        env.insert("HOME", QString::fromStdString(p.home.path().string()));
        env.insert("XDG_DATA_HOME", QString::fromStdString((p.home.path() / "data").string()));
        p.program = std::make_unique<Program>(p.runtime, env);
        p.program->start(work.path());
        ASSERT_TRUE(p.program->waitReady());
        ASSERT_TRUE(p.program->waitForWindow());
        x::settle(500);
    }
    // Right-clicks file row `row`, chooses コメント and types `text` over
    // what the box holds; or, with no text, presses F5.
    void act(Person& p, int row, const std::string& text) {
        x::activate(p.program->window);
        x::settle(200);
        if (text.empty()) {
            x::key("F5");
            x::settle(500);
            return;
        }
        x::click(p.program->window, kFileRowX, fileRowY(row));
        x::click(p.program->window, kFileRowX, fileRowY(row), 1, 3);
        unsigned long menu = 0;
        ASSERT_TRUE(x::waitUntil([&] { return (menu = p.otherWindow()) != 0; })) << "no context menu";
        x::settle(200);
        x::click(menu, 70, 23);  // コメント
        ASSERT_TRUE(x::waitUntil([&] { return p.otherWindow() != 0 && p.otherWindow() != menu; })) << "no input box";
        x::settle(200);
        x::key("ctrl+a");
        x::type(text);
        x::key("Return");
        ASSERT_TRUE(x::waitUntil([&] { return p.otherWindow() == 0; })) << "the input box stayed";
        // The comment is saved at once.
        ASSERT_TRUE(x::waitUntil([&] { return comments().find("," + text + "\r\n") != std::string::npos; })) << "not saved: " << text;
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
    for (const char* name : {"a.txt", "b.txt", "c.txt"}) setModificationTime(work.write(name, name), 2024, 3, 1, 9, 0, 0);
    ASSERT_NO_FATAL_FAILURE(start(one));
    ASSERT_NO_FATAL_FAILURE(start(two));
    const std::tuple<Person*, int, std::string> steps[] = {{&one, 0, "one on a"}, {&two, 1, "two on b"}, {&two, 2, "two on c"},
                                                           {&one, 0, ""},         {&one, 2, "one on c"}, {&two, 0, ""},
                                                           {&two, 0, "two on a"}};
    for (const auto& [person, row, text] : steps) ASSERT_NO_FATAL_FAILURE(act(*person, row, text));
    for (Person* p : {&one, &two}) ASSERT_TRUE(p->program->terminated());
    EXPECT_EQ(comments(), "\r\na.txt_2024-03-01 09-00-00,two on a\r\n"
                          "b.txt_2024-03-01 09-00-00,two on b\r\n"
                          "c.txt_2024-03-01 09-00-00,one on c\r\n");
}

}  // namespace
}  // namespace mabrel::gui::test
