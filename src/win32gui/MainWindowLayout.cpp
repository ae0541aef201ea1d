#include "win32gui/MainWindowLayout.h"

#include "win32gui/MainWindow.h"
#include "win32gui/ResourceIds.h"
#include "win32gui/WindowIcon.h"

#include <vector>

namespace qob::win32gui {

namespace {

// Below the template's height (324) the window may lose up to kLoss dialog units: the item boxes
// close up from 10 to 8 apart (18 of them) and the backup's description, or the restore page's
// information, gives up the rest. So the window fits a 1080-line screen at 200 %.
constexpr float kLoss = 28;
constexpr float kItemsLoss = 18 / kLoss;
constexpr float kFieldLoss = 1 - kItemsLoss;

// Item box `i` of a page whose item frame moves down by `frameShare` of a gain in height and by
// `frameShrink` of a loss: wide as its frame; when the window is lower the boxes close up, each
// 2 units lower than the one above it losing its share.
Anchor itemBox(int id, int i, float frameShare, float frameShrink) {
    const float top = frameShrink + kItemsLoss * static_cast<float>(i) / 9;
    const float bottom = frameShrink + kItemsLoss * static_cast<float>(i + 1) / 9;
    return {id, 0, frameShare, 1, frameShare, top, bottom};
}

std::vector<Anchor> anchors() {
    std::vector<Anchor> a;
    const auto add = [&](Anchor anchor) { a.push_back(anchor); };
    // The target system row, the tabs.
    add(fixed(IDC_TARGET_CAPTION));
    add(growRight(IDC_TARGET_LABEL));
    add(toRight(IDC_TARGET_CHANGE));
    add(growBoth(IDC_TABS));
    // Backup: the description takes the height the window gains; what is under it moves down.
    add(fixed(IDC_SOURCE_PROFILE_LABEL));
    add(growRight(IDC_SOURCE_PROFILE));
    add({IDC_BACKUP_GROUP, 0, 0, 1, 0, 0, kItemsLoss});
    for (int i = 0; i < 9; ++i) {
        add(itemBox(IDC_BACKUP_ITEM0 + i, i, 0, 0));
    }
    add({IDC_BACKUP_FILE_LABEL, 0, 0, 0, 0, kItemsLoss, kItemsLoss});
    add({IDC_BACKUP_FILE, 0, 0, 1, 0, kItemsLoss, kItemsLoss});
    add({IDC_BACKUP_BROWSE, 1, 0, 1, 0, kItemsLoss, kItemsLoss});
    add({IDC_DESCRIPTION_LABEL, 0, 0, 0, 0, kItemsLoss, kItemsLoss});
    add({IDC_DESCRIPTION, 0, 0, 1, 1, kItemsLoss, 1});
    add(toBottom(IDC_PROTECT));
    // The two password fields share the width.
    add(toBottom(IDC_PASSWORD_LABEL));
    add({IDC_PASSWORD, 0, 1, 0.5F, 1});
    add({IDC_PASSWORD2_LABEL, 0.5F, 1, 0.5F, 1});
    add({IDC_PASSWORD2, 0.5F, 1, 1, 1});
    // Restore: the backup's information and description share the width and take the height.
    add(fixed(IDC_RESTORE_FILE_LABEL));
    add(growRight(IDC_RESTORE_FILE));
    add(toRight(IDC_RESTORE_BROWSE));
    add({IDC_BACKUP_INFO_LABEL, 0, 0, 0.5F, 0});
    add({IDC_BACKUP_INFO, 0, 0, 0.5F, 1, 0, kFieldLoss});
    add({IDC_BACKUP_DESCRIPTION_LABEL, 0.5F, 0, 1, 0});
    add({IDC_BACKUP_DESCRIPTION, 0.5F, 0, 1, 1, 0, kFieldLoss});
    add({IDC_RESTORE_GROUP, 0, 1, 1, 1, kFieldLoss, 1});
    for (int i = 0; i < 9; ++i) {
        add(itemBox(IDC_RESTORE_ITEM0 + i, i, 1, kFieldLoss));
    }
    add(toBottom(IDC_TARGET_PROFILE_LABEL));
    add(toBottomGrowRight(IDC_TARGET_PROFILE));
    // Logs and About.
    add(growBoth(IDC_LOG_LIST));
    add(growRight(IDC_ABOUT_CAPTION));
    add(growRight(IDC_ABOUT_TEXT));
    // The progress panel and the buttons, at the bottom.
    add(toBottomGrowRight(IDC_STATUS));
    add(toBottomGrowRight(IDC_FILE_LABEL));
    add(toBottomGrowRight(IDC_PROGRESS));
    add(toBottomRight(IDC_CANCEL_JOB));
    add(toBottomGrowRight(IDC_TIME_LEFT));
    add(toBottomRight(IDC_APPLY));
    add(toBottomRight(IDC_ABOUT_BUTTON));
    add(toBottomRight(IDC_QUIT));
    return a;
}

} // namespace

std::span<const Anchor> mainWindowAnchors() {
    static const std::vector<Anchor> all = anchors();
    return all;
}

SIZE mainWindowMinimumClient() {
    // The template is 360 × 324. Narrower, the fields give up width until the longest item caption
    // would no longer fit its box; lower, as kLoss says.
    return {320, static_cast<LONG>(324 - kLoss)};
}

void MainWindow::layOut(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_SIZE:
        layout_.apply();
        break;
    case WM_GETMINMAXINFO:
        layout_.limit(*reinterpret_cast<MINMAXINFO*>(lParam));
        break;
    case WM_DPICHANGED: {
        // Another monitor: the places and the icons for its DPI, then the size Windows suggests
        // for it (whose WM_SIZE lays the controls out).
        const UINT dpi = HIWORD(wParam);
        layout_.rescale(dpi_, dpi);
        dpi_ = dpi;
        setProductIcon(window_, dpi);
        const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
        SetWindowPos(window_, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                     suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
        break;
    }
    default:
        break;
    }
}

} // namespace qob::win32gui
