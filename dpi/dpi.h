#pragma once

#include <windows.h>

// Display scale. Brasselt's layout is in twips, 1/1440 inch, so it has a true size at any DPI.
namespace dpi {

// Tells Windows that the program draws itself at the display's DPI, at the best level this
// Windows knows, so that it is not stretched and blurred on a scaled display. Before any
// window. Where no level can be set, Windows scales the program as before.
void DeclareAwareness();

// The DPI that the window is drawn at, or for nullptr the screen's.
UINT Of(HWND window);

// Twips to whole pixels at that DPI.
int TwipsToPixels(int twips, UINT dpi);

// The window rectangle around that client rectangle, with the frame drawn at that DPI.
void AdjustWindowRect(RECT& rect, DWORD style, UINT dpi);

}  // namespace dpi
