#include "registry.h"

#include "win32/win32.h"

namespace registry {
namespace {

// The only crossings between the program's wide strings and the ANSI code page. Explicit
// lengths keep embedded NULs.
win32::AnsiString ToAnsi(const win32::String& text) {
    if (text.empty()) return {};
    const int size = WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    win32::AnsiString ansi(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), ansi.data(), size,
                        nullptr, nullptr);
    return ansi;
}

win32::String FromAnsi(const win32::AnsiString& ansi) {
    if (ansi.empty()) return {};
    const int size =
        MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), nullptr, 0);
    win32::String text(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), text.data(), size);
    return text;
}

}  // namespace

LONG WriteStringValue(HKEY root, const win32::String& keyPath, const win32::String& valueName,
                      const win32::String& data, REGSAM view) {
    HKEY handle = nullptr;
    const LONG created =
        RegCreateKeyExA(root, ToAnsi(keyPath).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_SET_VALUE | view, nullptr, &handle, nullptr);
    // Without a key the store could only fail with "invalid handle", hiding the real cause.
    if (created != ERROR_SUCCESS) return created;
    const win32::UniqueKey key(handle);

    const win32::AnsiString bytes = ToAnsi(data);
    return RegSetValueExA(key.get(), ToAnsi(valueName).c_str(), 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(bytes.c_str()),
                          static_cast<DWORD>(bytes.size() + 1));
}

std::optional<win32::String> ReadStringValue(HKEY root, const win32::String& keyPath,
                                             const win32::String& valueName, REGSAM view) {
    // A failed open leaves the handle null, and both queries below then fail on it.
    HKEY handle = nullptr;
    RegOpenKeyExA(root, ToAnsi(keyPath).c_str(), 0, KEY_QUERY_VALUE | view, &handle);
    const win32::UniqueKey key(handle);
    const win32::AnsiString name = ToAnsi(valueName);

    DWORD size = 0;
    DWORD sizeType = 0;
    RegQueryValueExA(key.get(), name.c_str(), nullptr, &sizeType, nullptr, &size);

    // Spaces, not zeros: data that ends short of the buffer keeps the unfilled tail as spaces.
    win32::AnsiString buffer(size, ' ');
    DWORD dataType = 0;
    const LONG status = RegQueryValueExA(key.get(), name.c_str(), nullptr, &dataType,
                                         reinterpret_cast<BYTE*>(buffer.data()), &size);
    if (status != ERROR_SUCCESS) return std::nullopt;

    win32::String text = FromAnsi(buffer);
    if (const size_t nul = text.find(L'\0'); nul != win32::String::npos) text.resize(nul);
    return text;
}

}  // namespace registry
