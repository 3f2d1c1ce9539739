// Synthetic mouse and keyboard input, as a person would give it: the pointer
// moves to a screen point and the buttons go down and up there, so the window
// under the pointer (of whatever process) gets the messages a real click
// makes, double-clicks and right-button tracking included.
#pragma once

#include <windows.h>

namespace mabrel::win32gui::test {

enum class Button { Left, Right };

void click(POINT screen, Button button = Button::Left);
void doubleClick(POINT screen);
// A left click with Ctrl held (adds a list row to the selection).
void ctrlClick(POINT screen);
void pressKey(WORD virtualKey);

}  // namespace mabrel::win32gui::test
