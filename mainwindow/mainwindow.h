#pragma once

#include <windows.h>

#include "win32/win32.h"

// Form1, the program's one window: a checkbox that shows and switches AutoRun for all drives.

// Creates Form1 and its controls centred on the screen, invisible, with Check1 unchecked.
// Returns nullptr on failure; GetLastError() then tells why.
HWND CreateForm1(HINSTANCE instance);

// Sets Check1 from the registry. Run once, before the window is first shown.
void Form1_Load(HWND form);

// The system's text for an error code, without the trailing line break.
win32::String SystemErrorText(DWORD code);
