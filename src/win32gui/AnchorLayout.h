#pragma once
// Keeps a resizable dialog's controls where its template put them relative to the edges they are
// anchored to: each edge of a control moves by a share of the change in the client area's width
// or height (0 stays with the left or top, 1 follows the right or bottom, ½ keeps two controls side
// by side sharing the width; a loss of height may be shared otherwise). The layout is the template's own as
// first shown, so it holds at every DPI the dialog manager created it for; a DPI change scales it.
#include <windows.h>

#include <span>
#include <vector>

namespace qob::win32gui {

struct Anchor {
    int id;
    float left;
    float top;
    float right;
    float bottom;
    // The shares of a loss of height below the template's, where they differ (negative: as for a
    // gain): a list of boxes may close up when the window is lower, yet not spread when higher.
    float shrinkTop = -1;
    float shrinkBottom = -1;
};

// The usual anchors by name.
inline constexpr Anchor fixed(int id) {
    return {id, 0, 0, 0, 0};
}
inline constexpr Anchor growRight(int id) {
    return {id, 0, 0, 1, 0};
}
inline constexpr Anchor growBoth(int id) {
    return {id, 0, 0, 1, 1};
}
inline constexpr Anchor toRight(int id) {
    return {id, 1, 0, 1, 0};
}
inline constexpr Anchor toBottom(int id) {
    return {id, 0, 1, 0, 1};
}
inline constexpr Anchor toBottomGrowRight(int id) {
    return {id, 0, 1, 1, 1};
}
inline constexpr Anchor toBottomRight(int id) {
    return {id, 1, 1, 1, 1};
}

class AnchorLayout {
public:
    // Takes the controls' places in `dialog` now as the layout at its present client size; a control
    // the dialog does not have is left out. `minimumClient` is the smallest client area, in dialog
    // units, the window may be made.
    void capture(HWND dialog, std::span<const Anchor> anchors, SIZE minimumClient);
    // Moves every control for the client size the window has now (WM_SIZE).
    void apply() const;
    // The window's smallest size, frame included (WM_GETMINMAXINFO).
    void limit(MINMAXINFO& info) const;
    // The controls' places scaled from one DPI to another (WM_DPICHANGED, before the new size).
    void rescale(UINT fromDpi, UINT toDpi);

private:
    struct Placed {
        HWND control;
        Anchor anchor;
        RECT rect;
    };
    HWND dialog_ = nullptr;
    std::vector<Placed> placed_;
    SIZE client_{};  // the client size the places were taken at
    SIZE minimum_{}; // the smallest client size, in pixels
};

// Leaves the controls' places to the layout when the window moves to a monitor of another DPI:
// Windows 10 would otherwise set them back to the template's at the new DPI (fonts still follow).
void keepControlsOnDpiChange(HWND dialog);
// The DPI the window is shown at (the monitor's, with per-monitor awareness).
UINT windowDpi(HWND window);

} // namespace qob::win32gui
