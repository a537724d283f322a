#pragma once

// Direct registry access for the tests, independent of the module under test: the wide
// functions, always in the 64-bit view on 64-bit Windows.

#include <windows.h>

#include <sddl.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace testing_registry {

struct KeyCloser {
    void operator()(HKEY key) const { RegCloseKey(key); }
};
using UniqueKey = std::unique_ptr<std::remove_pointer_t<HKEY>, KeyCloser>;

struct RawValue {
    DWORD type = REG_NONE;
    std::vector<BYTE> bytes;
};

inline UniqueKey Open(const std::wstring& path, REGSAM access, REGSAM view = KEY_WOW64_64KEY) {
    HKEY key = nullptr;
    RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, access | view, &key);
    return UniqueKey(key);
}

inline UniqueKey Create(const std::wstring& path, REGSAM view = KEY_WOW64_64KEY) {
    HKEY key = nullptr;
    RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr,
                    &key, nullptr);
    return UniqueKey(key);
}

// Removes the key at path with everything below it; a missing key is fine.
inline void DeleteTree(const std::wstring& path, REGSAM view = KEY_WOW64_64KEY) {
    const size_t slash = path.rfind(L'\\');
    const UniqueKey parent = Open(path.substr(0, slash), KEY_ALL_ACCESS, view);
    if (parent) RegDeleteTreeW(parent.get(), path.substr(slash + 1).c_str());
}

inline LONG SetRaw(const std::wstring& path, const std::wstring& name, DWORD type, const void* data,
                   size_t size, REGSAM view = KEY_WOW64_64KEY) {
    const UniqueKey key = Create(path, view);
    return RegSetValueExW(key.get(), name.c_str(), 0, type, static_cast<const BYTE*>(data),
                          static_cast<DWORD>(size));
}

// A wide string stored with exactly the characters given, embedded NULs included.
inline LONG SetString(const std::wstring& path, const std::wstring& name,
                      const std::wstring& text) {
    return SetRaw(path, name, REG_SZ, text.data(), text.size() * sizeof(wchar_t));
}

// The stored bytes as the wide API sees them, which is how the value is kept.
inline std::optional<RawValue> GetRaw(const std::wstring& path, const std::wstring& name,
                                      REGSAM view = KEY_WOW64_64KEY) {
    const UniqueKey key = Open(path, KEY_QUERY_VALUE, view);
    RawValue value;
    DWORD size = 0;
    if (RegQueryValueExW(key.get(), name.c_str(), nullptr, &value.type, nullptr, &size) != 0) {
        return std::nullopt;
    }
    value.bytes.resize(size);
    if (RegQueryValueExW(key.get(), name.c_str(), nullptr, &value.type, value.bytes.data(),
                         &size) != 0) {
        return std::nullopt;
    }
    value.bytes.resize(size);
    return value;
}

inline std::vector<BYTE> WideBytes(const std::wstring& text) {
    const auto* first = reinterpret_cast<const BYTE*>(text.data());
    return std::vector<BYTE>(first, first + text.size() * sizeof(wchar_t));
}

// While it lives, nobody may write to the key: a deny ACE for Everyone, as a locked-down
// HKLM key refuses a standard user. The old DACL comes back afterwards.
class DenyWrites {
public:
    explicit DenyWrites(const std::wstring& path) : key_(Open(path, READ_CONTROL | WRITE_DAC)) {
        DWORD size = 0;
        RegGetKeySecurity(key_.get(), DACL_SECURITY_INFORMATION, nullptr, &size);
        saved_.resize(size);
        RegGetKeySecurity(key_.get(), DACL_SECURITY_INFORMATION, saved_.data(), &size);

        PSECURITY_DESCRIPTOR denying = nullptr;
        ConvertStringSecurityDescriptorToSecurityDescriptorA("D:P(D;;KW;;;WD)(A;;KR;;;WD)",
                                                             SDDL_REVISION_1, &denying, nullptr);
        applied_ = RegSetKeySecurity(key_.get(), DACL_SECURITY_INFORMATION, denying) == 0;
        LocalFree(denying);
    }
    ~DenyWrites() { RegSetKeySecurity(key_.get(), DACL_SECURITY_INFORMATION, saved_.data()); }
    DenyWrites(const DenyWrites&) = delete;
    DenyWrites& operator=(const DenyWrites&) = delete;

    bool applied() const { return applied_; }

private:
    UniqueKey key_;
    std::vector<BYTE> saved_;
    bool applied_ = false;
};

inline bool IsWow64() {
    BOOL wow64 = FALSE;
    return IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
}

}  // namespace testing_registry
