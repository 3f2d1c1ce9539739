// The X desktop a test runs on (see with-x-desktop.sh): what the window
// manager records about a window, read with xprop, and what a person does
// to it, done with xdotool.
#pragma once

#include <QProcessEnvironment>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace mabrel::gui::test::x {

// The window manager the test runs under ("openbox", "metacity"), or "none".
std::string windowManager();

// A tool's exit code (-1 when it did not run to its end) and its output.
struct Ran {
    int code = -1;
    std::string out;
};
// `command` is the tool and its arguments; stderr joins the output when `merged`.
Ran exec(const QStringList& command, const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment(),
         int ms = 120000, bool merged = true);
// The tool's standard output once it has ended; empty when it failed.
std::string run(const QStringList& command);

// "Normal", "Iconic", or "" while no window manager manages the window.
std::string wmState(unsigned long window);
bool isMaximised(unsigned long window);
bool isViewable(unsigned long window);
int width(unsigned long window);          // of the client area, 0 if unknown
std::string title(unsigned long window);  // _NET_WM_NAME
// The ARGB pixels of the window's icon of that size, empty if it has none.
std::vector<std::uint32_t> icon(unsigned long window, int size);
std::vector<unsigned long> visibleWindowsOf(qint64 pid);
unsigned long visibleWindowOf(qint64 pid);  // the first, 0 while none

// A task bar's minimise, activate and map.
void minimise(unsigned long window);
void activate(unsigned long window);
void map(unsigned long window);
// Clicks (button 3: the right one) at a point of the window's client area.
void click(unsigned long window, int x, int y, int count = 1, int button = 1);
void type(const std::string& text);  // ASCII, into the focused window
void key(const std::string& keys);   // "Return", "shift+F10"

// Runs this process's event loop for `ms`, as the program's own loop does.
void settle(int ms);
bool waitUntil(const std::function<bool()>& condition, int ms = 60000);

}  // namespace mabrel::gui::test::x
