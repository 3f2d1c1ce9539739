// The small windows as modal Win32 windows owned by the main window (class
// kModalWindowClass, the controls' identifiers of control_ids.h). Each
// renders its window model, forwards the person's clicks and typing to the
// model's handlers, and closes once the model has unloaded itself. Escape
// presses the model's cancel button where it has one; closing in any other
// way (title bar, Escape, the system) is the model's title-bar close.
#pragma once

#include "gui/win32/gui_util.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace mabrel {
class frm_rclick;
class frm_option;
class frm_drive;
}  // namespace mabrel

namespace mabrel::win32gui {

class Win32Interaction;

class ModalWindow {
public:
    // clientWidth, clientHeight: the fixed client area in twips.
    ModalWindow(Win32Interaction& ui, const std::string& caption, int clientWidth, int clientHeight);
    virtual ~ModalWindow();
    ModalWindow(const ModalWindow&) = delete;
    ModalWindow& operator=(const ModalWindow&) = delete;

    // Shows the window, the main window disabled, and returns once it has closed.
    void runModal();
    HWND window() const { return window_; }
    // Shows the window and gives the focus to the first control in tab order
    // (for a group of radio buttons, the selected one).
    void show();
    // The window's own keys and the dialog keys (Tab, arrows); true when the
    // message was one of them and is handled.
    bool handleDialogMessage(MSG& msg);

protected:
    HWND addControl(const wchar_t* className, const std::string& text, DWORD style, const Geometry& geometry, int id,
                    DWORD exStyle = 0);
    // A button, radio button or edit box of a model.
    HWND addButton(const Control& c, int id, DWORD style);
    HWND addEdit(const TextBox& t, int id, DWORD style);

    virtual void onCommand(int id, int code, HWND control) = 0;
    // Closed through the title bar, Escape or the system.
    virtual void onClosedByPerson() = 0;
    // Enter: presses the focused push button; nothing elsewhere.
    virtual void onEnter(HWND focus);
    // Ends the modal loop; the window closes.
    void finish();
    bool finished() const { return finished_; }
    // Keys the window handles itself before the dialog keys (Tab, arrows).
    bool preTranslate(MSG& msg);

    Win32Interaction& ui_;
    HWND window_ = nullptr;
    // The button Escape presses, if the model has one.
    HWND cancelButton_ = nullptr;
    UINT dpi_ = 96;
    ControlLayout layout_;
    // Set while the window changes its own controls: their notifications are
    // not the person's.
    bool rendering_ = false;

private:
    static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
    void resizeToClient();
    // The client width in pixels: as designed, or wider where the caption
    // would not fit in the title bar (the controls keep their places).
    int clientWidthPx() const;

    std::wstring caption_;
    int clientWidth_;
    int clientHeight_;
    bool finished_ = false;
};

class RClickWindow : public ModalWindow {
public:
    RClickWindow(Win32Interaction& ui, frm_rclick& model);

protected:
    void onCommand(int id, int code, HWND control) override;
    void onClosedByPerson() override;

private:
    frm_rclick& model_;
};

class OptionWindow : public ModalWindow {
public:
    OptionWindow(Win32Interaction& ui, frm_option& model);

protected:
    void onCommand(int id, int code, HWND control) override;
    void onClosedByPerson() override;

private:
    void render();

    frm_option& model_;
    std::array<HWND, 2> option1_{};
    std::array<HWND, 2> option2_{};
    HWND text1_ = nullptr;
    HWND text2_ = nullptr;
};

class DriveWindow : public ModalWindow {
public:
    DriveWindow(Win32Interaction& ui, frm_drive& model);

protected:
    void onCommand(int id, int code, HWND control) override;
    void onClosedByPerson() override;

private:
    void render();

    frm_drive& model_;
    std::array<HWND, 27> options_{};
    HWND text1_ = nullptr;
};

// The input box: a prompt, a text box with the answer pre-filled, OK and
// キャンセル. Enter is OK (but on キャンセル), Escape and the title bar Cancel.
class InputBoxWindow : public ModalWindow {
public:
    InputBoxWindow(Win32Interaction& ui, const std::string& prompt, const std::string& title,
                   const std::string& defaultText);
    // The typed text, or nothing for Cancel.
    std::optional<std::string> answer() const { return answer_; }

protected:
    void onCommand(int id, int code, HWND control) override;
    void onClosedByPerson() override;
    void onEnter(HWND focus) override;

private:
    HWND text_ = nullptr;
    std::optional<std::string> answer_;
};

// The progress of a long copy: the file's name, the bytes copied, a bar and
// キャンセル. Not a modal loop of its own: the copy calls update() between
// its pieces, which also handles what the person did meanwhile (the main
// window is disabled for the whole copy by the one who shows this window).
class ProgressWindow : public ModalWindow {
public:
    explicit ProgressWindow(Win32Interaction& ui);
    // False once the person has cancelled.
    bool update(const std::string& fileName, std::uint64_t copied, std::uint64_t total);
    bool cancelled() const { return cancelled_; }

protected:
    void onCommand(int id, int code, HWND control) override;
    void onClosedByPerson() override;

private:
    HWND name_ = nullptr;
    HWND bar_ = nullptr;
    HWND text_ = nullptr;
    bool cancelled_ = false;
    std::uint64_t lastDrawn_ = 0;
};

}  // namespace mabrel::win32gui
