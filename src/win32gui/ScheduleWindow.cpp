#include "win32gui/ScheduleWindow.h"

#include "platform/win32/WideText.h"
#include "win32gui/ControlText.h"
#include "win32gui/MessageLoop.h"
#include "win32gui/ResourceIds.h"

namespace qob::win32gui {

namespace {

int itemId(std::size_t i) {
    return IDC_SCHEDULE_ITEM0 + static_cast<int>(i);
}

int dayId(std::size_t d) {
    return IDC_DAY0 + static_cast<int>(d);
}

bool ticked(HWND window, int id) {
    return IsDlgButtonChecked(window, id) == BST_CHECKED;
}

void tick(HWND window, int id, bool on) {
    CheckDlgButton(window, id, on ? BST_CHECKED : BST_UNCHECKED);
}

} // namespace

ScheduleWindow::~ScheduleWindow() {
    form_.setListener({});
    destroyIfOpen();
}

void ScheduleWindow::run(HWND owner) {
    showModal(owner);
}

HWND ScheduleWindow::create(HWND owner) {
    return createModeless(owner);
}

void ScheduleWindow::initialize() {
    form_.setListener([this](ScheduleChange change) { showChange(change); });
    form_.formLoad();
    for (ScheduleChange c : {ScheduleChange::Profiles, ScheduleChange::Items, ScheduleChange::TargetFile,
                             ScheduleChange::Passwords, ScheduleChange::Days, ScheduleChange::Registered}) {
        showChange(c);
    }
    HWND times = GetDlgItem(window_, IDC_START_TIME);
    for (const std::string& time : form_.startTimes) {
        SendMessageW(times, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(win32::widen(time).c_str()));
    }
    SendMessageW(times, CB_SELECTSTRING, static_cast<WPARAM>(-1),
                 reinterpret_cast<LPARAM>(win32::widen(form_.startTime).c_str()));
}

void ScheduleWindow::storeControls() {
    for (std::size_t i = 0; i < kItemBoxCount; ++i) {
        form_.backupItem[i].checked = ticked(window_, itemId(i));
    }
    for (std::size_t d = 0; d < 7; ++d) {
        form_.days[d] = ticked(window_, dayId(d));
    }
    form_.chkDaily = ticked(window_, IDC_DAILY);
    form_.txtPassword = controlText(window_, IDC_SCHEDULE_PASSWORD);
    form_.txtPassword2 = controlText(window_, IDC_SCHEDULE_PASSWORD2);
    form_.startTime = controlText(window_, IDC_START_TIME);
}

void ScheduleWindow::showChange(ScheduleChange change) {
    if (window_ == nullptr) {
        return;
    }
    switch (change) {
    case ScheduleChange::Profiles: {
        HWND combo = GetDlgItem(window_, IDC_SCHEDULE_PROFILE);
        SendMessageW(combo, CB_RESETCONTENT, 0, 0);
        for (const std::string& profile : form_.cbSource.items) {
            SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(win32::widen(profile).c_str()));
        }
        SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(form_.cbSource.selected), 0);
        break;
    }
    case ScheduleChange::Items:
        for (std::size_t i = 0; i < kItemBoxCount; ++i) {
            setControlText(window_, itemId(i), form_.backupItem[i].caption);
            EnableWindow(GetDlgItem(window_, itemId(i)), form_.backupItem[i].enabled);
            tick(window_, itemId(i), form_.backupItem[i].checked);
        }
        break;
    case ScheduleChange::TargetFile:
        setControlText(window_, IDC_SCHEDULE_FILE, form_.txtTargetFile);
        break;
    case ScheduleChange::Passwords:
        tick(window_, IDC_SCHEDULE_PROTECT, form_.ifProtect);
        for (int id : {IDC_SCHEDULE_PASSWORD, IDC_SCHEDULE_PASSWORD2, IDC_SCHEDULE_PASSWORD_LABEL,
                       IDC_SCHEDULE_PASSWORD2_LABEL}) {
            EnableWindow(GetDlgItem(window_, id), form_.passwordsEnabled);
        }
        setControlText(window_, IDC_SCHEDULE_PASSWORD, form_.txtPassword);
        setControlText(window_, IDC_SCHEDULE_PASSWORD2, form_.txtPassword2);
        break;
    case ScheduleChange::Days:
        for (std::size_t d = 0; d < 7; ++d) {
            tick(window_, dayId(d), form_.days[d]);
        }
        tick(window_, IDC_DAILY, form_.chkDaily);
        break;
    case ScheduleChange::Registered:
        setControlText(window_, IDC_REGISTERED, form_.registeredTask);
        break;
    case ScheduleChange::Close:
        close();
        break;
    }
}

void ScheduleWindow::close() {
    closeWith(IDOK);
}

INT_PTR ScheduleWindow::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    if (handleCall(message, lParam)) {
        return TRUE;
    }
    switch (message) {
    case WM_INITDIALOG:
        initialize();
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_SCHEDULE_PROFILE:
            if (HIWORD(wParam) == CBN_SELCHANGE) {
                storeControls();
                form_.selectSource(
                    static_cast<int>(SendDlgItemMessageW(window_, IDC_SCHEDULE_PROFILE, CB_GETCURSEL, 0, 0)));
            }
            return TRUE;
        case IDC_SCHEDULE_BROWSE:
            storeControls();
            form_.cmdTargetFileClick();
            return TRUE;
        case IDC_SCHEDULE_PROTECT:
            form_.ifProtectClick(ticked(window_, IDC_SCHEDULE_PROTECT));
            return TRUE;
        case IDC_DAILY:
            form_.chkDailyClick(ticked(window_, IDC_DAILY));
            return TRUE;
        case IDC_ADD_TASK:
            storeControls();
            form_.addTask(); // a registered task closes the window through the form
            return TRUE;
        case IDC_DISABLE_TASK:
            form_.disableTask();
            return TRUE;
        case IDCANCEL:
            close();
            return TRUE;
        default:
            break;
        }
        break;
    case WM_DESTROY:
        unregisterDialog(window_);
        form_.setListener({});
        window_ = nullptr;
        break;
    default:
        break;
    }
    return FALSE;
}

} // namespace qob::win32gui
