#pragma once

#include <windows.h>

// The AutoRun setting for every drive: the default value of the INI-file mapping entry for
// Autorun.inf. The disabled marker maps every Autorun.inf onto a registry location that does
// not exist, so Windows takes no AutoRun instructions from any drive.
namespace autorun {

// Whether the value holds exactly the disabled marker. Anything else, a missing or unreadable
// value included, counts as AutoRun on.
bool IsDisabled();

// Writes the disabled or the enabled marker. Returns the registry status.
LONG SetDisabled(bool disabled);

}  // namespace autorun
