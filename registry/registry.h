#pragma once

#include <windows.h>

#include <optional>

#include "win32/win32.h"

// String values in the registry, through the ANSI registry functions. The strings are wide
// inside the program and cross into the registry in the system's ANSI code page. view is 0, or
// KEY_WOW64_64KEY / KEY_WOW64_32KEY for one registry view of 64-bit Windows.
namespace registry {

// Creates the key (and any missing parents) if needed and stores data as a REG_SZ value,
// terminating NUL included. Returns the failing create's status, or else the store's.
LONG WriteStringValue(HKEY root, const win32::String& keyPath, const win32::String& valueName,
                      const win32::String& data, REGSAM view);

// The value's data as text, cut at its first NUL, or nullopt when it cannot be read (missing
// key or value, refused access). The type is not checked: any data reads as text.
std::optional<win32::String> ReadStringValue(HKEY root, const win32::String& keyPath,
                                             const win32::String& valueName, REGSAM view);

}  // namespace registry
