#include "dpi.h"

#include "win32/win32.h"

namespace dpi {
namespace {

HMODULE User32() { return GetModuleHandleW(L"user32.dll"); }

}  // namespace

void DeclareAwareness() {
    // Per-monitor v2 (Windows 10 1703), per-monitor (8.1), system-aware (Vista): the first
    // that this Windows has and accepts.
    if (const auto setContext = win32::Function<BOOL WINAPI(DPI_AWARENESS_CONTEXT)>(
            User32(), "SetProcessDpiAwarenessContext")) {
        if (setContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2)) return;
    } else {
        // Only where the first is missing: shcore is not among the DLLs every process has, and
        // loading it costs every start. The system directory is the only place to load it from.
        const win32::UniqueModule shcore(
            LoadLibraryExW(L"shcore.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
        constexpr int kPerMonitorAware = 2;  // PROCESS_PER_MONITOR_DPI_AWARE
        if (const auto setAwareness =
                win32::Function<HRESULT WINAPI(int)>(shcore.get(), "SetProcessDpiAwareness");
            setAwareness && SUCCEEDED(setAwareness(kPerMonitorAware))) {
            return;
        }
    }
    if (const auto setAware = win32::Function<BOOL WINAPI()>(User32(), "SetProcessDPIAware")) {
        setAware();
    }
}

UINT Of(HWND window) {
    if (const auto forWindow = win32::Function<UINT WINAPI(HWND)>(User32(), "GetDpiForWindow")) {
        if (const UINT dpi = forWindow(window)) return dpi;
    }
    const HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi > 0 ? static_cast<UINT>(dpi) : USER_DEFAULT_SCREEN_DPI;
}

int TwipsToPixels(int twips, UINT dpi) { return MulDiv(twips, static_cast<int>(dpi), 1440); }

void AdjustWindowRect(RECT& rect, DWORD style, UINT dpi) {
    if (const auto forDpi = win32::Function<BOOL WINAPI(RECT*, DWORD, BOOL, DWORD, UINT)>(
            User32(), "AdjustWindowRectExForDpi")) {
        if (forDpi(&rect, style, FALSE, 0, dpi)) return;
    }
    AdjustWindowRectEx(&rect, style, FALSE, 0);
}

}  // namespace dpi
