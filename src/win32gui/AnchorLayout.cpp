#include "win32gui/AnchorLayout.h"

#include <algorithm>
#include <cmath>

namespace qob::win32gui {

namespace {

SIZE clientSize(HWND window) {
    RECT client{};
    GetClientRect(window, &client);
    return {client.right - client.left, client.bottom - client.top};
}

LONG scaled(LONG value, UINT from, UINT to) {
    return static_cast<LONG>(std::lround(static_cast<double>(value) * to / from));
}

} // namespace

UINT windowDpi(HWND window) {
    // Windows 10's per-window DPI where there is one; Windows 7 has one DPI for the whole screen.
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    static const auto getDpiForWindow = reinterpret_cast<GetDpiForWindowFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    if (getDpiForWindow != nullptr) {
        if (const UINT dpi = getDpiForWindow(window); dpi != 0) {
            return dpi;
        }
    }
    HDC dc = GetDC(window);
    const int dpi = dc != nullptr ? GetDeviceCaps(dc, LOGPIXELSY) : 96;
    if (dc != nullptr) {
        ReleaseDC(window, dc);
    }
    return dpi > 0 ? static_cast<UINT>(dpi) : 96;
}

void keepControlsOnDpiChange(HWND dialog) {
    // SetDialogControlDpiChangeBehavior is Windows 10 1803's; earlier systems do not relayout.
    using SetBehaviorFn = BOOL(WINAPI*)(HWND, int, int);
    static const auto setBehavior = reinterpret_cast<SetBehaviorFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"user32.dll"), "SetDialogControlDpiChangeBehavior")));
    constexpr int kDisableRelayout = 2; // DCDC_DISABLE_RELAYOUT
    if (setBehavior != nullptr) {
        setBehavior(dialog, kDisableRelayout, kDisableRelayout);
    }
}

void AnchorLayout::capture(HWND dialog, std::span<const Anchor> anchors, SIZE minimumClient) {
    dialog_ = dialog;
    client_ = clientSize(dialog);
    placed_.clear();
    for (const Anchor& anchor : anchors) {
        HWND control = GetDlgItem(dialog, anchor.id);
        if (control == nullptr) {
            continue;
        }
        RECT rect{};
        GetWindowRect(control, &rect);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
        placed_.push_back({control, anchor, rect});
    }
    RECT minimum{0, 0, minimumClient.cx, minimumClient.cy};
    MapDialogRect(dialog, &minimum);
    minimum_ = {minimum.right, minimum.bottom};
}

void AnchorLayout::apply() const {
    if (dialog_ == nullptr || placed_.empty()) {
        return;
    }
    const SIZE now = clientSize(dialog_);
    if (now.cx == 0 && now.cy == 0) {
        return; // minimized: the places stay for the restore
    }
    const float dx = static_cast<float>(now.cx - client_.cx);
    const float dy = static_cast<float>(now.cy - client_.cy);
    const auto moved = [](LONG edge, float share, float delta) {
        return edge + static_cast<LONG>(std::lround(share * delta));
    };
    // One deferred move for all: the window redraws once, not control by control.
    HDWP moves = BeginDeferWindowPos(static_cast<int>(placed_.size()));
    for (const Placed& p : placed_) {
        const RECT& r = p.rect;
        const LONG left = moved(r.left, p.anchor.left, dx);
        const bool lower = dy < 0;
        const float topShare = lower && p.anchor.shrinkTop >= 0 ? p.anchor.shrinkTop : p.anchor.top;
        const float bottomShare =
            lower && p.anchor.shrinkBottom >= 0 ? p.anchor.shrinkBottom : p.anchor.bottom;
        const LONG top = moved(r.top, topShare, dy);
        const LONG right = std::max(left, moved(r.right, p.anchor.right, dx));
        const LONG bottom = std::max(top, moved(r.bottom, bottomShare, dy));
        const UINT flags = SWP_NOZORDER | SWP_NOACTIVATE;
        if (moves != nullptr) {
            moves = DeferWindowPos(moves, p.control, nullptr, left, top, right - left, bottom - top, flags);
        } else {
            SetWindowPos(p.control, nullptr, left, top, right - left, bottom - top, flags);
        }
    }
    if (moves != nullptr) {
        EndDeferWindowPos(moves);
    }
    // Group boxes and the tab control draw their frames from their whole rectangle: without this a
    // larger window would keep pieces of the frames the last size drew.
    InvalidateRect(dialog_, nullptr, TRUE);
}

void AnchorLayout::limit(MINMAXINFO& info) const {
    if (dialog_ == nullptr) {
        return;
    }
    RECT frame{0, 0, minimum_.cx, minimum_.cy};
    AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongPtrW(dialog_, GWL_STYLE)),
                       GetMenu(dialog_) != nullptr,
                       static_cast<DWORD>(GetWindowLongPtrW(dialog_, GWL_EXSTYLE)));
    info.ptMinTrackSize.x = frame.right - frame.left;
    info.ptMinTrackSize.y = frame.bottom - frame.top;
}

void AnchorLayout::rescale(UINT fromDpi, UINT toDpi) {
    if (fromDpi == 0 || toDpi == 0 || fromDpi == toDpi) {
        return;
    }
    for (Placed& p : placed_) {
        p.rect = {scaled(p.rect.left, fromDpi, toDpi), scaled(p.rect.top, fromDpi, toDpi),
                  scaled(p.rect.right, fromDpi, toDpi), scaled(p.rect.bottom, fromDpi, toDpi)};
    }
    client_ = {scaled(client_.cx, fromDpi, toDpi), scaled(client_.cy, fromDpi, toDpi)};
    minimum_ = {scaled(minimum_.cx, fromDpi, toDpi), scaled(minimum_.cy, fromDpi, toDpi)};
}

} // namespace qob::win32gui
