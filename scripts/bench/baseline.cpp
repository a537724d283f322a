// The least a program can do and still look like Brasselt at start: a window of the same size
// with the same four controls, after reading one registry value. The benchmark's yardstick.

#include <windows.h>

namespace {

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    char value[64] = {};
    LONG size = sizeof value;
    RegQueryValueA(HKEY_LOCAL_MACHINE,
                   "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\IniFileMapping\\Autorun.inf",
                   value, &size);

    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = L"Baseline";
    RegisterClassW(&windowClass);

    RECT frame{0, 0, 501, 178};
    AdjustWindowRect(&frame, WS_OVERLAPPEDWINDOW, FALSE);
    HWND window = CreateWindowW(L"Baseline", L"Baseline", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, 0,
                                frame.right - frame.left, frame.bottom - frame.top, nullptr,
                                nullptr, instance, nullptr);
    const struct {
        const wchar_t *className, *text;
        int x, y, width, height;
    } controls[] = {
        {L"STATIC", L"2008 - 2009", 178, 45, 157, 29},
        {L"STATIC", L"created by Tolvik", 50, 10, 413, 29},
        {L"BUTTON", L"Completly Disable All Drives Autorun", 100, 132, 307, 29},
        {L"STATIC", L"www.tolvik.example  - contact@tolvik.example", 37, 80, 439, 25},
    };
    for (const auto& c : controls) {
        const DWORD style = c.className[0] == L'B' ? BS_AUTOCHECKBOX | WS_TABSTOP : 0;
        CreateWindowW(c.className, c.text, WS_CHILD | WS_VISIBLE | style, c.x, c.y, c.width,
                      c.height, window, nullptr, instance, nullptr);
    }
    ShowWindow(window, SW_SHOWNORMAL);

    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}
