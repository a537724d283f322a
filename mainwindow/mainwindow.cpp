#include "mainwindow.h"

#include <array>
#include <iterator>
#include <memory>

#include "autorun/autorun.h"
#include "dpi/dpi.h"
#include "resources/resource.h"
#include "security/security.h"
#include "win32/win32.h"

namespace {

constexpr wchar_t kClassName[] = L"Brasselt.Form1";
constexpr wchar_t kCaption[] = L"Tolvik Brasselt";
constexpr wchar_t kCheck1Caption[] = L"Completly Disable All Drives Autorun";
constexpr wchar_t kLabel1Text[] = L"created by Tolvik";
constexpr wchar_t kLabel2Text[] = L"2008 - 2009";
constexpr wchar_t kLabel3Text[] = L"www.tolvik.example  - contact@tolvik.example";
constexpr COLORREF kLabel2Colour = RGB(255, 0, 0);

constexpr wchar_t kMessageTitle[] = L"Tolvik Autorun";
constexpr wchar_t kCanceledMessage[] = L"All Drives Autorun Canceled..";
constexpr wchar_t kEnabledMessage[] = L"All Drives Autorun Enabled..";
constexpr wchar_t kWriteFailed[] = L"The AutoRun setting could not be changed.";
constexpr wchar_t kOfferRestart[] = L"Restart Brasselt as an administrator to change it?";
constexpr wchar_t kDeniedToAdministrator[] =
    L"The key's permissions do not allow this change, even for an administrator.";

// Layout in twips, as designed. The order of the table is the tab order; only Check1 is a
// tab stop, so it gets the focus.
struct Placement {
    int left, top, width, height;
};
struct FontLayout {
    const wchar_t* face;
    int heightTwips;
    BYTE charset;
};
struct ControlLayout {
    int id;
    const wchar_t* className;
    const wchar_t* text;
    DWORD style;
    Placement place;
    FontLayout font;
};

constexpr SIZE kClientTwips{7515, 2670};
constexpr DWORD kLabelStyle = SS_LEFT | SS_NOPREFIX;
// clang-format off
constexpr ControlLayout kControls[] = {
    {IDC_LABEL2, L"STATIC", kLabel2Text, kLabelStyle, {2670, 675, 2355, 435}, {L"Arial", 435, ANSI_CHARSET}},
    {IDC_LABEL1, L"STATIC", kLabel1Text, kLabelStyle, {750, 150, 6195, 435}, {L"Arial", 360, ANSI_CHARSET}},
    {IDC_CHECK1, L"BUTTON", kCheck1Caption, BS_AUTOCHECKBOX | WS_TABSTOP, {1500, 1980, 4605, 435},
     {L"Arial", 240, ARABIC_CHARSET}},
    {IDC_LABEL3, L"STATIC", kLabel3Text, kLabelStyle, {555, 1200, 6585, 375}, {L"Arial", 225, ANSI_CHARSET}},
};
// clang-format on

struct Form1 {
    HWND hwnd = nullptr;
    HWND check1 = nullptr;
    HWND label2 = nullptr;
    UINT dpi = USER_DEFAULT_SCREEN_DPI;
    std::array<win32::UniqueFont, std::size(kControls)> fonts;
};

// A control's place in pixels at the window's DPI.
Placement PixelsOf(const Placement& twips, UINT dpi) {
    const auto pixels = [&](int value) { return dpi::TwipsToPixels(value, dpi); };
    return {pixels(twips.left), pixels(twips.top), pixels(twips.width), pixels(twips.height)};
}

void PlaceControls(const Form1& form) {
    for (const ControlLayout& layout : kControls) {
        const Placement at = PixelsOf(layout.place, form.dpi);
        SetWindowPos(GetDlgItem(form.hwnd, layout.id), nullptr, at.left, at.top, at.width,
                     at.height, SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

void MakeFonts(Form1& form) {
    for (size_t i = 0; i < std::size(kControls); ++i) {
        const FontLayout& layout = kControls[i].font;
        win32::UniqueFont font(CreateFontW(-dpi::TwipsToPixels(layout.heightTwips, form.dpi), 0, 0,
                                           0, FW_BOLD, FALSE, FALSE, FALSE, layout.charset,
                                           OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                           DEFAULT_PITCH | FF_DONTCARE, layout.face));
        // Where no font can be made, the control keeps the one it has.
        if (!font) continue;
        SendMessageW(GetDlgItem(form.hwnd, kControls[i].id), WM_SETFONT,
                     reinterpret_cast<WPARAM>(font.get()), TRUE);
        form.fonts[i] = std::move(font);
    }
}

// The window's rectangle at that DPI: the designed client size, centred on the screen.
RECT CentredFrame(UINT dpi, DWORD style) {
    RECT frame{0, 0, dpi::TwipsToPixels(kClientTwips.cx, dpi),
               dpi::TwipsToPixels(kClientTwips.cy, dpi)};
    dpi::AdjustWindowRect(frame, style, dpi);
    OffsetRect(&frame,
               (GetSystemMetrics(SM_CXSCREEN) - (frame.right - frame.left)) / 2 - frame.left,
               (GetSystemMetrics(SM_CYSCREEN) - (frame.bottom - frame.top)) / 2 - frame.top);
    return frame;
}

// Everything is made in place at once, since moving a window costs more than making it.
bool CreateControls(Form1& form) {
    // Made for the screen's DPI; a window that opens on a display of another scale is resized.
    if (const UINT own = dpi::Of(form.hwnd); own != form.dpi) {
        form.dpi = own;
        const RECT frame =
            CentredFrame(form.dpi, static_cast<DWORD>(GetWindowLongPtrW(form.hwnd, GWL_STYLE)));
        SetWindowPos(form.hwnd, nullptr, frame.left, frame.top, frame.right - frame.left,
                     frame.bottom - frame.top, SWP_NOZORDER | SWP_NOACTIVATE);
    }
    const auto instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(form.hwnd, GWLP_HINSTANCE));
    for (const ControlLayout& layout : kControls) {
        const Placement at = PixelsOf(layout.place, form.dpi);
        if (!CreateWindowExW(0, layout.className, layout.text, WS_CHILD | WS_VISIBLE | layout.style,
                             at.left, at.top, at.width, at.height, form.hwnd,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(layout.id)), instance,
                             nullptr)) {
            return false;
        }
    }
    form.check1 = GetDlgItem(form.hwnd, IDC_CHECK1);
    form.label2 = GetDlgItem(form.hwnd, IDC_LABEL2);
    MakeFonts(form);
    return true;
}

void ShowRegistrySetting(const Form1& form) {
    SendMessageW(form.check1, BM_SETCHECK, autorun::IsDisabled() ? BST_CHECKED : BST_UNCHECKED, 0);
}

// The first line, the system's reason, and a last line where there is one.
win32::String FailureText(DWORD error, const wchar_t* lastLine) {
    win32::String text = kWriteFailed;
    text += L"\n";
    text += SystemErrorText(error);
    if (lastLine) {
        text += L"\n";
        text += lastLine;
    }
    return text;
}

// Says why the write failed and, where it can help, offers the restart as administrator:
// only where access was denied to a process that is not elevated already.
void ReportWriteFailure(const Form1& form, LONG status) {
    const bool denied = status == ERROR_ACCESS_DENIED;
    const bool offerRestart = denied && !security::IsElevated();
    const wchar_t* lastLine =
        offerRestart ? kOfferRestart : (denied ? kDeniedToAdministrator : nullptr);
    const int answer =
        MessageBoxW(form.hwnd, FailureText(static_cast<DWORD>(status), lastLine).c_str(),
                    kMessageTitle, (offerRestart ? MB_YESNO : MB_OK) | MB_ICONERROR);
    if (answer == IDYES) {
        const DWORD error = security::RestartAsAdministrator(form.hwnd);
        if (error == ERROR_SUCCESS) {
            // Not DestroyWindow: the checkbox that sent this click is still handling it.
            PostMessageW(form.hwnd, WM_CLOSE, 0, 0);
            return;
        }
        // A declined UAC prompt gets no box: the user chose it.
        if (error != ERROR_CANCELLED) {
            MessageBoxW(form.hwnd, FailureText(error, nullptr).c_str(), kMessageTitle,
                        MB_OK | MB_ICONERROR);
        }
    }
    // The checkbox now shows what the user asked for, not what the registry holds.
    ShowRegistrySetting(form);
}

void Check1_Click(const Form1& form) {
    // Only the user's clicks change the setting, never the state set while loading.
    if (!IsWindowVisible(form.hwnd)) return;

    const bool disable = SendMessageW(form.check1, BM_GETCHECK, 0, 0) == BST_CHECKED;
    const LONG status = autorun::SetDisabled(disable);
    if (status != ERROR_SUCCESS) {
        ReportWriteFailure(form, status);
        return;
    }
    MessageBoxW(form.hwnd, disable ? kCanceledMessage : kEnabledMessage, kMessageTitle, MB_OK);
}

// The system's own button-face brush, so that the labels follow a change of the system
// colours (high contrast among them) as the window does.
LRESULT OnCtlColorStatic(const Form1& form, HDC dc, HWND control) {
    SetTextColor(dc, control == form.label2 ? kLabel2Colour : GetSysColor(COLOR_BTNTEXT));
    SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
    return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
}

// Windows suggests the window's new place and size on a display of another scale.
void OnDpiChanged(Form1& form, UINT newDpi, const RECT& suggested) {
    form.dpi = newDpi;
    SetWindowPos(form.hwnd, nullptr, suggested.left, suggested.top,
                 suggested.right - suggested.left, suggested.bottom - suggested.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    PlaceControls(form);
    MakeFonts(form);
}

LRESULT CALLBACK Form1Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* form = reinterpret_cast<Form1*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    switch (message) {
    case WM_NCCREATE: {
        // The window owns its state from here on and frees it in WM_NCDESTROY.
        auto* owner = static_cast<std::unique_ptr<Form1>*>(
            reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        form = owner->release();
        form->hwnd = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
        break;
    }
    case WM_CREATE:
        return CreateControls(*form) ? 0 : -1;
    case WM_SETFOCUS:
        SetFocus(form->check1);
        return 0;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDC_CHECK1 && HIWORD(wParam) == BN_CLICKED) {
            Check1_Click(*form);
            return 0;
        }
        break;
    case WM_CTLCOLORSTATIC:
        return OnCtlColorStatic(*form, reinterpret_cast<HDC>(wParam),
                                reinterpret_cast<HWND>(lParam));
    case WM_DPICHANGED:
        OnDpiChanged(*form, HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    case WM_NCDESTROY:
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        delete form;
        break;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

}  // namespace

HWND CreateForm1(HINSTANCE instance) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = Form1Proc;
    windowClass.hInstance = instance;
    // Shared icons: the system owns them, and both come from the one eight-image group.
    windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_APP));
    windowClass.hIconSm = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_APP),
                                                        IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                                        GetSystemMetrics(SM_CYSMICON), LR_SHARED));
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = kClassName;
    if (!RegisterClassExW(&windowClass) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
        return nullptr;
    }

    auto form = std::make_unique<Form1>();
    form->dpi = dpi::Of(nullptr);
    const RECT frame = CentredFrame(form->dpi, WS_OVERLAPPEDWINDOW);
    return CreateWindowExW(0, kClassName, kCaption, WS_OVERLAPPEDWINDOW, frame.left, frame.top,
                           frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr,
                           instance, &form);
}

void Form1_Load(HWND form) {
    ShowRegistrySetting(*reinterpret_cast<const Form1*>(GetWindowLongPtrW(form, GWLP_USERDATA)));
}

win32::String SystemErrorText(DWORD code) {
    wchar_t text[512];
    DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, code, 0, text, ARRAYSIZE(text), nullptr);
    while (length > 0 && (text[length - 1] == L'\n' || text[length - 1] == L'\r'))
        --length;
    if (length == 0) {
        // _ultow rather than std::to_wstring, which would link in the whole printf family.
        wchar_t digits[12];
        return L"Error " + win32::String(_ultow(code, digits, 10)) + L".";
    }
    return win32::String(text, length);
}
