// mabrel9-iv: keeps earlier versions of a person's files beside them.
#include "gui/win32/gui_util.h"

#include <commctrl.h>
#include <objbase.h>

#include "app/frm_mabrel94.h"
#include "app/process_state.h"
#include "gui/win32/main_window.h"
#include "gui/win32/win32_interaction.h"
#include "platform/native.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    // The shell may hand an open to extensions that need COM.
    const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_STANDARD_CLASSES | ICC_LISTVIEW_CLASSES | ICC_TREEVIEW_CLASSES | ICC_BAR_CLASSES |
                     ICC_PROGRESS_CLASS | ICC_TAB_CLASSES;
    ::InitCommonControlsEx(&controls);

    int exitCode = 0;
    {
        // The command line is read whole from the system (Windows keeps its quoting).
        auto fs = mabrel::platform::makeNativeFileSystem();
        auto codec = mabrel::platform::makeNativeCodec();
        auto process = mabrel::platform::makeNativeProcess(0, nullptr);

        mabrel::ProcessState state;
        mabrel::win32gui::Win32Interaction ui(*fs);
        mabrel::frm_mabrel94 model(state, *fs, *codec, *process, ui);
        mabrel::win32gui::MainWindow window(model, ui);

        // A second instance ends here, having shown, read and written nothing.
        if (window.start() && !window.ended()) {
            MSG msg;
            BOOL got;
            while ((got = ::GetMessageW(&msg, nullptr, 0, 0)) != 0 && got != -1) {
                if (window.preTranslate(msg)) continue;
                if (!window.ended() && ::IsDialogMessageW(window.window(), &msg)) continue;
                ::TranslateMessage(&msg);
                ::DispatchMessageW(&msg);
            }
            if (got == 0) exitCode = static_cast<int>(msg.wParam);
        }
    }
    if (SUCCEEDED(com)) ::CoUninitialize();
    return exitCode;
}
