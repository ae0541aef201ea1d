#pragma once
// The program's icon (IDI_PRODUCT) on a window's title bar and taskbar button. A dialog has no
// window class icon of its own, so each top-level window is given it at the sizes its DPI asks for.
#include <windows.h>

namespace qob::win32gui {

// Sets the window's large and small icons for `dpi` (again after a DPI change); the icons made
// before are destroyed, so calling it again leaks nothing.
void setProductIcon(HWND window, UINT dpi);
// Destroys the icons setProductIcon gave the window (WM_DESTROY).
void releaseProductIcon(HWND window);

} // namespace qob::win32gui
