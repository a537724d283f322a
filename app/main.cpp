#include <windows.h>

#include "dpi/dpi.h"
#include "mainwindow/mainwindow.h"
#include "security/security.h"
#include "win32/win32.h"

namespace {

// No code catches a failure of the window system: say what failed and end the program.
int Fail(const wchar_t* what, DWORD error) {
    const win32::String text = win32::String(what) + L"\n" + SystemErrorText(error);
    // A window destroyed while it was being made has posted the quit message, which would
    // close the box as soon as it opened.
    MSG quit;
    PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
    MessageBoxW(nullptr, text.c_str(), L"Brasselt", MB_OK | MB_ICONERROR);
    return 1;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    // Before anything else: later calls load DLLs, and the first window fixes the scale.
    security::HardenProcess();
    dpi::DeclareAwareness();

    HWND form = CreateForm1(instance);
    if (!form) return Fail(L"The main window could not be created.", GetLastError());

    Form1_Load(form);
    ShowWindow(form, SW_SHOWNORMAL);
    UpdateWindow(form);

    MSG message;
    BOOL got;
    while ((got = GetMessageW(&message, nullptr, 0, 0)) != 0) {
        if (got == -1) return Fail(L"The message loop failed.", GetLastError());
        // Gives the window the keyboard handling of a dialog: Tab, and space on the checkbox.
        if (!IsDialogMessageW(form, &message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    return static_cast<int>(message.wParam);
}
