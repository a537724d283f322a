#pragma once

// What the program needs around the raw Win32 API: owners for its handles, on the model of
// WIL's unique_hkey and unique_handle, its strings, and the run-time lookup of functions that
// older Windows versions lack.

#include <windows.h>

#include <memory>
#include <string>
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

// The program's strings: wide inside, ANSI only where they cross into the registry. Traits of
// their own make the compiler build every member the program uses into the exe, without
// exceptions. libstdc++ keeps std::wstring and std::string out of line, built with exceptions
// (so with the unwinder and the thread library), and which members it keeps there differs
// from one version to the next.
template <typename Char>
struct CharTraits : std::char_traits<Char> {};
using String = std::basic_string<wchar_t, CharTraits<wchar_t>>;
using AnsiString = std::basic_string<char, CharTraits<char>>;

// The function of that name in a loaded module, or nullptr where this Windows lacks it, so
// that the exe still starts there. Signature is the function's type, e.g. BOOL WINAPI(DWORD).
template <typename Signature>
Signature* Function(HMODULE module, const char* name) {
    if (!module) return nullptr;
    // Through void (*)(), which converts to any function pointer type without a warning.
    return reinterpret_cast<Signature*>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

}  // namespace win32
