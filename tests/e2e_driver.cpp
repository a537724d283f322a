// Starts the real Brasselt.exe and works it as a user would: mouse clicks and key presses sent
// through SendInput, message boxes compared with their golden images and answered on screen,
// the registry read back. Every copy starts from a folder where a download has planted DLLs
// named like system ones beside it, and none of them may load.

#include <windows.h>

#include <sddl.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "golden.h"
#include "win32/win32.h"

namespace {

using golden::Folder;
using golden::WaitFor;

const std::wstring kKey =
    L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\IniFileMapping\\Autorun.inf";
const std::wstring kMarker = L"@SYS:DoesNotExist";
const std::wstring kNul(1, L'\0');
// Under Wine only uxtheme is loaded after start; Windows has loaded each of the others from a
// program's own folder at some time.
const wchar_t* const kPlanted[] = {L"uxtheme", L"dwmapi", L"propsys",  L"cryptbase", L"profapi",
                                   L"userenv", L"winmm",  L"wtsapi32", L"dbghelp",   L"sspicli"};

std::wstring PlantedFolder() { return Folder(L"BRASSELT_BUILD") + L"\\planted\\"; }

// The default value as the wide API stores it, read from the registry view the system reads
// unless told otherwise: the test is a 32-bit process, like Brasselt.
struct Value {
    DWORD type;
    std::vector<BYTE> bytes;
    bool operator==(const Value&) const = default;
};

Value Sz(const std::wstring& text) {  // add the terminating NUL yourself
    const auto* first = reinterpret_cast<const BYTE*>(text.data());
    return {REG_SZ, {first, first + text.size() * sizeof(wchar_t)}};
}

void Set(const Value& value, REGSAM view = KEY_WOW64_64KEY) {
    HKEY key = nullptr;
    RegCreateKeyExW(HKEY_LOCAL_MACHINE, kKey.c_str(), 0, nullptr, 0, KEY_SET_VALUE | view, nullptr,
                    &key, nullptr);
    const win32::UniqueKey owned(key);
    RegSetValueExW(key, L"", 0, value.type, value.bytes.data(), DWORD(value.bytes.size()));
}

// A buffer of exactly the stored size: Wine appends a NUL to a string where there is room.
std::optional<Value> Get(REGSAM view = KEY_WOW64_64KEY) {
    HKEY key = nullptr;
    RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKey.c_str(), 0, KEY_QUERY_VALUE | view, &key);
    const win32::UniqueKey owned(key);
    Value value{REG_NONE, {}};
    DWORD size = 0;
    if (RegQueryValueExW(key, L"", nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS) return {};
    value.bytes.resize(size);
    RegQueryValueExW(key, L"", nullptr, &value.type, value.bytes.data(), &size);
    return value;
}

void DeleteKeys() {
    for (const REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY})
        RegDeleteKeyExW(HKEY_LOCAL_MACHINE, kKey.c_str(), view, 0);
}

// While it lives, nobody may write the key, as a locked-down HKLM key refuses even a program
// that runs elevated; afterwards anyone may, so that the test can delete it.
class DenyWrites {
public:
    DenyWrites() : applied_(SetDacl("D:P(D;;KW;;;WD)(A;;KR;;;WD)")) {}
    ~DenyWrites() { SetDacl("D:P(A;;KA;;;WD)"); }
    bool applied() const { return applied_; }

private:
    static bool SetDacl(const char* sddl) {
        HKEY key = nullptr;
        RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKey.c_str(), 0, WRITE_DAC | KEY_WOW64_64KEY, &key);
        const win32::UniqueKey owned(key);
        PSECURITY_DESCRIPTOR dacl = nullptr;
        ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &dacl, nullptr);
        const bool set = RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, dacl) == ERROR_SUCCESS;
        LocalFree(dacl);
        return set;
    }
    bool applied_;
};

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
class Brasselt {
public:
    // Wine starts every process elevated. A limited copy gets the linked token instead, as
    // Windows gives the program to a double-click.
    explicit Brasselt(bool limited = false) {
        const std::wstring exe = PlantedFolder() + L"Brasselt.exe";
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
        TerminateProcess(process_, 99);
        CloseHandle(process_);
    }
    Brasselt(const Brasselt&) = delete;
    Brasselt& operator=(const Brasselt&) = delete;

    DWORD id() const { return id_; }
    HWND form() const { return form_; }
    LRESULT State() const { return SendMessageW(check1_, BM_GETCHECK, 0, 0); }

    // On the box itself, at the left end of the control.
    void Click() const {
        RECT box;
        GetWindowRect(check1_, &box);
        ClickAt(form_, {box.left + 7, (box.top + box.bottom) / 2});
    }

    // The space bar, which the checkbox must receive: it is the window's only tab stop.
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

    // The box the user must see, as a whole (title, text, buttons, icon or none), owned by
    // the window so that it is modal to it; answered with that button.
    void ExpectBox(const wchar_t* golden, int answer) const {
        HWND box = nullptr;
        ASSERT_TRUE(WaitFor([&] { return (box = FindWindowOf(id_, L"#32770", nullptr)); }))
            << "no message box";
        EXPECT_EQ(GetWindow(box, GW_OWNER), form_) << "a box the window does not own";
        EXPECT_TRUE(golden::LooksLike(box, golden));
        RECT button;
        ASSERT_TRUE(GetWindowRect(GetDlgItem(box, answer), &button)) << "no button " << answer;
        ClickAt(box, {(button.left + button.right) / 2, (button.top + button.bottom) / 2});
        EXPECT_TRUE(WaitFor([&] { return !IsWindow(box); })) << "the box stayed open";
    }

    bool ShowsABox() const {
        return WaitFor([&] { return FindWindowOf(id_, L"#32770", nullptr); }, 500);
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

    HANDLE process_ = nullptr;
    DWORD id_ = 0;
    HWND form_ = nullptr, check1_ = nullptr;
};

class EndToEnd : public ::testing::Test {
protected:
    // Brasselt.exe beside the planted DLLs, each of which leaves NAME.dll.loaded when it is
    // loaded. Wine prefers its own DLLs: its per-program overrides make it look for these
    // beside the exe first, as Windows does for any DLL that is not a KnownDLL.
    static void SetUpTestSuite() {
        const std::wstring folder = PlantedFolder(), build = Folder(L"BRASSELT_BUILD");
        CreateDirectoryW(folder.c_str(), nullptr);
        CopyFileW((build + L"\\Brasselt.exe").c_str(), (folder + L"Brasselt.exe").c_str(), FALSE);
        HKEY key = nullptr;
        RegCreateKeyExW(HKEY_CURRENT_USER,
                        L"Software\\Wine\\AppDefaults\\Brasselt.exe\\DllOverrides", 0, nullptr, 0,
                        KEY_SET_VALUE, nullptr, &key, nullptr);
        const win32::UniqueKey owned(key);
        for (const wchar_t* name : kPlanted) {
            CopyFileW((build + L"\\tests\\plant.dll").c_str(), (folder + name + L".dll").c_str(),
                      FALSE);
            RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(L"n,b"),
                           sizeof L"n,b");
        }
    }
    void SetUp() override { DeleteKeys(); }
    void TearDown() override {
        // A failed test may leave a copy behind that the next test would find.
        for (DWORD id : BrasseltProcesses()) {
            const win32::UniqueHandle copy(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id));
            TerminateProcess(copy.get(), 99);
            WaitForSingleObject(copy.get(), 30000);
        }
        DeleteKeys();
        for (const wchar_t* name : kPlanted) {
            EXPECT_FALSE(DeleteFileW((PlantedFolder() + name + L".dll.loaded").c_str()))
                << "Brasselt loaded the " << name << ".dll planted beside it";
        }
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
        std::optional<Value> stored, stored32;
        LRESULT state;
    } cases[] = {
        {"the marker", Sz(kMarker + kNul), {}, BST_CHECKED},
        {"the marker, then what a longer value left",
         Sz(kMarker + kNul + L"x" + kNul),
         {},
         BST_CHECKED},
        {"no key", {}, {}, BST_UNCHECKED},
        {"the marker in the Wow6432Node copy only", {}, Sz(kMarker + kNul), BST_UNCHECKED},
        {"other letter case", Sz(L"@sys:doesnotexist" + kNul), {}, BST_UNCHECKED},
        {"a longer text", Sz(kMarker + L" " + kNul), {}, BST_UNCHECKED},
        {"the first NUL past 32,767",
         Sz(std::wstring(40000, L'x') + kNul + kMarker + kNul),
         {},
         BST_UNCHECKED},
        {"100,000 bytes without a NUL",
         Value{REG_BINARY, std::vector<BYTE>(100000, 'A')},
         {},
         BST_UNCHECKED},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        DeleteKeys();
        if (c.stored) Set(*c.stored);
        if (c.stored32) Set(*c.stored32, KEY_WOW64_32KEY);
        const Brasselt app;
        ASSERT_TRUE(app.form()) << "no window";
        EXPECT_EQ(app.State(), c.state);
        EXPECT_FALSE(app.ShowsABox()) << "a message at start";
        EXPECT_EQ(app.Close(), 0u);
        EXPECT_EQ(Get(), c.stored) << "starting wrote the registry";
    }
}

TEST_F(EndToEnd, EveryClickWritesItsMarkerAndConfirms) {
    const Brasselt app;
    ASSERT_TRUE(app.form());
    // The key is missing: the click creates it.
    app.Click();
    app.ExpectBox(L"box-canceled", IDOK);
    EXPECT_EQ(app.State(), BST_CHECKED);
    EXPECT_EQ(Get(), Sz(kMarker + kNul));

    app.PressSpace();
    app.ExpectBox(L"box-enabled", IDOK);
    EXPECT_EQ(app.State(), BST_UNCHECKED);
    EXPECT_EQ(Get(), Sz(L"0" + kNul));
    EXPECT_EQ(Get(KEY_WOW64_32KEY), std::nullopt) << "wrote the Wow6432Node copy";
    EXPECT_EQ(app.Close(), 0u);
}

// For many machines at once: each file stores what a click stores, where it stores it.
TEST_F(EndToEnd, FleetFilesStoreWhatAClickStores) {
    for (const bool disable : {true, false}) {
        std::wstring command = L"reg.exe import \"" + Folder(L"BRASSELT_SOURCE") + L"\\fleet\\" +
                               (disable ? L"disable" : L"enable") + L"-autorun.reg\" /reg:64";
        SCOPED_TRACE(command);
        DeleteKeys();
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION reg{};
        ASSERT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                   nullptr, &startup, &reg));
        DWORD code = 1;
        WaitForSingleObject(reg.hProcess, 30000);
        GetExitCodeProcess(reg.hProcess, &code);
        CloseHandle(reg.hThread);
        CloseHandle(reg.hProcess);
        EXPECT_EQ(code, 0u);
        EXPECT_EQ(Get(), Sz((disable ? kMarker : L"0") + kNul));
        EXPECT_EQ(Get(KEY_WOW64_32KEY), std::nullopt) << "wrote the Wow6432Node copy";
        const Brasselt app;
        EXPECT_EQ(app.State(), disable ? BST_CHECKED : BST_UNCHECKED);
        EXPECT_EQ(app.Close(), 0u);
    }
}

// The same stored marker, refused by the key's permissions: elevated, then with a limited
// token as a double-click starts it.
TEST_F(EndToEnd, ARefusedWriteSaysWhyAndShowsWhatIsStored) {
    Set(Sz(kMarker + kNul));
    const DenyWrites deny;
    ASSERT_TRUE(deny.applied());
    {
        const Brasselt app;
        app.Click();
        app.ExpectBox(L"box-refused-even-to-administrator", IDOK);
        EXPECT_EQ(app.State(), BST_CHECKED) << "the box must show what is stored";
        EXPECT_FALSE(app.ShowsABox()) << "a second message";
        EXPECT_EQ(app.Close(), 0u);
    }
    const Brasselt app(true);
    app.Click();
    app.ExpectBox(L"box-refused-offers-restart", IDNO);
    EXPECT_EQ(app.State(), BST_CHECKED) << "No: the box must show what is stored";
    EXPECT_EQ(BrasseltProcesses(), std::vector<DWORD>{app.id()}) << "No started another copy";

    app.Click();
    app.ExpectBox(L"box-refused-offers-restart", IDYES);
    EXPECT_EQ(app.ExitCode(), 0u) << "Yes: this copy makes way for the new one";
    const auto others = BrasseltProcesses();
    ASSERT_EQ(others.size(), 1u) << "Yes started no other copy";
    const Brasselt restarted(others[0]);
    EXPECT_EQ(restarted.State(), BST_CHECKED) << "the new copy shows what is stored";
    EXPECT_EQ(restarted.Close(), 0u);
    EXPECT_EQ(Get(), Sz(kMarker + kNul));
}

}  // namespace
