#pragma once

#include <windows.h>

// What the process may do, and what it lets others do to it. Brasselt changes the setting only
// with an administrator's rights, so it limits what can run inside it before it starts, and
// offers to start again elevated when the change is refused.
namespace security {

// Protections that cost nothing: DLLs come from the system directory only, never from the
// exe's own folder where a download may have put one, and a corrupted heap ends the process.
// Call it first. Where Windows lacks a protection, or it fails, the program goes on without it.
void HardenProcess();

// Whether the process runs with an administrator's full token. Windows before Vista cannot
// tell, and there it counts as not elevated, since a restart through the shell may still help.
bool IsElevated();

// Starts this exe again through the UAC prompt. Returns ERROR_SUCCESS, ERROR_CANCELLED when
// the user declines the prompt, or the error that stopped it.
DWORD RestartAsAdministrator(HWND owner);

}  // namespace security
