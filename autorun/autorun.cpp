#include "autorun.h"

#include "registry/registry.h"

namespace autorun {
namespace {

constexpr wchar_t kKeyPath[] =
    L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\IniFileMapping\\Autorun.inf";
constexpr wchar_t kDefaultValue[] = L"";
constexpr wchar_t kDisabledMarker[] = L"@SYS:DoesNotExist";
constexpr wchar_t kEnabledMarker[] = L"0";

// A 32-bit process on 64-bit Windows would otherwise be redirected to Wow6432Node, which the
// system's own AutoRun lookup never reads. The flag is ignored on 32-bit Windows.
constexpr REGSAM kNativeView = KEY_WOW64_64KEY;

}  // namespace

bool IsDisabled() {
    return registry::ReadStringValue(HKEY_LOCAL_MACHINE, kKeyPath, kDefaultValue, kNativeView) ==
           kDisabledMarker;
}

LONG SetDisabled(bool disabled) {
    return registry::WriteStringValue(HKEY_LOCAL_MACHINE, kKeyPath, kDefaultValue,
                                      disabled ? kDisabledMarker : kEnabledMarker, kNativeView);
}

}  // namespace autorun
