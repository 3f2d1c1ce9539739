// The X desktop a test runs on (see with-x-desktop.sh): what the window
// manager records about a window, read with xprop, and what a person does
// to it, done with xdotool.
#pragma once

#include <QProcess>
#include <QStringList>
#include <functional>
#include <cstdint>
#include <string>
#include <vector>

namespace mabrel::gui::test::x {

// The window manager the test runs under ("openbox", "metacity"), or "none".
std::string windowManager();

// A tool's standard output once it has ended; empty when it failed.
std::string run(const QString& program, const QStringList& args);

// The window's state as the window manager records it: "Normal", "Iconic",
// or "" while no window manager manages it.
std::string wmState(unsigned long window);
bool isMaximised(unsigned long window);
// Mapped and viewable on the screen.
bool isViewable(unsigned long window);
// The width of the window's client area in pixels, 0 if unknown.
int width(unsigned long window);

// The window's title (_NET_WM_NAME), empty if it has none.
std::string title(unsigned long window);
// The pixels (ARGB) of the window's icon of that size (_NET_WM_ICON), empty
// if it has none of that size.
std::vector<std::uint32_t> icon(unsigned long window, int size);

// The visible top-level window of a process, 0 while it has none.
unsigned long visibleWindowOf(qint64 pid);
// All of them.
std::vector<unsigned long> visibleWindowsOf(qint64 pid);

// Minimises, activates (brings back from the task bar) or maps the window
// through the window manager, as a task bar does.
void minimise(unsigned long window);
void activate(unsigned long window);
void map(unsigned long window);
// Clicks with the left button (or `button`: 3 the right one) at a point of
// the window's client area.
void click(unsigned long window, int x, int y, int count = 1, int button = 1);
// Types ASCII text, or presses keys ("Return", "shift+F10"), into the window
// that has the focus.
void type(const std::string& text);
void key(const std::string& keys);

// Runs this process's event loop for `ms`, handling each event as it comes,
// as the program's own loop does.
void settle(int ms);
// Waits up to `ms` for `condition`, handling this process's events meanwhile.
bool waitUntil(const std::function<bool()>& condition, int ms = 5000);

}  // namespace mabrel::gui::test::x
