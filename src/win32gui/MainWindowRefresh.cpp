// The main window's side of the form's listener: each part of the form that changed is copied into
// its controls. The window's own notifications are held off meanwhile, so a change made here never
// returns to the form as if the user had typed it.
#include "platform/win32/WideText.h"
#include "win32gui/ControlText.h"
#include "win32gui/MainWindow.h"
#include "win32gui/ResourceIds.h"

#include <commctrl.h>

#include <algorithm>

namespace qob::win32gui {

namespace {

constexpr int kProgressControls[] = {IDC_STATUS, IDC_FILE_LABEL, IDC_PROGRESS, IDC_CANCEL_JOB, IDC_TIME_LEFT};

void setCombo(HWND combo, const ComboState& state) {
    const int count = static_cast<int>(SendMessageW(combo, CB_GETCOUNT, 0, 0));
    bool same = count == static_cast<int>(state.items.size());
    for (int i = 0; same && i < count; ++i) {
        std::wstring shown(static_cast<std::size_t>(SendMessageW(combo, CB_GETLBTEXTLEN, i, 0)) + 1, L'\0');
        shown.resize(static_cast<std::size_t>(
            SendMessageW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(shown.data()))));
        same = shown == win32::widen(state.items[static_cast<std::size_t>(i)]);
    }
    if (!same) {
        SendMessageW(combo, CB_RESETCONTENT, 0, 0);
        for (const std::string& item : state.items) {
            SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(win32::widen(item).c_str()));
        }
    }
    SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(state.selected), 0);
}

} // namespace

void MainWindow::refreshItems(const std::array<CheckBoxState, kItemBoxCount>& states, int firstId) {
    // While a job runs the pages stay off, whatever the form says of each box.
    const bool idle = !form_.jobRunning && !jobs_.running();
    for (std::size_t i = 0; i < kItemBoxCount; ++i) {
        const int id = firstId + static_cast<int>(i);
        EnableWindow(GetDlgItem(window_, id), idle && states[i].enabled);
        CheckDlgButton(window_, id, states[i].checked ? BST_CHECKED : BST_UNCHECKED);
    }
}

void MainWindow::refresh(FormChange change) {
    if (window_ == nullptr) {
        return;
    }
    updating_ = true;
    switch (change) {
    case FormChange::Profiles:
        setCombo(GetDlgItem(window_, IDC_SOURCE_PROFILE), form_.cbSource);
        setCombo(GetDlgItem(window_, IDC_TARGET_PROFILE), form_.cbTarget);
        break;
    case FormChange::BackupItems:
        refreshItems(form_.backupItem, IDC_BACKUP_ITEM0);
        break;
    case FormChange::RestoreItems:
        refreshItems(form_.restoreItem, IDC_RESTORE_ITEM0);
        break;
    case FormChange::TargetFile:
        setControlText(window_, IDC_BACKUP_FILE, form_.txtTargetFile);
        break;
    case FormChange::Passwords: {
        const bool idle = !form_.jobRunning && !jobs_.running();
        CheckDlgButton(window_, IDC_PROTECT, form_.ifProtect ? BST_CHECKED : BST_UNCHECKED);
        for (int id : {IDC_PASSWORD, IDC_PASSWORD2, IDC_PASSWORD_LABEL, IDC_PASSWORD2_LABEL}) {
            EnableWindow(GetDlgItem(window_, id), idle && form_.passwordsEnabled);
        }
        setControlText(window_, IDC_PASSWORD, form_.txtPassword);
        setControlText(window_, IDC_PASSWORD2, form_.txtPassword2);
        break;
    }
    case FormChange::ApplyButton:
        setControlText(window_, IDC_APPLY, form_.cmdApplyCaption);
        refreshCommands();
        break;
    case FormChange::Progress:
        for (int id : kProgressControls) {
            ShowWindow(GetDlgItem(window_, id), form_.picCon3Visible ? SW_SHOWNA : SW_HIDE);
        }
        SendDlgItemMessageW(window_, IDC_PROGRESS, PBM_SETPOS, static_cast<WPARAM>(form_.pbShow), 0);
        // Once a stop is asked the line says so until the job has ended: the job's own last words
        // would read as if it went on.
        setControlText(window_, IDC_STATUS,
                       jobs_.running() && jobs_.stopRequested() ? "Stopping..." : form_.label1);
        // The label shortens a long path in its middle (SS_PATHELLIPSIS).
        setControlText(window_, IDC_FILE_LABEL, form_.skinLabel9);
        setControlText(window_, IDC_ABOUT_CAPTION, form_.skinLabel10);
        if (actions_.trace && form_.picCon3Visible) {
            actions_.trace("progress " + std::to_string(form_.pbShow) + " " + form_.label1);
        }
        break;
    case FormChange::Log:
        refreshLog();
        break;
    case FormChange::RestoreInfo:
        setControlText(window_, IDC_RESTORE_FILE, form_.txtSourceFile);
        // txtPOBinfo: where and when the backup was made; txtFileInfo: the description stored in it.
        setControlText(window_, IDC_BACKUP_INFO, withCrLf(form_.txtPOBinfo));
        setControlText(window_, IDC_BACKUP_DESCRIPTION, withCrLf(form_.txtFileInfo));
        break;
    case FormChange::Hidden:
        ShowWindow(window_, SW_HIDE);
        break;
    }
    updating_ = false;
}

void MainWindow::refreshLog() {
    HWND list = GetDlgItem(window_, IDC_LOG_LIST);
    SendMessageW(list, LB_RESETCONTENT, 0, 0);
    // Long lines scroll sideways rather than being cut off.
    HDC dc = GetDC(list);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(list, WM_GETFONT, 0, 0)));
    LONG widest = 0;
    for (const std::string& line : form_.list1) {
        // The log's entries end in CR LF after their own line end; a list box would draw the CR.
        std::wstring text = win32::widen(line);
        while (!text.empty() && text.back() == L'\r') {
            text.pop_back();
        }
        SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
        SIZE size{};
        GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
        widest = std::max(widest, size.cx);
    }
    SelectObject(dc, old);
    ReleaseDC(list, dc);
    SendMessageW(list, LB_SETHORIZONTALEXTENT, static_cast<WPARAM>(widest + 8), 0);
    // The last line chosen and in view.
    SendMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(form_.list1Selected), 0);
}

void MainWindow::refreshAll() {
    for (FormChange change : {FormChange::Profiles, FormChange::BackupItems, FormChange::RestoreItems,
                              FormChange::TargetFile, FormChange::Passwords, FormChange::ApplyButton,
                              FormChange::Progress, FormChange::Log, FormChange::RestoreInfo}) {
        refresh(change);
    }
    updating_ = true;
    setControlText(window_, IDC_DESCRIPTION, withCrLf(form_.txtAttachInfo));
    updating_ = false;
}

void MainWindow::enableMenu(int id, bool enabled) {
    EnableMenuItem(GetMenu(window_), static_cast<UINT>(id),
                   MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
}

void MainWindow::refreshCommands() {
    // While a job runs, nothing that would start another or change what it reads can be used.
    const bool idle = !form_.jobRunning && !jobs_.running();
    EnableWindow(GetDlgItem(window_, IDC_APPLY), idle && form_.cmdApplyEnabled);
    enableMenu(IDM_BACKUP_NOW, idle && form_.cmdApplyEnabled);
    enableMenu(IDM_RESTORE_NOW, idle && form_.cmdApplyEnabled);
    for (int id : {IDC_SOURCE_PROFILE, IDC_BACKUP_FILE, IDC_BACKUP_BROWSE, IDC_DESCRIPTION, IDC_PROTECT,
                   IDC_RESTORE_FILE, IDC_RESTORE_BROWSE, IDC_BACKUP_INFO, IDC_BACKUP_DESCRIPTION,
                   IDC_TARGET_PROFILE}) {
        EnableWindow(GetDlgItem(window_, id), idle);
    }
    const bool updating = updating_;
    updating_ = true;
    refreshItems(form_.backupItem, IDC_BACKUP_ITEM0);
    refreshItems(form_.restoreItem, IDC_RESTORE_ITEM0);
    for (int id : {IDC_PASSWORD, IDC_PASSWORD2, IDC_PASSWORD_LABEL, IDC_PASSWORD2_LABEL}) {
        EnableWindow(GetDlgItem(window_, id), idle && form_.passwordsEnabled);
    }
    updating_ = updating;
    enableMenu(IDM_SETTINGS, idle && actions_.showSettings);
    enableMenu(IDM_TASK_SCHEDULER, idle && actions_.showTaskScheduler);
    enableMenu(IDM_TARGET_SYSTEM, idle && actions_.chooseTargetSystem);
    enableMenu(IDM_BACKUP_TO_DISC, idle && actions_.burnDisc);
    enableMenu(IDM_ABOUT, static_cast<bool>(actions_.showAbout));
    EnableWindow(GetDlgItem(window_, IDC_ABOUT_BUTTON), static_cast<bool>(actions_.showAbout));
    EnableWindow(GetDlgItem(window_, IDC_TARGET_CHANGE), idle && actions_.chooseTargetSystem);
    EnableWindow(GetDlgItem(window_, IDC_CANCEL_JOB), jobs_.running() && !jobs_.stopRequested());
    DragAcceptFiles(window_, idle);
}

} // namespace qob::win32gui
