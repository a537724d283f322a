// Starts the real Brasselt.exe and works it as a user would: mouse clicks and key presses sent
// through SendInput, message boxes read and answered on screen, the registry read back.

#include <windows.h>

#include <psapi.h>
#include <tlhelp32.h>
#include <winternl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "golden_image.h"
#include "registry_helpers.h"

extern "C" NTSTATUS NTAPI NtDeleteKey(HANDLE key);

namespace {

using golden::BuildFolder;
using golden::WaitFor;
using testreg::Raw;
using testreg::Sz;

const std::wstring kKey =
    L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\IniFileMapping\\Autorun.inf";
const std::wstring kMarker = L"@SYS:DoesNotExist";
const std::wstring kNul(1, L'\0');
const std::wstring kExe = L"\\Brasselt.exe";

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
    const win32::UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more;
         more = Process32NextW(snapshot.get(), &entry)) {
        if (_wcsicmp(entry.szExeFile, L"Brasselt.exe") == 0) found.push_back(entry.th32ProcessID);
    }
    return found;
}

// Wine counts no handles per process (GetProcessHandleCount gives 0), but its system handle
// table lists every process's handles, registry keys and tokens included.
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

// A running copy of Brasselt, seen from outside.
class Brasselt {
public:
    // Wine starts every process elevated; a limited one gets the linked token instead, as
    // Windows gives the program to a double-click.
    explicit Brasselt(bool limited = false, const std::wstring& exe = BuildFolder() + kExe) {
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION started{};
        if (limited) {
            HANDLE token = nullptr, primary = nullptr;
            TOKEN_LINKED_TOKEN linked{};
            DWORD size = 0;
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

    // A key press, which the checkbox must receive: it is the window's only tab stop.
    void Press(WORD key) const {
        BringToFront(form_);
        GUITHREADINFO gui{};
        gui.cbSize = sizeof gui;
        ASSERT_TRUE(WaitFor([&] {
            return GetGUIThreadInfo(GetWindowThreadProcessId(form_, nullptr), &gui) &&
                   gui.hwndFocus == check1_;
        })) << "the checkbox does not have the focus";
        INPUT keys[2] = {};
        keys[0].type = keys[1].type = INPUT_KEYBOARD;
        keys[0].ki.wVk = keys[1].ki.wVk = key;
        keys[1].ki.dwFlags = KEYEVENTF_KEYUP;
        SendInput(2, keys, sizeof keys[0]);
    }

    HWND WaitForBox(DWORD timeoutMs = 30000) const {
        HWND box = nullptr;
        WaitFor([&] { return (box = FindWindowOf(id_, L"#32770", nullptr)); }, timeoutMs);
        return box;
    }

    void Answer(HWND box, int button) const {
        BringToFront(box);
        RECT rect;
        ASSERT_TRUE(GetWindowRect(GetDlgItem(box, button), &rect)) << "no button " << button;
        ClickAt({(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2});
        EXPECT_TRUE(WaitFor([&] { return !IsWindow(box); })) << "the box stayed open";
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

// The box the user must see, as a whole (title, text, buttons, icon or none), owned by the
// window so that it is modal to it; answered with that button.
void ExpectBox(const Brasselt& app, const wchar_t* golden, int answer) {
    const HWND box = app.WaitForBox();
    ASSERT_TRUE(box) << "no message box";
    EXPECT_EQ(GetWindow(box, GW_OWNER), app.form()) << "a box the window does not own";
    EXPECT_TRUE(golden::LooksLike(box, golden));
    app.Answer(box, answer);
}

// Clicks the box, or presses space, and checks the confirmation, which it then dismisses.
void ClickAndExpectConfirmation(const Brasselt& app, bool ticking, bool bySpace = false) {
    bySpace ? app.Press(VK_SPACE) : app.Click();
    ExpectBox(app, ticking ? L"box-canceled" : L"box-enabled", IDOK);
}

// While it lives, the key is a link to a key that does not exist: a write then fails with
// "file not found" instead of access denied. Not even the target's parent exists, or creating
// the key through the link would create the target.
class LinkToNowhere {
public:
    LinkToNowhere() {
        HKEY link = nullptr;
        RegCreateKeyExW(HKEY_LOCAL_MACHINE, kKey.c_str(), 0, nullptr, REG_OPTION_CREATE_LINK,
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
        RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKey.c_str(), REG_OPTION_OPEN_LINK,
                      DELETE | KEY_WOW64_64KEY, &link);
        NtDeleteKey(link);
        RegCloseKey(link);
    }
    LinkToNowhere(const LinkToNowhere&) = delete;
    LinkToNowhere& operator=(const LinkToNowhere&) = delete;
};

// The key in both registry views: the system reads only the native one, and a 32-bit program
// strays into the Wow6432Node copy unless it asks for the native view.
void DeleteKeys() {
    testreg::DeleteTree(kKey);
    testreg::DeleteTree(kKey, KEY_WOW64_32KEY);
}

class EndToEnd : public ::testing::Test {
protected:
    void SetUp() override { DeleteKeys(); }
    void TearDown() override {
        // A failed test may leave a copy behind that the next test would find.
        for (DWORD id : BrasseltProcesses()) {
            const win32::UniqueHandle copy(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id));
            TerminateProcess(copy.get(), 99);
            WaitForSingleObject(copy.get(), 30000);
        }
        DeleteKeys();
    }
};

// Run in a 96-DPI and a 144-DPI prefix, each with a golden of its own.
TEST_F(EndToEnd, LooksAsDesignedRightAfterStart) {
    const Brasselt app;
    ASSERT_TRUE(app.form()) << "no window";
    RECT frame;
    GetWindowRect(app.form(), &frame);
    EXPECT_NEAR(frame.left + frame.right, GetSystemMetrics(SM_CXSCREEN), 1) << "centred";
    EXPECT_NEAR(frame.top + frame.bottom, GetSystemMetrics(SM_CYSCREEN), 1) << "centred";
    const HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    EXPECT_TRUE(golden::LooksLike(app.form(), L"window-" + std::to_wstring(dpi)));
    EXPECT_EQ(app.Close(), 0u);
}

TEST_F(EndToEnd, StartsTickedExactlyWhenTheMarkerIsStored) {
    const struct {
        const char* what;
        std::optional<testreg::Value> stored, stored32;
        LRESULT state;
    } cases[] = {
        {"marker", Sz(kMarker + kNul), {}, BST_CHECKED},
        {"marker without a NUL",
         Raw(REG_BINARY, {kMarker.begin(), kMarker.end()}),
         {},
         BST_CHECKED},
        {"marker, NUL, what a longer value left, NUL",
         Sz(kMarker + kNul + L"left" + kNul),
         {},
         BST_CHECKED},
        {"missing key", {}, {}, BST_UNCHECKED},
        {"marker in Wow6432Node only", {}, Sz(kMarker + kNul), BST_UNCHECKED},
        {"enabled marker, marker in Wow6432Node", Sz(L"0" + kNul), Sz(kMarker + kNul),
         BST_UNCHECKED},
        {"empty string", Sz(kNul), {}, BST_UNCHECKED},
        {"other letter case", Sz(L"@sys:doesnotexist" + kNul), {}, BST_UNCHECKED},
        {"another @SYS mapping", Sz(L"@SYS:Elsewhere" + kNul), {}, BST_UNCHECKED},
        {"trailing space", Sz(kMarker + L" " + kNul), {}, BST_UNCHECKED},
        {"a NUL in the middle", Sz(L"@SYS:" + kNul + L"DoesNotExist" + kNul), {}, BST_UNCHECKED},
        {"a number", Raw(REG_DWORD, {'@', 'S', 'Y', 'S'}), {}, BST_UNCHECKED},
        {"first NUL past 32,767",
         Sz(std::wstring(40000, L'x') + kNul + kMarker + kNul),
         {},
         BST_UNCHECKED},
        {"100,000 bytes without a NUL",
         Raw(REG_BINARY, std::vector<BYTE>(100000, 'A')),
         {},
         BST_UNCHECKED},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        DeleteKeys();
        if (c.stored) testreg::Set(kKey, *c.stored);
        if (c.stored32) testreg::Set(kKey, *c.stored32, KEY_WOW64_32KEY);

        const Brasselt app;
        ASSERT_TRUE(app.form()) << "no window";
        EXPECT_EQ(app.State(), c.state);
        EXPECT_FALSE(app.WaitForBox(500)) << "a message at start";
        EXPECT_EQ(app.Close(), 0u);
        EXPECT_EQ(testreg::Get(kKey), c.stored) << "start-up wrote the registry";
    }
}

TEST_F(EndToEnd, EveryClickWritesItsMarkerAndConfirms) {
    const Brasselt app;
    ASSERT_TRUE(app.form());
    // The key is missing at the first click; the click creates it.
    ClickAndExpectConfirmation(app, true);
    EXPECT_EQ(testreg::Get(kKey), Sz(kMarker + kNul));
    EXPECT_EQ(app.State(), BST_CHECKED);

    // Over a value of another type.
    testreg::Set(kKey, Raw(REG_DWORD, {1, 0, 0, 0}));
    app.Press(VK_TAB);
    ClickAndExpectConfirmation(app, false, true);
    EXPECT_EQ(testreg::Get(kKey), Sz(L"0" + kNul));
    EXPECT_EQ(app.State(), BST_UNCHECKED);

    // Already there, but as another type of string: read back it equals what the click
    // writes, and the click must write all the same.
    for (const bool ticking : {true, false}) {
        const std::wstring marker = ticking ? kMarker : L"0";
        testreg::Set(kKey, {REG_EXPAND_SZ, Sz(marker + kNul).bytes});
        ClickAndExpectConfirmation(app, ticking);
        EXPECT_EQ(testreg::Get(kKey), Sz(marker + kNul));
    }
    EXPECT_EQ(testreg::Get(kKey, KEY_WOW64_32KEY), std::nullopt) << "wrote Wow6432Node";
    EXPECT_EQ(app.Close(), 0u);
}

TEST_F(EndToEnd, RefusalWhenElevatedExplainsAndShowsTheRegistry) {
    testreg::Set(kKey, Sz(L"0" + kNul));
    const testreg::DenyWrites deny(kKey);
    ASSERT_TRUE(deny.applied());
    const Brasselt app;
    ASSERT_TRUE(app.form());

    app.Click();
    ExpectBox(app, L"box-refused-even-to-administrator", IDOK);
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
    ExpectBox(app, L"box-refused-offers-restart", IDNO);
    EXPECT_EQ(app.State(), BST_CHECKED) << "No: the box must show what is stored";
    EXPECT_EQ(BrasseltProcesses(), std::vector<DWORD>{app.id()}) << "No started another copy";

    // Yes, but the exe has moved away: the failure box, with OK only.
    ASSERT_TRUE(MoveFileW(folder.c_str(), moved.c_str()));
    app.Click();
    ExpectBox(app, L"box-refused-offers-restart", IDYES);
    ExpectBox(app, L"box-restart-failed", IDOK);
    EXPECT_EQ(app.State(), BST_CHECKED);
    ASSERT_TRUE(MoveFileW(moved.c_str(), folder.c_str()));

    app.Click();
    ExpectBox(app, L"box-refused-offers-restart", IDYES);
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
    const LinkToNowhere link;
    const Brasselt app(true);
    ASSERT_TRUE(app.form());

    app.Click();
    ExpectBox(app, L"box-other-failure", IDOK);
    EXPECT_EQ(app.State(), BST_UNCHECKED) << "nothing readable is stored";
    EXPECT_EQ(app.Close(), 0u);
}

// Hundreds of clicks, written and refused, leave the program with no more handles (registry
// keys and tokens among them) and no more memory than before.
TEST_F(EndToEnd, HundredsOfClicksLeakNothing) {
    const Brasselt app(true);
    ASSERT_TRUE(app.form());
    const auto click = [&](int answer) {
        app.Click();
        const HWND box = app.WaitForBox();
        ASSERT_TRUE(box);
        app.Answer(box, answer);
    };
    const auto clicks = [&](int written, int refused) {
        for (int i = 0; i < written; ++i)
            ASSERT_NO_FATAL_FAILURE(click(IDOK)) << "written click " << i;
        // Refused, they get the offer to restart, which the user declines.
        const testreg::DenyWrites deny(kKey);
        for (int i = 0; i < refused; ++i)
            ASSERT_NO_FATAL_FAILURE(click(IDNO)) << "refused click " << i;
    };
    const auto pagefile = [&] {
        PROCESS_MEMORY_COUNTERS memory{};
        GetProcessMemoryInfo(app.process(), &memory, sizeof memory);
        return memory.PagefileUsage;
    };
    // The first rounds fill caches that are not leaks.
    ASSERT_NO_FATAL_FAILURE(clicks(10, 10));
    const size_t handles = HandlesOf(app.id()), memory = pagefile();
    ASSERT_NO_FATAL_FAILURE(clicks(75, 75));

    EXPECT_GT(handles, 0u) << "no handles counted";
    EXPECT_LE(HandlesOf(app.id()), handles + 10);
    // Measured: 0 to 4 KiB more after these clicks.
    EXPECT_LE(pagefile(), memory + 64 * 1024);
    EXPECT_EQ(app.Close(), 0u);
}

// Wine prefers its own DLLs. While it lives, Brasselt.exe looks for these native first, as
// Windows does for DLLs that are not KnownDLLs.
class NativeFirst {
public:
    explicit NativeFirst(const std::vector<std::wstring>& names) {
        HKEY key = nullptr;
        RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                        nullptr);
        const win32::UniqueKey owned(key);
        for (const std::wstring& name : names) {
            RegSetValueExW(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(L"n,b"),
                           sizeof L"n,b");
        }
    }
    ~NativeFirst() { RegDeleteTreeW(HKEY_CURRENT_USER, kKey); }
    NativeFirst(const NativeFirst&) = delete;
    NativeFirst& operator=(const NativeFirst&) = delete;

private:
    static constexpr wchar_t kKey[] = L"Software\\Wine\\AppDefaults\\Brasselt.exe\\DllOverrides";
};

// A DLL that a download put beside the exe must not run inside it: with administrator rights
// it could do anything. The test DLL leaves a file NAME.dll.loaded when it is loaded.
TEST_F(EndToEnd, LoadsNoDllFromItsOwnFolder) {
    const std::vector<std::wstring> names = {L"uxtheme", L"dwmapi",  L"propsys", L"cryptbase",
                                             L"profapi", L"userenv", L"winmm",   L"wtsapi32",
                                             L"dbghelp", L"sspicli"};
    const std::wstring folder = BuildFolder() + L"\\planted\\";
    CreateDirectoryW(folder.c_str(), nullptr);
    ASSERT_TRUE(CopyFileW((BuildFolder() + kExe).c_str(), (folder + kExe).c_str(), FALSE));
    for (const std::wstring& name : names) {
        DeleteFileW((folder + name + L".dll.loaded").c_str());
        ASSERT_TRUE(CopyFileW((BuildFolder() + L"\\tests\\plant.dll").c_str(),
                              (folder + name + L".dll").c_str(), FALSE));
    }
    const NativeFirst nativeFirst(names);
    const Brasselt app(false, folder + kExe);
    ASSERT_TRUE(app.form());
    ClickAndExpectConfirmation(app, true);
    EXPECT_EQ(app.Close(), 0u);

    for (const std::wstring& name : names) {
        EXPECT_EQ(GetFileAttributesW((folder + name + L".dll.loaded").c_str()),
                  INVALID_FILE_ATTRIBUTES)
            << "loaded the planted " << name << ".dll";
    }
}

}  // namespace
