#include "security.h"

#include <objbase.h>
#include <shellapi.h>

#include "win32/win32.h"

namespace security {

namespace {

// From the system directory only. Windows 7 without KB2533623, and XP, refuse the flag; the DLLs
// loaded here are KnownDLLs, which a plain load takes from the system directory there too.
win32::UniqueModule LoadSystemDll(const wchar_t* name) {
    HMODULE module = LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (!module && GetLastError() == ERROR_INVALID_PARAMETER) module = LoadLibraryW(name);
    return win32::UniqueModule(module);
}

}  // namespace

void HardenProcess() {
    // kernel32 is in every process, so GetModuleHandle loads nothing.
    const HMODULE kernel32 = GetModuleHandleW(L"kernel32.dll");
    // Windows 7 without KB2533623 and older lack the first; SetDllDirectoryW("") at least
    // takes the current folder out of the search.
    const auto setDefaultDllDirectories =
        win32::Function<BOOL WINAPI(DWORD)>(kernel32, "SetDefaultDllDirectories");
    if (!setDefaultDllDirectories || !setDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32)) {
        if (const auto setDllDirectory =
                win32::Function<BOOL WINAPI(LPCWSTR)>(kernel32, "SetDllDirectoryW")) {
            setDllDirectory(L"");
        }
    }
    if (const auto heapSetInformation =
            win32::Function<decltype(HeapSetInformation)>(kernel32, "HeapSetInformation")) {
        heapSetInformation(nullptr, HeapEnableTerminationOnCorruption, nullptr, 0);
    }
}

bool IsElevated() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
    const win32::UniqueHandle owned(token);
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    return GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size) &&
           elevation.TokenIsElevated;
}

DWORD RestartAsAdministrator(HWND owner) {
    win32::String path(32768, L'\0');
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0 || length == path.size()) return GetLastError();
    path.resize(length);

    // Loaded for this rare path alone, so that no start pays for them.
    const win32::UniqueModule ole32 = LoadSystemDll(L"ole32.dll");
    const auto coInitializeEx =
        win32::Function<decltype(CoInitializeEx)>(ole32.get(), "CoInitializeEx");
    const auto coUninitialize =
        win32::Function<decltype(CoUninitialize)>(ole32.get(), "CoUninitialize");
    if (!coInitializeEx || !coUninitialize) return GetLastError();
    const win32::UniqueModule shell32 = LoadSystemDll(L"shell32.dll");
    const auto shellExecuteEx =
        win32::Function<decltype(ShellExecuteExW)>(shell32.get(), "ShellExecuteExW");
    if (!shellExecuteEx) return GetLastError();

    SHELLEXECUTEINFOW execute{};
    execute.cbSize = sizeof execute;
    // Failures are reported by our own box, not the shell's.
    execute.fMask = SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
    execute.hwnd = owner;
    execute.lpVerb = L"runas";
    execute.lpFile = path.c_str();
    execute.nShow = SW_SHOWNORMAL;
    // The verb may run through a shell extension, which needs COM. If COM cannot start here,
    // the shell may still manage without it.
    const bool com =
        SUCCEEDED(coInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE));
    const DWORD error = shellExecuteEx(&execute) ? ERROR_SUCCESS : GetLastError();
    if (com) coUninitialize();
    return error;
}

}  // namespace security
