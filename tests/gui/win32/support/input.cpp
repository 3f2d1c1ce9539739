#include "support/input.h"

namespace mabrel::win32gui::test {

namespace {

void mouse(DWORD flags) {
    INPUT in{};
    in.type = INPUT_MOUSE;
    in.mi.dwFlags = flags;
    SendInput(1, &in, sizeof in);
}

void key(WORD vk, bool up) {
    INPUT in{};
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = vk;
    in.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    SendInput(1, &in, sizeof in);
}

void moveTo(POINT p) {
    SetCursorPos(p.x, p.y);
    // The pointer's move reaches the window before the button does.
    Sleep(30);
}

void press(Button button) {
    mouse(button == Button::Left ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_RIGHTDOWN);
    Sleep(20);
    mouse(button == Button::Left ? MOUSEEVENTF_LEFTUP : MOUSEEVENTF_RIGHTUP);
}

}  // namespace

void click(POINT screen, Button button) {
    moveTo(screen);
    press(button);
    Sleep(50);
}

void doubleClick(POINT screen) {
    moveTo(screen);
    press(Button::Left);
    Sleep(40);
    press(Button::Left);
    Sleep(50);
}

void ctrlClick(POINT screen) {
    moveTo(screen);
    key(VK_CONTROL, false);
    press(Button::Left);
    key(VK_CONTROL, true);
    Sleep(50);
}

void pressKey(WORD virtualKey) {
    key(virtualKey, false);
    key(virtualKey, true);
    Sleep(50);
}

}  // namespace mabrel::win32gui::test
