#include "win32gui/WindowIcon.h"

#include "win32gui/ResourceIds.h"

namespace qob::win32gui {

namespace {

HICON loadIcon(int size) {
    return static_cast<HICON>(
        LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_PRODUCT), IMAGE_ICON, size, size, 0));
}

void replaceIcon(HWND window, WPARAM which, HICON icon) {
    const auto old =
        reinterpret_cast<HICON>(SendMessageW(window, WM_SETICON, which, reinterpret_cast<LPARAM>(icon)));
    if (old != nullptr && old != icon) {
        DestroyIcon(old);
    }
}

} // namespace

void setProductIcon(HWND window, UINT dpi) {
    // GetSystemMetrics answers for the system DPI (GetSystemMetricsForDpi is Windows 10's only):
    // its sizes scaled to the window's.
    HDC screen = GetDC(nullptr);
    const int systemDpi = screen != nullptr ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen != nullptr) {
        ReleaseDC(nullptr, screen);
    }
    const auto atDpi = [&](int metric) {
        return MulDiv(GetSystemMetrics(metric), static_cast<int>(dpi), systemDpi > 0 ? systemDpi : 96);
    };
    if (HICON big = loadIcon(atDpi(SM_CXICON))) {
        replaceIcon(window, ICON_BIG, big);
    }
    if (HICON small = loadIcon(atDpi(SM_CXSMICON))) {
        replaceIcon(window, ICON_SMALL, small);
    }
}

void releaseProductIcon(HWND window) {
    replaceIcon(window, ICON_BIG, nullptr);
    replaceIcon(window, ICON_SMALL, nullptr);
}

} // namespace qob::win32gui
