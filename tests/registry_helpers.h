#pragma once

// Direct registry access for the tests, independent of the module under test: the wide
// functions, in the 64-bit view, the one the system reads. The tests run as a 32-bit process
// on 64-bit Windows, so a program that strays into Wow6432Node fails them.

#include <windows.h>

#include <sddl.h>

#include <optional>
#include <string>
#include <vector>

#include "win32/win32.h"

namespace testreg {

using win32::UniqueKey;

struct Value {
    DWORD type;
    std::vector<BYTE> bytes;
    bool operator==(const Value&) const = default;
};

inline Value Raw(DWORD type, std::vector<BYTE> bytes) { return {type, std::move(bytes)}; }

// A REG_SZ value holding exactly these characters: add the terminating NUL yourself.
inline Value Sz(const std::wstring& text) {
    const auto* first = reinterpret_cast<const BYTE*>(text.data());
    return Raw(REG_SZ, {first, first + text.size() * sizeof(wchar_t)});
}

// view: KEY_WOW64_64KEY, or KEY_WOW64_32KEY for the Wow6432Node copy.
inline UniqueKey Open(const std::wstring& path, REGSAM access, REGSAM view = KEY_WOW64_64KEY) {
    HKEY key = nullptr;
    RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, access | view, &key);
    return UniqueKey(key);
}

// Removes the key with everything below it; a missing key is fine.
inline void DeleteTree(const std::wstring& path, REGSAM view = KEY_WOW64_64KEY) {
    const size_t slash = path.rfind(L'\\');
    if (const UniqueKey parent = Open(path.substr(0, slash), KEY_ALL_ACCESS, view)) {
        RegDeleteTreeW(parent.get(), path.substr(slash + 1).c_str());
    }
}

// Stores the default value of the key, creating the key first.
inline void Set(const std::wstring& path, const Value& value, REGSAM view = KEY_WOW64_64KEY) {
    HKEY key = nullptr;
    RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE | view, nullptr,
                    &key, nullptr);
    const UniqueKey owned(key);
    RegSetValueExW(key, L"", 0, value.type, value.bytes.data(),
                   static_cast<DWORD>(value.bytes.size()));
}

// The default value's type and stored bytes, as the wide API keeps them. A buffer of exactly
// the stored size, since Wine appends a NUL to a string without one where there is room.
inline std::optional<Value> Get(const std::wstring& path, REGSAM view = KEY_WOW64_64KEY) {
    const UniqueKey key = Open(path, KEY_QUERY_VALUE, view);
    Value value{REG_NONE, {}};
    DWORD size = 0;
    if (RegQueryValueExW(key.get(), L"", nullptr, nullptr, nullptr, &size) != 0) {
        return std::nullopt;
    }
    value.bytes.resize(size);
    RegQueryValueExW(key.get(), L"", nullptr, &value.type, value.bytes.data(), &size);
    value.bytes.resize(size);
    return value;
}

// While it lives, nobody may write to the key: a deny ACE for Everyone, as a locked-down HKLM
// key refuses a standard user. Afterwards anyone may, so that the test can delete the key.
class DenyWrites {
public:
    explicit DenyWrites(const std::wstring& path)
        : path_(path), applied_(SetDacl("D:P(D;;KW;;;WD)(A;;KR;;;WD)")) {}
    ~DenyWrites() { SetDacl("D:P(A;;KA;;;WD)"); }
    DenyWrites(const DenyWrites&) = delete;
    DenyWrites& operator=(const DenyWrites&) = delete;
    bool applied() const { return applied_; }

private:
    bool SetDacl(const char* sddl) const {
        PSECURITY_DESCRIPTOR dacl = nullptr;
        ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &dacl, nullptr);
        const bool set = RegSetKeySecurity(Open(path_, WRITE_DAC).get(), DACL_SECURITY_INFORMATION,
                                           dacl) == ERROR_SUCCESS;
        LocalFree(dacl);
        return set;
    }

    std::wstring path_;
    bool applied_;
};

}  // namespace testreg
