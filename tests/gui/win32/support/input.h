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
// The left button pressed at one point and released at another, the pointer
// moving between them.
void drag(POINT from, POINT to);
// A key, with a modifier (VK_SHIFT, VK_CONTROL, VK_MENU) held or none.
void pressKey(WORD virtualKey, WORD modifier = 0);

}  // namespace mabrel::win32gui::test
