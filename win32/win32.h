#pragma once

// What the program needs around the raw Win32 API: owners for its handles, on the model of
// WIL's unique_hkey and unique_handle, and the run-time lookup of functions that older
// Windows versions lack.

#include <windows.h>

#include <memory>
#include <type_traits>

namespace win32 {

template <auto Close>
struct Closer {
    template <typename Handle>
    void operator()(Handle handle) const {
        Close(handle);
    }
};

// Move-only, and closed with the function that matches how the handle was made.
template <typename Handle, auto Close>
using UniqueHandleOf = std::unique_ptr<std::remove_pointer_t<Handle>, Closer<Close>>;

using UniqueKey = UniqueHandleOf<HKEY, RegCloseKey>;
using UniqueHandle = UniqueHandleOf<HANDLE, CloseHandle>;
using UniqueFont = UniqueHandleOf<HFONT, DeleteObject>;
using UniqueModule = UniqueHandleOf<HMODULE, FreeLibrary>;

// The function of that name in a loaded module, or nullptr where this Windows lacks it, so
// that the exe still starts there. Signature is the function's type, e.g. BOOL WINAPI(DWORD).
template <typename Signature>
Signature* Function(HMODULE module, const char* name) {
    if (!module) return nullptr;
    // Through void (*)(), which converts to any function pointer type without a warning.
    return reinterpret_cast<Signature*>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

}  // namespace win32
