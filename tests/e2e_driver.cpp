// Starts the real Brasselt.exe and works it as a user would: mouse clicks and key presses sent
// through SendInput, message boxes read and answered on screen, the registry read back.

#include <windows.h>

#include <psapi.h>
#include <tlhelp32.h>
#include <winternl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <vector>

#include "registry_helpers.h"

extern "C" NTSTATUS NTAPI NtDeleteKey(HANDLE key);

namespace {

using testreg::Sz;

const std::wstring kKey =
    L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\IniFileMapping\\Autorun.inf";
const std::wstring kMarker = L"@SYS:DoesNotExist";
const std::wstring kNul(1, L'\0');
const std::wstring kCanceled = L"All Drives Autorun Canceled..";
const std::wstring kEnabled = L"All Drives Autorun Enabled..";

const std::wstring kExe = L"\\Brasselt.exe";

std::wstring BuildFolder() {
    wchar_t folder[MAX_PATH] = {};
    GetEnvironmentVariableW(L"BRASSELT_BUILD", folder, MAX_PATH);
    return folder;
}

// A 32-bit program takes up to 5 s to start under emulation; the bound is well above that.
bool WaitFor(const std::function<bool()>& done, DWORD timeoutMs = 30000) {
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

std::wstring SystemText(DWORD code) {
    wchar_t text[512] = {};
    FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                   text, 512, nullptr);
    std::wstring trimmed = text;
    while (!trimmed.empty() && (trimmed.back() == L'\n' || trimmed.back() == L'\r'))
        trimmed.pop_back();
    return trimmed;
}

// The first visible top-level window of a process with that class or title.
HWND FindWindowOf(DWORD processId, const wchar_t* className, const wchar_t* title) {
    for (HWND window = FindWindowExW(nullptr, nullptr, className, title); window;
         window = FindWindowExW(nullptr, window, className, title)) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == processId && IsWindowVisible(window)) return window;
    }
    return nullptr;
}

std::vector<DWORD> BrasseltProcesses() {
    std::vector<DWORD> found;
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more;
         more = Process32NextW(snapshot, &entry)) {
        if (_wcsicmp(entry.szExeFile, L"Brasselt.exe") == 0) found.push_back(entry.th32ProcessID);
    }
    CloseHandle(snapshot);
    return found;
}

// Wine counts no handles per process (GetProcessHandleCount gives 0), but its system handle
// table lists every process's handles, registry keys included.
size_t HandlesOf(DWORD processId) {
    struct Entry {
        ULONG processId;
        BYTE type, flags;
        USHORT handle;
        void* object;
        ACCESS_MASK access;
    };
    constexpr auto kSystemHandleInformation = static_cast<SYSTEM_INFORMATION_CLASS>(16);
    std::vector<BYTE> table(1 << 16);
    while (NtQuerySystemInformation(kSystemHandleInformation, table.data(),
                                    static_cast<ULONG>(table.size()),
                                    nullptr) == static_cast<NTSTATUS>(0xC0000004)) {
        table.resize(table.size() * 2);
    }
    const auto* entries = reinterpret_cast<const Entry*>(table.data() + sizeof(ULONG));
    const ULONG count = *reinterpret_cast<const ULONG*>(table.data());
    return std::count_if(entries, entries + count,
                         [&](const Entry& e) { return e.processId == processId; });
}

// Real pointer input: move, confirm the pointer got there (the first move of a session can be
// lost), then press and release the left button. Each event carries the position, so that a
// late pointer event from the X server cannot move the click elsewhere.
void ClickAt(POINT point) {
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

struct MessageBoxSeen {
    HWND window = nullptr, owner = nullptr;
    std::wstring title, text;
    std::vector<int> buttons;
    bool icon = false;
};

// A running copy of Brasselt, seen from outside.
class Brasselt {
public:
    // Wine starts every process elevated; a limited one gets the linked token instead, as
    // Windows gives the program to a double-click.
    explicit Brasselt(bool limited = false, const std::wstring& exe = BuildFolder() + kExe) {
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION started{};
        HANDLE token = nullptr, primary = nullptr;
        TOKEN_LINKED_TOKEN linked{};
        DWORD size = 0;
        if (limited) {
            OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token);
            GetTokenInformation(token, TokenLinkedToken, &linked, sizeof linked, &size);
            DuplicateTokenEx(linked.LinkedToken, MAXIMUM_ALLOWED, nullptr, SecurityImpersonation,
                             TokenPrimary, &primary);
            EXPECT_TRUE(CreateProcessAsUserW(primary, exe.c_str(), nullptr, nullptr, nullptr, FALSE,
                                             0, nullptr, nullptr, &startup, &started));
            for (HANDLE handle : {token, linked.LinkedToken, primary})
                CloseHandle(handle);
        } else {
            EXPECT_TRUE(CreateProcessW(exe.c_str(), nullptr, nullptr, nullptr, FALSE, 0, nullptr,
                                       nullptr, &startup, &started));
        }
        CloseHandle(started.hThread);
        Attach(started.hProcess, started.dwProcessId);
    }
    // A copy that was started some other way.
    explicit Brasselt(DWORD processId) {
        Attach(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, processId), processId);
    }
    ~Brasselt() {
        if (WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) TerminateProcess(process_, 99);
        CloseHandle(process_);
    }
    Brasselt(const Brasselt&) = delete;
    Brasselt& operator=(const Brasselt&) = delete;

    HANDLE process() const { return process_; }
    DWORD id() const { return id_; }
    HWND form() const { return form_; }
    LRESULT State() const { return SendMessageW(check1_, BM_GETCHECK, 0, 0); }

    void Click() const {
        BringToFront(form_);
        RECT box;
        GetWindowRect(check1_, &box);
        // The box itself sits at the left end of the control.
        ClickAt({box.left + 7, (box.top + box.bottom) / 2});
    }

    void PressSpace() const {
        BringToFront(form_);
        GUITHREADINFO gui{};
        gui.cbSize = sizeof gui;
        ASSERT_TRUE(WaitFor([&] {
            return GetGUIThreadInfo(GetWindowThreadProcessId(form_, nullptr), &gui) &&
                   gui.hwndFocus == check1_;
        })) << "the checkbox does not have the focus";
        INPUT keys[2] = {};
        keys[0].type = keys[1].type = INPUT_KEYBOARD;
        keys[0].ki.wVk = keys[1].ki.wVk = VK_SPACE;
        keys[1].ki.dwFlags = KEYEVENTF_KEYUP;
        SendInput(2, keys, sizeof keys[0]);
    }

    std::optional<MessageBoxSeen> WaitForBox(DWORD timeoutMs = 30000) const {
        MessageBoxSeen box;
        if (!WaitFor([&] { return (box.window = FindWindowOf(id_, L"#32770", nullptr)); },
                     timeoutMs)) {
            return std::nullopt;
        }
        box.title = Text(box.window);
        box.text = Text(GetDlgItem(box.window, 0xFFFF));
        box.owner = GetWindow(box.window, GW_OWNER);
        for (HWND child = GetWindow(box.window, GW_CHILD); child;
             child = GetWindow(child, GW_HWNDNEXT)) {
            wchar_t name[16] = {};
            GetClassNameW(child, name, 16);
            if (!IsWindowVisible(child)) continue;
            if (_wcsicmp(name, L"Button") == 0) box.buttons.push_back(GetDlgCtrlID(child));
            box.icon |= SendMessageW(child, STM_GETICON, 0, 0) != 0;
        }
        return box;
    }

    void Answer(const MessageBoxSeen& box, int button) const {
        BringToFront(box.window);
        RECT rect;
        GetWindowRect(GetDlgItem(box.window, button), &rect);
        ClickAt({(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2});
        EXPECT_TRUE(WaitFor([&] { return !IsWindow(box.window); })) << "the box stayed open";
    }

    DWORD ExitCode() const {
        DWORD code = STILL_ACTIVE;
        WaitForSingleObject(process_, 30000);
        GetExitCodeProcess(process_, &code);
        return code;
    }

    DWORD Close() const {
        PostMessageW(form_, WM_CLOSE, 0, 0);
        return ExitCode();
    }

private:
    void Attach(HANDLE process, DWORD processId) {
        process_ = process;
        id_ = processId;
        WaitFor([&] { return (form_ = FindWindowOf(id_, nullptr, L"Tolvik Brasselt")); });
        check1_ = FindWindowExW(form_, nullptr, L"Button", nullptr);
    }

    static void BringToFront(HWND window) {
        SetForegroundWindow(window);
        WaitFor([&] { return GetForegroundWindow() == window; }, 2000);
    }

    HANDLE process_ = nullptr;
    DWORD id_ = 0;
    HWND form_ = nullptr, check1_ = nullptr;
};

void ExpectBox(const std::optional<MessageBoxSeen>& box, const Brasselt& app,
               const std::wstring& text, const std::vector<int>& buttons, bool icon) {
    ASSERT_TRUE(box) << "no message box";
    EXPECT_EQ(box->title, L"Tolvik Autorun");
    EXPECT_EQ(box->text, text);
    EXPECT_EQ(box->buttons, buttons);
    EXPECT_EQ(box->icon, icon);
    EXPECT_EQ(box->owner, app.form()) << "a box the window does not own is not modal to it";
}

// The failure box's text: the system's reason for the error, then the last line if any.
std::wstring Failure(DWORD error, const std::wstring& lastLine = L"") {
    return L"The AutoRun setting could not be changed.\n" + SystemText(error) +
           (lastLine.empty() ? L"" : L"\n" + lastLine);
}

// While it lives, the key is a link to a key that does not exist: a write then fails with
// "file not found" instead of access denied. Not even the target's parent exists, or creating
// the key through the link would create the target.
class LinkToNowhere {
public:
    explicit LinkToNowhere(const std::wstring& path) : path_(path) {
        HKEY link = nullptr;
        RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, REG_OPTION_CREATE_LINK,
                        KEY_ALL_ACCESS | KEY_CREATE_LINK | KEY_WOW64_64KEY, nullptr, &link,
                        nullptr);
        const std::wstring target = L"\\Registry\\Machine\\Software\\BrasseltNowhere\\AtAll";
        RegSetValueExW(link, L"SymbolicLinkValue", 0, REG_LINK,
                       reinterpret_cast<const BYTE*>(target.data()),
                       static_cast<DWORD>(target.size() * sizeof(wchar_t)));
        RegCloseKey(link);
    }
    ~LinkToNowhere() {
        HKEY link = nullptr;
        RegOpenKeyExW(HKEY_LOCAL_MACHINE, path_.c_str(), REG_OPTION_OPEN_LINK,
                      DELETE | KEY_WOW64_64KEY, &link);
        NtDeleteKey(link);
        RegCloseKey(link);
    }
    LinkToNowhere(const LinkToNowhere&) = delete;
    LinkToNowhere& operator=(const LinkToNowhere&) = delete;

private:
    std::wstring path_;
};

class EndToEnd : public ::testing::Test {
protected:
    void SetUp() override { testreg::DeleteTree(kKey); }
    void TearDown() override {
        // A failed test may leave a copy behind that the next test would find.
        for (DWORD id : BrasseltProcesses()) {
            const HANDLE copy = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id);
            TerminateProcess(copy, 99);
            WaitForSingleObject(copy, 30000);
            CloseHandle(copy);
        }
        testreg::DeleteTree(kKey);
    }
};

TEST_F(EndToEnd, StartsTickedExactlyWhenTheMarkerIsStored) {
    const struct {
        const char* what;
        std::optional<testreg::Value> stored;
        LRESULT state;
    } cases[] = {
        {"marker", Sz(kMarker + kNul), BST_CHECKED},
        {"missing key", std::nullopt, BST_UNCHECKED},
        {"enabled marker", Sz(L"0" + kNul), BST_UNCHECKED},
        {"empty string", Sz(kNul), BST_UNCHECKED},
        {"other letter case", Sz(L"@sys:doesnotexist" + kNul), BST_UNCHECKED},
        {"another @SYS mapping", Sz(L"@SYS:Elsewhere" + kNul), BST_UNCHECKED},
        {"trailing space", Sz(kMarker + L" " + kNul), BST_UNCHECKED},
        {"a number", testreg::Raw(REG_DWORD, {'A', 'B', 'C', 'D'}), BST_UNCHECKED},
        {"100,000 bytes without a NUL", testreg::Raw(REG_BINARY, std::vector<BYTE>(100000, 'A')),
         BST_UNCHECKED},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        testreg::DeleteTree(kKey);
        if (c.stored) testreg::Set(kKey, *c.stored);

        const Brasselt app;
        ASSERT_TRUE(app.form()) << "no window";
        EXPECT_EQ(app.State(), c.state);
        EXPECT_FALSE(app.WaitForBox(500)) << "a message at start";
        EXPECT_EQ(app.Close(), 0u);
        EXPECT_EQ(testreg::Get(kKey), c.stored) << "start-up wrote the registry";
    }
}

TEST_F(EndToEnd, EveryClickWritesItsMarkerAndConfirms) {
    testreg::Set(kKey, Sz(L"0" + kNul));
    const Brasselt app;
    ASSERT_TRUE(app.form());
    for (const bool ticking : {true, false, true, false}) {
        SCOPED_TRACE(ticking ? "ticking" : "unticking");
        const std::wstring marker = ticking ? kMarker : L"0";
        // Already there, but for the NUL: the click must write all the same.
        testreg::Set(kKey, Sz(marker));
        ticking ? app.Click() : app.PressSpace();

        const auto box = app.WaitForBox();
        ExpectBox(box, app, ticking ? kCanceled : kEnabled, {IDOK}, false);
        EXPECT_EQ(testreg::Get(kKey), Sz(marker + kNul));
        ASSERT_TRUE(box);
        app.Answer(*box, IDOK);
        EXPECT_EQ(app.State(), ticking ? BST_CHECKED : BST_UNCHECKED);
    }
    EXPECT_EQ(app.Close(), 0u);
}

TEST_F(EndToEnd, RefusalWhenElevatedExplainsAndShowsTheRegistry) {
    testreg::Set(kKey, Sz(L"0" + kNul));
    const testreg::DenyWrites deny(kKey);
    ASSERT_TRUE(deny.applied());
    const Brasselt app;
    ASSERT_TRUE(app.form());

    app.Click();
    const auto box = app.WaitForBox();
    ExpectBox(box, app,
              Failure(ERROR_ACCESS_DENIED, L"Run Brasselt as an administrator to change it."),
              {IDOK}, true);
    ASSERT_TRUE(box);
    app.Answer(*box, IDOK);
    EXPECT_EQ(app.State(), BST_UNCHECKED) << "the box must show what is stored";
    EXPECT_FALSE(app.WaitForBox(500)) << "a second message";
    EXPECT_EQ(testreg::Get(kKey), Sz(L"0" + kNul));
    EXPECT_EQ(app.Close(), 0u);
}

TEST_F(EndToEnd, RefusalWhenNotElevatedOffersARestartAsAdministrator) {
    testreg::Set(kKey, Sz(kMarker + kNul));
    const testreg::DenyWrites deny(kKey);
    ASSERT_TRUE(deny.applied());
    // A copy of its own, in a folder that the test can move away.
    const std::wstring folder = BuildFolder() + L"\\restart", moved = folder + L"-moved";
    DeleteFileW((moved + kExe).c_str());
    RemoveDirectoryW(moved.c_str());
    CreateDirectoryW(folder.c_str(), nullptr);
    ASSERT_TRUE(CopyFileW((BuildFolder() + kExe).c_str(), (folder + kExe).c_str(), FALSE));
    const Brasselt app(true, folder + kExe);
    ASSERT_TRUE(app.form());

    app.Click();
    auto box = app.WaitForBox();
    ExpectBox(box, app,
              Failure(ERROR_ACCESS_DENIED, L"Restart Brasselt as an administrator to change it?"),
              {IDYES, IDNO}, true);
    ASSERT_TRUE(box);
    app.Answer(*box, IDNO);
    EXPECT_EQ(app.State(), BST_CHECKED) << "No: the box must show what is stored";
    EXPECT_EQ(BrasseltProcesses(), std::vector<DWORD>{app.id()}) << "No started another copy";

    // Yes, but the exe has moved away: the failure box, with OK only.
    ASSERT_TRUE(MoveFileW(folder.c_str(), moved.c_str()));
    app.Click();
    box = app.WaitForBox();
    ASSERT_TRUE(box);
    app.Answer(*box, IDYES);
    box = app.WaitForBox();
    ExpectBox(box, app, Failure(ERROR_PATH_NOT_FOUND), {IDOK}, true);
    ASSERT_TRUE(box);
    app.Answer(*box, IDOK);
    EXPECT_EQ(app.State(), BST_CHECKED);
    ASSERT_TRUE(MoveFileW(moved.c_str(), folder.c_str()));

    app.Click();
    box = app.WaitForBox();
    ASSERT_TRUE(box);
    app.Answer(*box, IDYES);
    EXPECT_EQ(app.ExitCode(), 0u) << "Yes: this copy makes way for the new one";
    const auto others = BrasseltProcesses();
    ASSERT_EQ(others.size(), 1u) << "Yes started no other copy";
    const Brasselt restarted(others[0]);
    ASSERT_TRUE(restarted.form());
    EXPECT_EQ(restarted.State(), BST_CHECKED) << "the new copy shows what is stored";
    EXPECT_EQ(restarted.Close(), 0u);
    EXPECT_EQ(testreg::Get(kKey), Sz(kMarker + kNul));
}

TEST_F(EndToEnd, OtherFailuresGetTheOkBoxOnly) {
    const LinkToNowhere link(kKey);
    const Brasselt app(true);
    ASSERT_TRUE(app.form());

    app.Click();
    const auto box = app.WaitForBox();
    ExpectBox(box, app, Failure(ERROR_FILE_NOT_FOUND), {IDOK}, true);
    ASSERT_TRUE(box);
    app.Answer(*box, IDOK);
    EXPECT_EQ(app.State(), BST_UNCHECKED) << "nothing readable is stored";
    EXPECT_EQ(app.Close(), 0u);
}

TEST_F(EndToEnd, ThreeHundredClicksLeakNothing) {
    testreg::Set(kKey, Sz(L"0" + kNul));
    const Brasselt app;
    ASSERT_TRUE(app.form());
    const auto click = [&] {
        app.Click();
        const auto box = app.WaitForBox();
        ASSERT_TRUE(box);
        app.Answer(*box, IDOK);
    };
    const auto pagefile = [&] {
        PROCESS_MEMORY_COUNTERS memory{};
        GetProcessMemoryInfo(app.process(), &memory, sizeof memory);
        return memory.PagefileUsage;
    };
    // The first rounds fill caches that are not leaks.
    for (int i = 0; i < 10; ++i)
        ASSERT_NO_FATAL_FAILURE(click());
    const size_t handles = HandlesOf(app.id()), memory = pagefile();
    for (int i = 0; i < 300; ++i)
        ASSERT_NO_FATAL_FAILURE(click()) << "click " << i;

    EXPECT_GT(handles, 0u) << "no handles counted";
    EXPECT_LE(HandlesOf(app.id()), handles + 10);
    EXPECT_LE(pagefile(), memory + 256 * 1024);
    EXPECT_EQ(testreg::Get(kKey), Sz(L"0" + kNul)) << "310 clicks from unticked";
    EXPECT_EQ(app.Close(), 0u);
}

}  // namespace
