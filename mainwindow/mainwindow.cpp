#include "mainwindow.h"

#include <shellapi.h>

#include <array>
#include <iterator>
#include <memory>

#include "registry/registry.h"
#include "resources/resource.h"

namespace {

constexpr wchar_t kClassName[] = L"Brasselt.Form1";
constexpr wchar_t kCaption[] = L"Tolvik Brasselt";
constexpr wchar_t kCheck1Caption[] = L"Completly Disable All Drives Autorun";
constexpr wchar_t kLabel1Text[] = L"created by Tolvik";
constexpr wchar_t kLabel2Text[] = L"2008 - 2009";
constexpr wchar_t kLabel3Text[] = L"www.tolvik.example  - contact@tolvik.example";
constexpr COLORREF kLabel2Colour = RGB(255, 0, 0);

constexpr wchar_t kKeyPath[] =
    L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\IniFileMapping\\Autorun.inf";
constexpr wchar_t kDefaultValue[] = L"";
constexpr wchar_t kDisabledMarker[] = L"@SYS:DoesNotExist";
constexpr wchar_t kEnabledMarker[] = L"0";

constexpr wchar_t kMessageTitle[] = L"Tolvik Autorun";
constexpr wchar_t kCanceledMessage[] = L"All Drives Autorun Canceled..";
constexpr wchar_t kEnabledMessage[] = L"All Drives Autorun Enabled..";
constexpr wchar_t kWriteFailed[] = L"The AutoRun setting could not be changed.";
constexpr wchar_t kNeedsAdministrator[] = L"Run Brasselt as an administrator to change it.";
constexpr wchar_t kOfferRestart[] = L"Restart Brasselt as an administrator to change it?";

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

// The exe declares no DPI awareness, so Windows always gives it a 96-DPI coordinate space and
// scales the finished window itself.
int TwipsToPixels(int twips) { return MulDiv(twips, 96, 1440); }

struct GdiDeleter {
    void operator()(HGDIOBJ object) const { DeleteObject(object); }
};
using UniqueFont = std::unique_ptr<std::remove_pointer_t<HFONT>, GdiDeleter>;
using UniqueBrush = std::unique_ptr<std::remove_pointer_t<HBRUSH>, GdiDeleter>;

struct Form1 {
    HWND hwnd = nullptr;
    HWND check1 = nullptr;
    HWND label2 = nullptr;
    std::array<UniqueFont, std::size(kControls)> fonts;
    UniqueBrush faceBrush;
};

bool CreateControls(Form1& form) {
    form.faceBrush.reset(CreateSolidBrush(GetSysColor(COLOR_BTNFACE)));
    if (!form.faceBrush) return false;
    const auto instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(form.hwnd, GWLP_HINSTANCE));
    for (size_t i = 0; i < std::size(kControls); ++i) {
        const ControlLayout& layout = kControls[i];
        form.fonts[i].reset(CreateFontW(-TwipsToPixels(layout.font.heightTwips), 0, 0, 0, FW_BOLD,
                                        FALSE, FALSE, FALSE, layout.font.charset,
                                        OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                        DEFAULT_PITCH | FF_DONTCARE, layout.font.face));
        HWND control = CreateWindowExW(
            0, layout.className, layout.text, WS_CHILD | WS_VISIBLE | layout.style,
            TwipsToPixels(layout.place.left), TwipsToPixels(layout.place.top),
            TwipsToPixels(layout.place.width), TwipsToPixels(layout.place.height), form.hwnd,
            reinterpret_cast<HMENU>(static_cast<INT_PTR>(layout.id)), instance, nullptr);
        if (!form.fonts[i] || !control) return false;
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(form.fonts[i].get()), FALSE);
    }
    form.check1 = GetDlgItem(form.hwnd, IDC_CHECK1);
    form.label2 = GetDlgItem(form.hwnd, IDC_LABEL2);
    return true;
}

void ShowRegistrySetting(const Form1& form) {
    const auto value = registry::ReadStringValue(HKEY_LOCAL_MACHINE, kKeyPath, kDefaultValue);
    const bool disabled = value == kDisabledMarker;
    SendMessageW(form.check1, BM_SETCHECK, disabled ? BST_CHECKED : BST_UNCHECKED, 0);
}

std::wstring WriteFailureText(LONG status, bool offerRestart) {
    std::wstring text = kWriteFailed;
    text += L"\n";
    text += SystemErrorText(static_cast<DWORD>(status));
    if (offerRestart) {
        text += L"\n";
        text += kOfferRestart;
    } else if (status == ERROR_ACCESS_DENIED) {
        text += L"\n";
        text += kNeedsAdministrator;
    }
    return text;
}

struct HandleCloser {
    void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using UniqueHandle = std::unique_ptr<std::remove_pointer_t<HANDLE>, HandleCloser>;

// Windows before Vista cannot tell, and there a restart through the shell may still help.
bool IsElevated() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
    const UniqueHandle owned(token);
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    return GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size) &&
           elevation.TokenIsElevated;
}

// Restarting as an administrator helps only where access was denied to a process that is not
// elevated already.
bool OffersRestart(LONG status) { return status == ERROR_ACCESS_DENIED && !IsElevated(); }

// Starts this exe again through the UAC prompt. Returns the error, ERROR_CANCELLED when the
// user declines the prompt.
DWORD RestartAsAdministrator(HWND owner) {
    std::wstring path(32768, L'\0');
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0 || length == path.size()) return GetLastError();
    path.resize(length);

    SHELLEXECUTEINFOW execute{};
    execute.cbSize = sizeof execute;
    // Failures are reported by our own box, not the shell's.
    execute.fMask = SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
    execute.hwnd = owner;
    execute.lpVerb = L"runas";
    execute.lpFile = path.c_str();
    execute.nShow = SW_SHOWNORMAL;
    return ShellExecuteExW(&execute) ? ERROR_SUCCESS : GetLastError();
}

// Says why the write failed and, where it can help, offers the restart as administrator.
void ReportWriteFailure(const Form1& form, LONG status) {
    const bool offerRestart = OffersRestart(status);
    const int answer = MessageBoxW(form.hwnd, WriteFailureText(status, offerRestart).c_str(),
                                   kMessageTitle, (offerRestart ? MB_YESNO : MB_OK) | MB_ICONERROR);
    if (answer == IDYES) {
        const DWORD error = RestartAsAdministrator(form.hwnd);
        if (error == ERROR_SUCCESS) {
            // Not DestroyWindow: the checkbox that sent this click is still handling it.
            PostMessageW(form.hwnd, WM_CLOSE, 0, 0);
            return;
        }
        if (ReportsRestartFailure(error)) {
            MessageBoxW(form.hwnd, WriteFailureText(static_cast<LONG>(error), false).c_str(),
                        kMessageTitle, MB_OK | MB_ICONERROR);
        }
    }
    // The checkbox now shows what the user asked for, not what the registry holds.
    ShowRegistrySetting(form);
}

void Check1_Click(const Form1& form) {
    // Only the user's clicks change the setting, never the state set while loading.
    if (!IsWindowVisible(form.hwnd)) return;

    const bool disable = SendMessageW(form.check1, BM_GETCHECK, 0, 0) == BST_CHECKED;
    const LONG status = registry::WriteStringValue(HKEY_LOCAL_MACHINE, kKeyPath, kDefaultValue,
                                                   disable ? kDisabledMarker : kEnabledMarker);
    if (status != ERROR_SUCCESS) {
        ReportWriteFailure(form, status);
        return;
    }
    MessageBoxW(form.hwnd, disable ? kCanceledMessage : kEnabledMessage, kMessageTitle, MB_OK);
}

LRESULT OnCtlColorStatic(const Form1& form, HDC dc, HWND control) {
    SetTextColor(dc, control == form.label2 ? kLabel2Colour : GetSysColor(COLOR_BTNTEXT));
    SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
    return reinterpret_cast<LRESULT>(form.faceBrush.get());
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

    constexpr DWORD style = WS_OVERLAPPEDWINDOW;
    RECT frame{0, 0, TwipsToPixels(kClientTwips.cx), TwipsToPixels(kClientTwips.cy)};
    AdjustWindowRectEx(&frame, style, FALSE, 0);
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    const int left = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
    const int top = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;

    auto form = std::make_unique<Form1>();
    return CreateWindowExW(0, kClassName, kCaption, style, left, top, width, height, nullptr,
                           nullptr, instance, &form);
}

void Form1_Load(HWND form) {
    ShowRegistrySetting(*reinterpret_cast<const Form1*>(GetWindowLongPtrW(form, GWLP_USERDATA)));
}

bool ReportsRestartFailure(DWORD error) { return error != ERROR_CANCELLED; }

std::wstring SystemErrorText(DWORD code) {
    wchar_t text[512];
    DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, code, 0, text, ARRAYSIZE(text), nullptr);
    while (length > 0 && (text[length - 1] == L'\n' || text[length - 1] == L'\r'))
        --length;
    if (length == 0) {
        // _ultow rather than std::to_wstring, which would link in the whole printf family.
        wchar_t digits[12];
        return L"Error " + std::wstring(_ultow(code, digits, 10)) + L".";
    }
    return std::wstring(text, length);
}
