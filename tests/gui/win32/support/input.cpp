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

// Two clicks at one place are one double-click unless the double-click time
// lies between them: separate clicks wait it out, as a person's do.
ULONGLONG lastClick = 0;

void waitOutDoubleClick() {
    const ULONGLONG ready = lastClick + GetDoubleClickTime() + 50;
    const ULONGLONG now = GetTickCount64();
    if (now < ready) Sleep(static_cast<DWORD>(ready - now));
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
    waitOutDoubleClick();
    moveTo(screen);
    press(button);
    lastClick = GetTickCount64();
    Sleep(50);
}

void doubleClick(POINT screen) {
    waitOutDoubleClick();
    moveTo(screen);
    press(Button::Left);
    Sleep(40);
    press(Button::Left);
    lastClick = GetTickCount64();
    Sleep(50);
}

void ctrlClick(POINT screen) {
    waitOutDoubleClick();
    moveTo(screen);
    key(VK_CONTROL, false);
    press(Button::Left);
    key(VK_CONTROL, true);
    lastClick = GetTickCount64();
    Sleep(50);
}

void drag(POINT from, POINT to) {
    waitOutDoubleClick();
    moveTo(from);
    mouse(MOUSEEVENTF_LEFTDOWN);
    Sleep(50);
    for (int step = 1; step <= 4; ++step) {
        moveTo(POINT{from.x + (to.x - from.x) * step / 4, from.y + (to.y - from.y) * step / 4});
    }
    mouse(MOUSEEVENTF_LEFTUP);
    lastClick = GetTickCount64();
    Sleep(50);
}

void pressKey(WORD virtualKey, WORD modifier) {
    if (modifier != 0) key(modifier, false);
    key(virtualKey, false);
    key(virtualKey, true);
    if (modifier != 0) key(modifier, true);
    Sleep(50);
}

}  // namespace mabrel::win32gui::test
