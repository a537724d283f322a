// Starts the real Brasselt.exe and works it as a user would: mouse clicks and key presses sent
// through SendInput, message boxes read and dismissed on screen, the registry read back.

#include <windows.h>

#include <psapi.h>

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "registry_helpers.h"

namespace reg = testing_registry;

namespace {

const std::wstring kKey =
    L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\IniFileMapping\\Autorun.inf";
const std::wstring kMarker = L"@SYS:DoesNotExist";
const std::wstring kTitle = L"Tolvik Autorun";
const std::wstring kCanceled = L"All Drives Autorun Canceled..";
const std::wstring kEnabled = L"All Drives Autorun Enabled..";

bool WaitFor(const std::function<bool()>& done, DWORD timeoutMs = 10000) {
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    while (!done()) {
        if (GetTickCount64() > end) return false;
        Sleep(20);
    }
    return true;
}

std::wstring Text(HWND window) {
    wchar_t text[1024] = {};
    GetWindowTextW(window, text, 1024);
    return text;
}

std::wstring ClassOf(HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

struct WindowSearch {
    DWORD processId;
    std::vector<HWND> found;
};

BOOL CALLBACK AddVisibleWindowOfProcess(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<WindowSearch*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == search->processId && IsWindowVisible(window)) search->found.push_back(window);
    return TRUE;
}

BOOL CALLBACK AddWindow(HWND window, LPARAM param) {
    reinterpret_cast<WindowSearch*>(param)->found.push_back(window);
    return TRUE;
}

std::vector<HWND> TopLevelWindows(DWORD processId) {
    WindowSearch search{processId, {}};
    EnumWindows(AddVisibleWindowOfProcess, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::vector<HWND> Children(HWND parent) {
    WindowSearch search{0, {}};
    EnumChildWindows(parent, AddWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// Real pointer input: move, confirm the pointer got there (the first move of a session can be
// lost), then press and release the left button.
void ClickAt(POINT point) {
    const int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
    INPUT move{};
    move.type = INPUT_MOUSE;
    move.mi.dx = MulDiv(point.x, 65535, width - 1);
    move.mi.dy = MulDiv(point.y, 65535, height - 1);
    move.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    ASSERT_TRUE(WaitFor(
        [&] {
            SendInput(1, &move, sizeof move);
            Sleep(30);
            POINT at;
            GetCursorPos(&at);
            return at.x == point.x && at.y == point.y;
        },
        3000))
        << "the pointer did not move";

    INPUT press[2] = {};
    press[0].type = press[1].type = INPUT_MOUSE;
    press[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    press[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    SendInput(2, press, sizeof press[0]);
}

void PressKey(WORD key) {
    INPUT keys[2] = {};
    keys[0].type = keys[1].type = INPUT_KEYBOARD;
    keys[0].ki.wVk = keys[1].ki.wVk = key;
    keys[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, keys, sizeof keys[0]);
}

struct MessageBoxSeen {
    HWND window = nullptr;
    std::wstring title, text;
    std::vector<std::wstring> buttons;
    std::vector<int> buttonIds;
    bool hasIcon = false;
};

// The running program, seen from outside.
class Brasselt {
public:
    Brasselt() {
        std::wstring exe = ExePath();
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        EXPECT_TRUE(CreateProcessW(exe.c_str(), nullptr, nullptr, nullptr, FALSE, 0, nullptr,
                                   nullptr, &startup, &process_))
            << "cannot start " << std::string(exe.begin(), exe.end());
        WaitFor([&] {
            for (HWND window : TopLevelWindows(process_.dwProcessId)) {
                if (Text(window) == L"Tolvik Brasselt") form_ = window;
            }
            return form_ != nullptr;
        });
        check1_ = FindWindowExW(form_, nullptr, L"Button", nullptr);
    }
    ~Brasselt() {
        if (Running()) {
            TerminateProcess(process_.hProcess, 99);
            WaitForSingleObject(process_.hProcess, 5000);
        }
        CloseHandle(process_.hThread);
        CloseHandle(process_.hProcess);
    }
    Brasselt(const Brasselt&) = delete;
    Brasselt& operator=(const Brasselt&) = delete;

    HANDLE process() const { return process_.hProcess; }
    HWND form() const { return form_; }
    HWND check1() const { return check1_; }
    bool Running() const { return WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT; }
    LRESULT CheckState() const { return SendMessageW(check1_, BM_GETCHECK, 0, 0); }

    void ClickCheckbox() const {
        BringToFront();
        RECT box;
        GetWindowRect(check1_, &box);
        // The box itself sits at the left end of the control.
        ClickAt({box.left + 7, (box.top + box.bottom) / 2});
    }

    void PressSpaceOnCheckbox() const {
        BringToFront();
        GUITHREADINFO gui{};
        gui.cbSize = sizeof gui;
        ASSERT_TRUE(WaitFor(
            [&] { return GetGUIThreadInfo(process_.dwThreadId, &gui) && gui.hwndFocus == check1_; },
            3000))
            << "the checkbox does not have the focus";
        PressKey(VK_SPACE);
    }

    std::optional<MessageBoxSeen> WaitForMessageBox(DWORD timeoutMs = 10000) const {
        MessageBoxSeen seen;
        if (!WaitFor([&] { return (seen.window = FindMessageBox()) != nullptr; }, timeoutMs)) {
            return std::nullopt;
        }
        seen.title = Text(seen.window);
        seen.text = Text(GetDlgItem(seen.window, 0xFFFF));
        for (HWND child : Children(seen.window)) {
            if (!IsWindowVisible(child)) continue;
            if (ClassOf(child) == L"Button") {
                seen.buttons.push_back(Text(child));
                seen.buttonIds.push_back(GetDlgCtrlID(child));
            } else if (SendMessageW(child, STM_GETICON, 0, 0) != 0) {
                seen.hasIcon = true;
            }
        }
        return seen;
    }

    void PressOk(const MessageBoxSeen& box) const {
        RECT button;
        GetWindowRect(GetDlgItem(box.window, IDOK), &button);
        ClickAt({(button.left + button.right) / 2, (button.top + button.bottom) / 2});
        EXPECT_TRUE(WaitFor([&] { return !IsWindow(box.window); })) << "the box stayed open";
    }

    bool ShowsMessageBoxWithin(DWORD ms) const { return WaitForMessageBox(ms).has_value(); }

    DWORD Close() {
        PostMessageW(form_, WM_CLOSE, 0, 0);
        if (WaitForSingleObject(process_.hProcess, 10000) != WAIT_OBJECT_0) return STILL_ACTIVE;
        DWORD code = STILL_ACTIVE;
        GetExitCodeProcess(process_.hProcess, &code);
        return code;
    }

private:
    static std::wstring ExePath() {
        wchar_t path[MAX_PATH] = {};
        GetEnvironmentVariableW(L"BRASSELT_EXE", path, MAX_PATH);
        return path;
    }

    HWND FindMessageBox() const {
        for (HWND window : TopLevelWindows(process_.dwProcessId)) {
            if (ClassOf(window) == L"#32770") return window;
        }
        return nullptr;
    }

    void BringToFront() const {
        SetForegroundWindow(form_);
        WaitFor([&] { return GetForegroundWindow() == form_; }, 2000);
    }

    PROCESS_INFORMATION process_{};
    HWND form_ = nullptr;
    HWND check1_ = nullptr;
};

std::optional<reg::RawValue> Stored() { return reg::GetRaw(kKey, L""); }

void Store(const std::wstring& text) {
    reg::DeleteTree(kKey);
    reg::SetString(kKey, L"", text + L'\0');
}

void ExpectStored(const std::wstring& text) {
    const auto value = Stored();
    ASSERT_TRUE(value) << "no value";
    EXPECT_EQ(value->type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(value->bytes, reg::WideBytes(text + L'\0'));
}

void ExpectConfirmation(const std::optional<MessageBoxSeen>& box, const std::wstring& text) {
    ASSERT_TRUE(box) << "no message box";
    EXPECT_EQ(box->title, kTitle);
    EXPECT_EQ(box->text, text);
    EXPECT_EQ(box->buttons, std::vector<std::wstring>{L"OK"});
    EXPECT_EQ(box->buttonIds, std::vector<int>{IDOK});
    EXPECT_FALSE(box->hasIcon);
}

class EndToEnd : public ::testing::Test {
protected:
    void SetUp() override { reg::DeleteTree(kKey); }
    void TearDown() override { reg::DeleteTree(kKey); }
};

TEST_F(EndToEnd, StartsWithTheStoredSettingAndNeverWrites) {
    struct Case {
        const char* what;
        std::optional<std::wstring> stored;
        LRESULT state;
    };
    const Case cases[] = {
        {"marker", kMarker, BST_CHECKED},
        {"missing key", std::nullopt, BST_UNCHECKED},
        {"enabled marker", L"0", BST_UNCHECKED},
        {"empty string", L"", BST_UNCHECKED},
        {"other case", L"@sys:doesnotexist", BST_UNCHECKED},
        {"leading space", L" " + kMarker, BST_UNCHECKED},
        {"trailing space", kMarker + L" ", BST_UNCHECKED},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        reg::DeleteTree(kKey);
        if (c.stored) Store(*c.stored);
        const auto before = Stored();

        Brasselt app;
        ASSERT_TRUE(app.form()) << "no window";
        EXPECT_EQ(app.CheckState(), c.state);
        EXPECT_FALSE(app.ShowsMessageBoxWithin(500));
        EXPECT_EQ(app.Close(), 0u);

        const auto after = Stored();
        ASSERT_EQ(after.has_value(), before.has_value());
        if (after) {
            EXPECT_EQ(after->bytes, before->bytes);
        }
    }
}

TEST_F(EndToEnd, TickingAndUntickingWriteTheMarkersAndConfirm) {
    Store(L"0");
    Brasselt app;
    ASSERT_TRUE(app.form());
    ASSERT_EQ(app.CheckState(), BST_UNCHECKED);

    app.ClickCheckbox();
    auto box = app.WaitForMessageBox();
    ExpectConfirmation(box, kCanceled);
    ExpectStored(kMarker);
    ASSERT_TRUE(box);
    app.PressOk(*box);
    EXPECT_EQ(app.CheckState(), BST_CHECKED);

    app.PressSpaceOnCheckbox();
    box = app.WaitForMessageBox();
    ExpectConfirmation(box, kEnabled);
    ExpectStored(L"0");
    ASSERT_TRUE(box);
    app.PressOk(*box);
    EXPECT_EQ(app.CheckState(), BST_UNCHECKED);

    EXPECT_EQ(app.Close(), 0u);
}

TEST_F(EndToEnd, EveryClickWritesAndConfirms) {
    Brasselt app;
    ASSERT_TRUE(app.form());
    for (int click = 1; click <= 4; ++click) {
        SCOPED_TRACE(click);
        // Whatever the registry holds now, the click writes the box's new state.
        Store(L"changed behind the program's back");
        const bool ticking = app.CheckState() == BST_UNCHECKED;
        app.ClickCheckbox();
        const auto box = app.WaitForMessageBox();
        ExpectConfirmation(box, ticking ? kCanceled : kEnabled);
        ExpectStored(ticking ? kMarker : L"0");
        ASSERT_TRUE(box);
        app.PressOk(*box);
    }
    EXPECT_EQ(app.Close(), 0u);
}

TEST_F(EndToEnd, RefusedWriteIsReportedAndTheBoxShowsTheRegistry) {
    Store(L"0");
    const reg::DenyWrites deny(kKey);
    ASSERT_TRUE(deny.applied());
    Brasselt app;
    ASSERT_TRUE(app.form());

    app.ClickCheckbox();
    const auto box = app.WaitForMessageBox();
    ASSERT_TRUE(box);
    EXPECT_EQ(box->title, kTitle);
    EXPECT_EQ(box->text.rfind(L"The AutoRun setting could not be changed.\n", 0), 0u);
    EXPECT_NE(box->text.find(L"administrator"), std::wstring::npos);
    EXPECT_EQ(box->buttonIds, std::vector<int>{IDOK});
    EXPECT_TRUE(box->hasIcon);
    app.PressOk(*box);

    EXPECT_EQ(app.CheckState(), BST_UNCHECKED) << "the box must show what is stored";
    EXPECT_FALSE(app.ShowsMessageBoxWithin(500)) << "a second message";
    ExpectStored(L"0");
    EXPECT_EQ(app.Close(), 0u);
}

TEST_F(EndToEnd, HostileValuesLeaveTheWindowWorking) {
    const std::vector<BYTE> huge(100000, 'A');
    const DWORD number = 0x44434241;
    const std::wstring many(50000, L'x');
    const std::function<void()> hostile[] = {
        [&] { reg::SetRaw(kKey, L"", REG_BINARY, huge.data(), huge.size()); },
        [&] { reg::SetRaw(kKey, L"", REG_DWORD, &number, sizeof number); },
        [&] { reg::SetString(kKey, L"", many); },
    };
    for (const auto& prepare : hostile) {
        reg::DeleteTree(kKey);
        prepare();
        Brasselt app;
        ASSERT_TRUE(app.form());
        EXPECT_EQ(app.CheckState(), BST_UNCHECKED);

        app.ClickCheckbox();
        const auto box = app.WaitForMessageBox();
        ExpectConfirmation(box, kCanceled);
        ExpectStored(kMarker);
        ASSERT_TRUE(box);
        app.PressOk(*box);
        EXPECT_EQ(app.Close(), 0u);
    }
}

struct Usage {
    DWORD gdiObjects, userObjects, handles;
    SIZE_T pagefileBytes;
};

// Wine reports no GDI, USER or handle counts (they read 0 there); the page-file usage it does
// report catches what leaks there.
Usage UsageOf(HANDLE process) {
    Usage usage{GetGuiResources(process, GR_GDIOBJECTS), GetGuiResources(process, GR_USEROBJECTS),
                0, 0};
    GetProcessHandleCount(process, &usage.handles);
    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof memory;
    GetProcessMemoryInfo(process, &memory, sizeof memory);
    usage.pagefileBytes = memory.PagefileUsage;
    return usage;
}

TEST_F(EndToEnd, SoakOfClicksLeaksNothing) {
    Store(L"0");
    Brasselt app;
    ASSERT_TRUE(app.form());
    const auto cycle = [&] {
        const bool ticking = app.CheckState() == BST_UNCHECKED;
        app.ClickCheckbox();
        const auto box = app.WaitForMessageBox();
        ASSERT_TRUE(box);
        ASSERT_EQ(box->text, ticking ? kCanceled : kEnabled);
        app.PressOk(*box);
    };
    // The first rounds fill caches that are not leaks.
    for (int i = 0; i < 10; ++i)
        ASSERT_NO_FATAL_FAILURE(cycle());
    const Usage before = UsageOf(app.process());
    for (int i = 0; i < 300; ++i)
        ASSERT_NO_FATAL_FAILURE(cycle()) << "cycle " << i;
    const Usage after = UsageOf(app.process());

    EXPECT_LE(after.gdiObjects, before.gdiObjects);
    EXPECT_LE(after.userObjects, before.userObjects);
    EXPECT_LE(after.handles, before.handles);
    EXPECT_LE(after.pagefileBytes, before.pagefileBytes + 256 * 1024)
        << before.pagefileBytes << " bytes before, " << after.pagefileBytes << " after";
    EXPECT_EQ(app.CheckState(), BST_UNCHECKED) << "310 clicks from unticked";
    ExpectStored(L"0");
    EXPECT_EQ(app.Close(), 0u);
}

// On 64-bit Windows the system reads the native key; a 32-bit program must not land in
// Wow6432Node. Only a 32-bit build on a 64-bit system can show this.
TEST_F(EndToEnd, Wow64ProgramWorksOnTheNativeKey) {
    ASSERT_TRUE(reg::IsWow64()) << "not a 32-bit process on 64-bit Windows";
    reg::DeleteTree(kKey, KEY_WOW64_32KEY);
    Store(kMarker);
    const std::wstring decoy = L"0";
    reg::SetRaw(kKey, L"", REG_SZ, decoy.c_str(), 4, KEY_WOW64_32KEY);

    Brasselt app;
    ASSERT_TRUE(app.form());
    EXPECT_EQ(app.CheckState(), BST_CHECKED) << "read from Wow6432Node";

    app.ClickCheckbox();
    const auto box = app.WaitForMessageBox();
    ExpectConfirmation(box, kEnabled);
    ExpectStored(L"0");
    EXPECT_EQ(reg::GetRaw(kKey, L"", KEY_WOW64_32KEY)->bytes, reg::WideBytes(decoy + L'\0'))
        << "Wow6432Node touched";
    ASSERT_TRUE(box);
    app.PressOk(*box);
    EXPECT_EQ(app.Close(), 0u);
    reg::DeleteTree(kKey, KEY_WOW64_32KEY);
}

}  // namespace
