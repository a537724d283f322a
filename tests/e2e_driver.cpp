// Starts the real Brasselt.exe and works it as a user would: mouse clicks and key presses sent
// through SendInput, the window and message boxes compared with their golden images and
// answered on screen, the registry read back.
//
// A golden is tests/golden/wine-N/NAME.png, for the major version N of the Wine that runs, since
// frames and fonts differ between versions; it is read and written through the Windows Imaging
// Component. A mismatch leaves the actual image in build/i686/golden-actual: look at it, and copy
// it over the golden if the change is meant.
//
// Every copy starts from build/i686/planted, where DLLs named like system ones lie beside it, as
// a download may put them. Each leaves NAME.dll.loaded there if it is loaded; CTest checks
// afterwards that none was.

#include <windows.h>

#include <sddl.h>
#include <tlhelp32.h>
#include <wincodec.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "mainwindow/mainwindow.h"
#include "resources/resource.h"
#include "win32/win32.h"

namespace {

using Microsoft::WRL::ComPtr;

// Polls until done, for at most the timeout. A 32-bit program takes up to 5 s to start under
// emulation; the default bound is well above that. After a fatal failure the test is over and
// waits for nothing more.
bool WaitFor(const std::function<bool()>& done, DWORD timeoutMs = 30000) {
    if (::testing::Test::HasFatalFailure()) return false;
    for (const ULONGLONG end = GetTickCount64() + timeoutMs; !done(); Sleep(20)) {
        if (GetTickCount64() > end) return false;
    }
    return true;
}

// Screen coordinates and the DPI as they are: Wine 10, as Windows does, scales both for a
// program that does not say it draws at the display's DPI.
[[maybe_unused]] const bool kDpiAware = SetProcessDPIAware();

// A folder that CTest names in the environment, as Windows programs see it.
std::wstring Folder(const wchar_t* variable) { return _wgetenv(variable); }

IWICImagingFactory* Codecs() {
    static ComPtr<IWICImagingFactory> factory;
    if (!factory && SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                         IID_PPV_ARGS(&factory));
    }
    return factory.Get();
}

// Rows of 24-bit pixels, whatever the format of the source, so that two images of one size
// compare equal exactly when they look the same. Two sizes hardly ever hold as many pixels.
std::vector<BYTE> PixelsOf(IWICBitmapSource* source) {
    ComPtr<IWICBitmapSource> converted;
    UINT width = 0, height = 0;
    if (!source ||
        FAILED(WICConvertBitmapSource(GUID_WICPixelFormat24bppBGR, source, &converted)) ||
        FAILED(converted->GetSize(&width, &height))) {
        return {};
    }
    std::vector<BYTE> bgr(width * 3 * height);
    converted->CopyPixels(nullptr, width * 3, UINT(bgr.size()), bgr.data());
    return bgr;
}

// What the screen shows where the window is, so any window over it is in the image too. Wine
// cannot print another process's window: a device context means nothing outside the process
// that made it, and PrintWindow gives a blank image. So a check raises the window before it
// looks, and the Wine prefixes are made with no display (scripts/wineprefix.sh), one of them
// while the other's tests run.
ComPtr<IWICBitmap> Capture(HWND window) {
    RECT rect;
    GetWindowRect(window, &rect);
    const int width = rect.right - rect.left, height = rect.bottom - rect.top;
    const HDC screen = GetDC(nullptr), copy = CreateCompatibleDC(screen);
    const HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    const HGDIOBJ old = SelectObject(copy, bitmap);
    BitBlt(copy, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
    SelectObject(copy, old);
    ComPtr<IWICBitmap> image;
    Codecs()->CreateBitmapFromHBITMAP(bitmap, nullptr, WICBitmapIgnoreAlpha, &image);
    DeleteObject(bitmap);
    DeleteDC(copy);
    ReleaseDC(nullptr, screen);
    return image;
}

// The major version of the Wine that runs the tests.
int WineVersion() {
    const auto version =
        win32::Function<const char*()>(GetModuleHandleW(L"ntdll.dll"), "wine_get_version");
    return version ? atoi(version()) : 0;
}

::testing::AssertionResult LooksLike(HWND window, const std::wstring& name) {
    const std::wstring set = L"wine-" + std::to_wstring(WineVersion());
    const std::wstring goldens = Folder(L"BRASSELT_SOURCE") + L"\\tests\\golden\\" + set;
    const std::wstring png = goldens + L"\\" + name + L".png";
    ComPtr<IWICBitmapDecoder> decoder;
    ComPtr<IWICBitmapFrameDecode> expected;
    if (SUCCEEDED(Codecs()->CreateDecoderFromFilename(png.c_str(), nullptr, GENERIC_READ,
                                                      WICDecodeMetadataCacheOnDemand, &decoder))) {
        decoder->GetFrame(0, &expected);
    }
    const std::vector<BYTE> want = PixelsOf(expected.Get());
    ComPtr<IWICBitmap> actual;
    // Painting has no end that can be seen from outside. Each look first has the window's
    // thread paint all it must, and go idle, which puts the paint on the screen; two looks a
    // beat apart that agree show the window as it stays. A slow machine only makes it later.
    std::vector<BYTE> seen, before;
    // Each look first raises the window above any that another program has put over it since,
    // such as the one wineboot shows while it makes a Wine prefix.
    for (const ULONGLONG end = GetTickCount64() + 60000;; Sleep(300)) {
        SetWindowPos(window, HWND_TOP, 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_ASYNCWINDOWPOS);
        SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 30000, nullptr);
        RedrawWindow(window, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
        SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 30000, nullptr);
        before = std::exchange(seen, PixelsOf((actual = Capture(window)).Get()));
        if (seen == want) return ::testing::AssertionSuccess();
        if (seen == before || GetTickCount64() > end) break;
    }
    const std::wstring folder = Folder(L"BRASSELT_BUILD") + L"\\golden-actual\\";
    CreateDirectoryW(folder.c_str(), nullptr);
    ComPtr<IWICStream> stream;
    ComPtr<IWICBitmapEncoder> encoder;
    ComPtr<IWICBitmapFrameEncode> frame;
    WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
    Codecs()->CreateStream(&stream);
    stream->InitializeFromFilename((folder + name + L".png").c_str(), GENERIC_WRITE);
    Codecs()->CreateEncoder(GUID_ContainerFormatPng, nullptr, &encoder);
    encoder->Initialize(stream.Get(), WICBitmapEncoderNoCache);
    encoder->CreateNewFrame(&frame, nullptr);
    frame->Initialize(nullptr);
    frame->SetPixelFormat(&format);
    frame->WriteSource(actual.Get(), nullptr);
    frame->Commit();
    encoder->Commit();
    ::testing::AssertionResult failure = ::testing::AssertionFailure();
    if (GetFileAttributesW(goldens.c_str()) == INVALID_FILE_ATTRIBUTES) {
        failure << "No golden set for this Wine. Once the actual images look right: mkdir "
                << "tests/golden/" << set << " && cp build/i686/golden-actual/*.png tests/golden/"
                << set << "\n";
    }
    return failure << name << " differs from tests/golden/" << set << "/" << name
                   << ".png; actual: " << folder << name << ".png";
}

const std::wstring kKey =
    L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\IniFileMapping\\Autorun.inf";
const std::wstring kMarker = L"@SYS:DoesNotExist";
const std::wstring kNul(1, L'\0');

// The default value as the wide API stores it. The test is a 32-bit process like Brasselt,
// and reads the native registry view, the one the system reads, unless told otherwise.
struct Value {
    DWORD type;
    std::vector<BYTE> bytes;
    bool operator==(const Value&) const = default;
};

Value Sz(const std::wstring& text) {  // add the terminating NUL yourself
    const auto* first = reinterpret_cast<const BYTE*>(text.data());
    return {REG_SZ, {first, first + text.size() * sizeof(wchar_t)}};
}

// Created if missing, which changes nothing that Brasselt reads.
win32::UniqueKey Open(REGSAM access, REGSAM view = KEY_WOW64_64KEY) {
    HKEY key = nullptr;
    RegCreateKeyExW(HKEY_LOCAL_MACHINE, kKey.c_str(), 0, nullptr, 0, access | view, nullptr, &key,
                    nullptr);
    return win32::UniqueKey(key);
}

// Followed by more than the count: the system adds a NUL to a string that lacks one when the
// character just past it is a NUL.
void Set(const Value& value, REGSAM view = KEY_WOW64_64KEY) {
    std::vector<BYTE> bytes = value.bytes;
    bytes.resize(bytes.size() + sizeof(wchar_t), 'x');
    RegSetValueExW(Open(KEY_SET_VALUE, view).get(), L"", 0, value.type, bytes.data(),
                   DWORD(value.bytes.size()));
}

// A buffer of exactly the stored size: Wine appends a NUL to a string where there is room.
std::optional<Value> Get(REGSAM view = KEY_WOW64_64KEY) {
    const win32::UniqueKey key = Open(KEY_QUERY_VALUE, view);
    DWORD size = 0;
    if (RegQueryValueExW(key.get(), L"", nullptr, nullptr, nullptr, &size)) return {};
    Value value{REG_NONE, std::vector<BYTE>(size)};
    RegQueryValueExW(key.get(), L"", nullptr, &value.type, value.bytes.data(), &size);
    return value;
}

// Denying writes to Everyone refuses them even to an elevated program, as the permissions of a
// locked-down key do. Wine keeps a key's DACL only while the prefix's server runs.
bool SetDacl(const char* sddl) {
    PSECURITY_DESCRIPTOR dacl = nullptr;
    ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &dacl, nullptr);
    const bool set =
        RegSetKeySecurity(Open(WRITE_DAC).get(), DACL_SECURITY_INFORMATION, dacl) == ERROR_SUCCESS;
    LocalFree(dacl);
    return set;
}
constexpr char kWritesDenied[] = "D:P(D;;KW;;;WD)(A;;KR;;;WD)";

void DeleteKeys() {
    SetDacl("D:P(A;;KA;;;WD)");
    for (const REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY})
        RegDeleteKeyExW(HKEY_LOCAL_MACHINE, kKey.c_str(), view, 0);
}

std::vector<DWORD> BrasseltProcesses() {
    std::vector<DWORD> found;
    const win32::UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more;
         more = Process32NextW(snapshot.get(), &entry)) {
        if (_wcsicmp(entry.szExeFile, L"Brasselt.exe") == 0) found.push_back(entry.th32ProcessID);
    }
    return found;
}

// The first top-level window of a process with that class or title, visible unless told.
HWND FindWindowOf(DWORD processId, const wchar_t* className, const wchar_t* title,
                  bool visibleOnly = true) {
    for (HWND window = FindWindowExW(nullptr, nullptr, className, title); window;
         window = FindWindowExW(nullptr, window, className, title)) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == processId && (IsWindowVisible(window) || !visibleOnly)) return window;
    }
    return nullptr;
}

bool IsElevated(HANDLE process) {
    HANDLE token = nullptr;
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    OpenProcessToken(process, TOKEN_QUERY, &token);
    GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size);
    CloseHandle(token);
    return elevation.TokenIsElevated;
}

void BringToFront(HWND window) {
    SetForegroundWindow(window);
    WaitFor([&] { return GetForegroundWindow() == window; }, 2000);
}

// Real pointer input: move, confirm the pointer got there (the first move of a session can be
// lost), then press and release. Each event carries the position, so that a late pointer
// event from the X server cannot move the click elsewhere.
void ClickAt(HWND window, POINT point) {
    BringToFront(window);
    INPUT input[3] = {};
    const DWORD flags[] = {0, MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP};
    for (int i = 0; i < 3; ++i) {
        input[i].type = INPUT_MOUSE;
        input[i].mi.dx = MulDiv(point.x, 65535, GetSystemMetrics(SM_CXSCREEN) - 1);
        input[i].mi.dy = MulDiv(point.y, 65535, GetSystemMetrics(SM_CYSCREEN) - 1);
        input[i].mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | flags[i];
    }
    ASSERT_TRUE(WaitFor([&] {
        SendInput(1, input, sizeof(INPUT));
        POINT at;
        return GetCursorPos(&at) && at.x == point.x && at.y == point.y;
    })) << "the pointer did not move";
    SendInput(2, input + 1, sizeof(INPUT));
}

// A running copy of Brasselt, seen from outside.
struct Brasselt {
    // Elevated, or limited as a double-click starts it on Windows. Wine 8 starts every process
    // elevated, Wine 10 limited, as Windows does; the linked token is the other kind.
    explicit Brasselt(bool limited = false) {
        HANDLE token = nullptr, primary = nullptr;
        TOKEN_LINKED_TOKEN linked{};
        DWORD size = 0;
        OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY | TOKEN_DUPLICATE, &token);
        GetTokenInformation(token, TokenLinkedToken, &linked, sizeof linked, &size);
        DuplicateTokenEx(IsElevated(GetCurrentProcess()) == limited ? linked.LinkedToken : token,
                         MAXIMUM_ALLOWED, nullptr, SecurityImpersonation, TokenPrimary, &primary);
        const std::wstring exe = Folder(L"BRASSELT_BUILD") + L"\\planted\\Brasselt.exe";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION started{};
        EXPECT_TRUE(CreateProcessAsUserW(primary, exe.c_str(), nullptr, nullptr, nullptr, FALSE, 0,
                                         nullptr, nullptr, &startup, &started));
        for (HANDLE handle : {token, linked.LinkedToken, primary, started.hThread})
            CloseHandle(handle);
        Attach(started.hProcess, started.dwProcessId);
        EXPECT_EQ(IsElevated(process.get()), !limited) << "started with the wrong token";
    }
    // A copy that was started some other way.
    explicit Brasselt(DWORD processId) {
        Attach(OpenProcess(PROCESS_ALL_ACCESS, FALSE, processId), processId);
    }
    ~Brasselt() { TerminateProcess(process.get(), 99); }

    LRESULT State() const { return SendMessageW(check1, BM_GETCHECK, 0, 0); }

    // On the box itself, at the left end of the control.
    void Click() const {
        RECT box;
        GetWindowRect(check1, &box);
        ClickAt(form, {box.left + 7, (box.top + box.bottom) / 2});
    }

    // The space bar goes to the checkbox, the window's only tab stop, which has the focus
    // whenever the window is active.
    void PressSpace() const {
        BringToFront(form);
        INPUT keys[2] = {};
        keys[0].type = keys[1].type = INPUT_KEYBOARD;
        keys[0].ki.wVk = keys[1].ki.wVk = VK_SPACE;
        keys[1].ki.dwFlags = KEYEVENTF_KEYUP;
        SendInput(2, keys, sizeof keys[0]);
    }

    // The box the user must see, as a whole (title, text, buttons, icon or none), answered
    // with that button.
    void ExpectBox(const wchar_t* golden, int answer) const {
        HWND box = nullptr;
        ASSERT_TRUE(WaitFor([&] { return (box = FindWindowOf(id, L"#32770", nullptr)); }))
            << "no message box";
        EXPECT_TRUE(LooksLike(box, golden));
        EXPECT_EQ(GetWindow(box, GW_OWNER), form) << "a box that the window does not own";
        RECT button;
        ASSERT_TRUE(GetWindowRect(GetDlgItem(box, answer), &button)) << "no button " << answer;
        ClickAt(box, {(button.left + button.right) / 2, (button.top + button.bottom) / 2});
        EXPECT_TRUE(WaitFor([&] { return !IsWindow(box); })) << "the box stayed open";
        Settle();
    }

    // Returns once the window has handled what came before it, such as the answer to a box:
    // whatever that leads to, another box or another copy, has been made by then.
    void Settle() const { SendMessageTimeoutW(form, WM_NULL, 0, 0, SMTO_NORMAL, 30000, nullptr); }

    // A box just made may not be visible yet.
    bool ShowsABox() const {
        Settle();
        return FindWindowOf(id, L"#32770", nullptr, false);
    }

    DWORD ExitCode() const {
        DWORD code = STILL_ACTIVE;
        WaitForSingleObject(process.get(), 30000);
        GetExitCodeProcess(process.get(), &code);
        return code;
    }

    DWORD Close() const {
        PostMessageW(form, WM_CLOSE, 0, 0);
        return ExitCode();
    }

    void Attach(HANDLE started, DWORD startedId) {
        process.reset(started);
        id = startedId;
        // A start is the slowest step: with several suites on the machine, one under emulation
        // has taken over 30 s to show its window.
        ASSERT_TRUE(WaitFor([&] { return (form = FindWindowOf(id, nullptr, L"Tolvik Brasselt")); },
                            120000)) << "no window";
        check1 = FindWindowExW(form, nullptr, L"Button", nullptr);
    }

    win32::UniqueHandle process;
    DWORD id = 0;
    HWND form = nullptr, check1 = nullptr;
};

struct EndToEnd : ::testing::Test {
    void SetUp() override { DeleteKeys(); }
    // A copy that a failed test left running would hold the test's output open, and CTest
    // would wait for it.
    void TearDown() override {
        for (const DWORD id : BrasseltProcesses())
            TerminateProcess(
                win32::UniqueHandle(OpenProcess(PROCESS_TERMINATE, FALSE, id)).get(), 99);
    }
};

// Run in a 96-DPI and a 144-DPI prefix, each with a golden of its own.
TEST_F(EndToEnd, LooksAsDesignedRightAfterStart) {
    const Brasselt app;
    ASSERT_TRUE(app.form);
    RECT frame;
    GetWindowRect(app.form, &frame);
    // Another program's window over it, as a Wine prefix being made once showed one.
    const win32::UniqueHandleOf<HWND, DestroyWindow> over(
        CreateWindowExW(WS_EX_NOACTIVATE, L"Static", nullptr, WS_POPUP | SS_BLACKRECT, frame.left,
                        frame.top, 200, 100, nullptr, nullptr, nullptr, nullptr));
    ShowWindow(over.get(), SW_SHOWNOACTIVATE);
    UpdateWindow(over.get());
    EXPECT_TRUE(LooksLike(app.form, L"window-" + std::to_wstring(GetDpiForSystem())));
    // Centred: the margins on either side differ by a pixel at most.
    EXPECT_LE(abs(frame.left + frame.right - GetSystemMetrics(SM_CXSCREEN)), 1) << "off centre";
    EXPECT_LE(abs(frame.top + frame.bottom - GetSystemMetrics(SM_CYSCREEN)), 1) << "off centre";
    EXPECT_EQ(app.Close(), 0u);
    // Check1's font as a screen reader gets it. A font handle means something only in the
    // process that made it, so this one makes a Form1 of its own.
    LOGFONTW font{};
    const HWND check1 = GetDlgItem(CreateForm1(GetModuleHandleW(nullptr)), IDC_CHECK1);
    GetObjectW(HGDIOBJ(SendMessageW(check1, WM_GETFONT, 0, 0)), sizeof font, &font);
    EXPECT_STREQ(font.lfFaceName, L"Arial");
    EXPECT_EQ(font.lfHeight, -MulDiv(240, GetDpiForSystem(), 1440)) << "not 12 points";
    EXPECT_EQ(font.lfWeight, FW_BOLD);
    EXPECT_EQ(font.lfCharSet, ARABIC_CHARSET);
}

// In the dark "High Contrast Black" scheme of Windows, as people with low vision use it: the
// labels in the system's button text colour on its button face, Label2 in its own red. Wine
// cannot switch the high-contrast mode itself on, only its colours. A program reads them when
// it starts; they last as long as the prefix's server, so the test puts the earlier ones back.
TEST_F(EndToEnd, LooksAsDesignedInHighContrastBlack) {
    const int elements[] = {COLOR_BTNFACE, COLOR_BTNTEXT, COLOR_WINDOW, COLOR_WINDOWTEXT,
        COLOR_ACTIVECAPTION, COLOR_GRADIENTACTIVECAPTION, COLOR_CAPTIONTEXT, COLOR_ACTIVEBORDER};
    const COLORREF scheme[] = {0, 0xFFFFFF, 0, 0xFFFFFF, 0x800080, 0x800080, 0xFFFFFF, 0x00FFFF};
    COLORREF before[std::size(elements)];
    std::ranges::transform(elements, before, GetSysColor);
    ASSERT_TRUE(SetSysColors(int(std::size(elements)), elements, scheme));
    const Brasselt app;
    EXPECT_TRUE(LooksLike(app.form, L"window-96-high-contrast"));
    SetSysColors(int(std::size(elements)), elements, before);
}

TEST_F(EndToEnd, StartsTickedExactlyWhenTheMarkerIsStored) {
    const Value nulPast32767 = Sz(std::wstring(40000, L'x') + kNul + kMarker + kNul);
    const Value noNul{REG_BINARY, std::vector<BYTE>(100000, 'A')};
    const struct {
        const char* what;
        std::optional<Value> stored, stored32;
        LRESULT state;
    } cases[] = {
        {"the marker", Sz(kMarker + kNul), {}, BST_CHECKED},
        {"no key", {}, {}, BST_UNCHECKED},
        {"the marker in the Wow6432Node copy only", {}, Sz(kMarker + kNul), BST_UNCHECKED},
        {"the first NUL past 32,767", nulPast32767, {}, BST_UNCHECKED},
        {"100,000 bytes without a NUL", noNul, {}, BST_UNCHECKED},
        {"another @SYS: value", Sz(kMarker + L"X" + kNul), {}, BST_UNCHECKED},
        {"the marker, a NUL and more", Sz(kMarker + kNul + L"more" + kNul), {}, BST_CHECKED},
        {"the marker without its NUL", Sz(kMarker), {}, BST_CHECKED},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        DeleteKeys();
        if (c.stored) Set(*c.stored);
        if (c.stored32) Set(*c.stored32, KEY_WOW64_32KEY);
        const Brasselt app;
        ASSERT_TRUE(app.form);
        EXPECT_EQ(app.State(), c.state);
        EXPECT_FALSE(app.ShowsABox()) << "a message at start";
        EXPECT_EQ(app.Close(), 0u);
        EXPECT_EQ(Get(), c.stored) << "not as planted, or starting wrote the registry";
    }
}

// Each click stores its marker where the system reads it, and so does each file for many
// machines.
TEST_F(EndToEnd, EveryClickWritesItsMarkerAndConfirms) {
    const Brasselt app;
    app.Click();  // the key is missing: the click creates it
    app.ExpectBox(L"box-canceled", IDOK);
    EXPECT_EQ(app.State(), BST_CHECKED);
    EXPECT_EQ(Get(), Sz(kMarker + kNul));
    const auto disabled = Get();
    app.PressSpace();
    app.ExpectBox(L"box-enabled", IDOK);
    EXPECT_EQ(app.State(), BST_UNCHECKED);
    EXPECT_EQ(Get(), Sz(L"0" + kNul));
    const auto enabled = Get();
    EXPECT_EQ(app.Close(), 0u);
    EXPECT_EQ(Get(KEY_WOW64_32KEY), std::nullopt) << "wrote the Wow6432Node copy";

    for (const auto& [file, stored] :
         {std::pair{L"disable", disabled}, std::pair{L"enable", enabled}}) {
        DeleteKeys();
        const std::wstring command = L"reg import \"" + Folder(L"BRASSELT_SOURCE") + L"\\fleet\\" +
                                     file + L"-autorun.reg\" /reg:64";
        EXPECT_EQ(_wsystem(command.c_str()), 0) << command;
        EXPECT_EQ(Get(), stored) << command;
        EXPECT_EQ(Brasselt().State(), stored == disabled ? BST_CHECKED : BST_UNCHECKED);
    }
}

// The same stored marker, refused by the key's permissions: elevated, then with a limited
// token as a double-click starts it.
TEST_F(EndToEnd, ARefusedWriteSaysWhyAndShowsWhatIsStored) {
    Set(Sz(kMarker + kNul));
    ASSERT_TRUE(SetDacl(kWritesDenied));
    {
        const Brasselt app;
        app.Click();
        app.ExpectBox(L"box-refused-even-to-administrator", IDOK);
        EXPECT_EQ(app.State(), BST_CHECKED) << "the box must show what is stored";
        EXPECT_FALSE(app.ShowsABox()) << "a second message";
    }
    const Brasselt app(true);
    app.Click();
    app.ExpectBox(L"box-refused-offers-restart", IDNO);
    EXPECT_EQ(app.State(), BST_CHECKED) << "No: the box must show what is stored";
    EXPECT_EQ(BrasseltProcesses(), std::vector<DWORD>{app.id}) << "No started another copy";

    app.Click();
    app.ExpectBox(L"box-refused-offers-restart", IDYES);
    EXPECT_EQ(app.ExitCode(), 0u) << "Yes: this copy makes way for the new one";
    const auto others = BrasseltProcesses();
    ASSERT_EQ(others.size(), 1u) << "Yes started no other copy";
    const Brasselt restarted(others[0]);
    EXPECT_EQ(restarted.State(), BST_CHECKED) << "the new copy shows what is stored";
    // Wine 8 starts it with the caller's token; from Wine 10 on, as Windows does, elevated.
    EXPECT_TRUE(WineVersion() < 10 || IsElevated(restarted.process.get())) << "Yes: not elevated";
    EXPECT_EQ(Get(), Sz(kMarker + kNul));
}

}  // namespace
