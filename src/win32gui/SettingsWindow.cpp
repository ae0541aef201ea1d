#include "win32gui/SettingsWindow.h"

#include "outlook/AppState.h"
#include "platform/win32/WideText.h"
#include "platform/win32/Win32StartupEntry.h"
#include "win32gui/ControlText.h"
#include "win32gui/MessageLoop.h"
#include "win32gui/ResourceIds.h"
#include "win32gui/Win32Dialogs.h"

#include <commctrl.h>

#include <algorithm>
#include <array>
#include <vector>

namespace qob::win32gui {

namespace {

constexpr int kMaxKeep = 999;
constexpr const wchar_t* kPageTitles[] = {L"General", L"Backup", L"Scheduled Backup"};

int boxId(std::size_t box) {
    return IDC_SETTINGS_BOX0 + static_cast<int>(box);
}

const std::vector<int>& pageControls(int page) {
    static const std::array<std::vector<int>, 3> pages = {
        std::vector<int>{IDC_GENERAL_FRAME, boxId(0), boxId(1), boxId(2), boxId(3), boxId(4)},
        std::vector<int>{IDC_BACKUP_FRAME, IDC_FOLDER_LABEL, IDC_FOLDER, IDC_FOLDER_BROWSE, boxId(7),
                         boxId(6), boxId(5)},
        std::vector<int>{IDC_FILES_FRAME, IDC_REPLACE_AUTO, IDC_NEW_AUTO, IDC_KEEP_LABEL, IDC_KEEP,
                         IDC_KEEP_SPIN}};
    return pages[static_cast<std::size_t>(page)];
}

} // namespace

std::string SettingsWindow::keepText(int keep) {
    return keep <= 0 ? "All" : std::to_string(std::min(keep, kMaxKeep));
}

int SettingsWindow::keepValue(const std::string& text) {
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            return 0; // "All", or what is not a number: every automatic backup is kept
        }
        value = std::min(value * 10 + (c - '0'), kMaxKeep);
    }
    return value;
}

bool SettingsWindow::run(HWND owner) {
    showModal(owner);
    return accepted_;
}

HWND SettingsWindow::create(HWND owner) {
    return createModeless(owner);
}

bool SettingsWindow::open(HWND owner, const std::filesystem::path& programFolder) {
    Win32Dialogs dialogs;
    dialogs.setOwner(owner);
    Win32StartupEntry startup = Win32StartupEntry::besideThisProgram(win32::widen(kApplicationTitle));
    SettingsForm form(dialogs, startup, programFolder);
    SettingsWindow window(form, &dialogs);
    return window.run(owner);
}

void SettingsWindow::initialize() {
    HWND tabs = GetDlgItem(window_, IDC_SETTINGS_TABS);
    for (int i = 0; i < 3; ++i) {
        TCITEMW item{};
        item.mask = TCIF_TEXT;
        item.pszText = const_cast<wchar_t*>(kPageTitles[i]);
        SendMessageW(tabs, TCM_INSERTITEMW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
    }
    SendDlgItemMessageW(window_, IDC_KEEP_SPIN, UDM_SETRANGE32, 0, kMaxKeep);
    if (dialogs_ != nullptr) {
        // Messages and the folder picker belong to this window while it is open.
        earlierOwner_ = dialogs_->owner();
        dialogs_->setOwner(window_);
    }
    form_.formLoad();
    showForm();
    selectTab(0);
}

void SettingsWindow::selectTab(int tab) {
    SendDlgItemMessageW(window_, IDC_SETTINGS_TABS, TCM_SETCURSEL, static_cast<WPARAM>(tab), 0);
    for (int page = 0; page < 3; ++page) {
        for (int id : pageControls(page)) {
            ShowWindow(GetDlgItem(window_, id), page == tab ? SW_SHOWNA : SW_HIDE);
        }
    }
    RedrawWindow(window_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
}

void SettingsWindow::storeControls() {
    form_.backupFolder = controlText(window_, IDC_FOLDER);
    for (std::size_t i = 0; i < kSettingsBoxCount; ++i) {
        form_.boxes[i] = IsDlgButtonChecked(window_, boxId(i)) == BST_CHECKED;
    }
    form_.newAutoBackupFile = IsDlgButtonChecked(window_, IDC_NEW_AUTO) == BST_CHECKED;
    form_.keepAutoBackups = keepValue(controlText(window_, IDC_KEEP));
}

void SettingsWindow::showForm() {
    setControlText(window_, IDC_FOLDER, form_.backupFolder);
    for (std::size_t i = 0; i < kSettingsBoxCount; ++i) {
        CheckDlgButton(window_, boxId(i), form_.boxes[i] ? BST_CHECKED : BST_UNCHECKED);
    }
    CheckRadioButton(window_, IDC_REPLACE_AUTO, IDC_NEW_AUTO,
                     form_.newAutoBackupFile ? IDC_NEW_AUTO : IDC_REPLACE_AUTO);
    setControlText(window_, IDC_KEEP, keepText(form_.keepAutoBackups));
}

void SettingsWindow::close(bool accepted) {
    accepted_ = accepted;
    closeWith(accepted ? IDOK : IDCANCEL);
}

INT_PTR SettingsWindow::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    if (handleCall(message, lParam)) {
        return TRUE;
    }
    switch (message) {
    case WM_INITDIALOG:
        initialize();
        return TRUE;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN: {
        const int tab =
            static_cast<int>(SendDlgItemMessageW(window_, IDC_SETTINGS_TABS, TCM_GETCURSEL, 0, 0));
        return pageColour(wParam, lParam, pageControls(tab < 0 ? 0 : tab));
    }
    case WM_NOTIFY: {
        const NMHDR& header = *reinterpret_cast<const NMHDR*>(lParam);
        if (header.idFrom == IDC_SETTINGS_TABS && header.code == TCN_SELCHANGE) {
            selectTab(static_cast<int>(SendDlgItemMessageW(window_, IDC_SETTINGS_TABS, TCM_GETCURSEL, 0, 0)));
            return TRUE;
        }
        if (header.idFrom == IDC_KEEP_SPIN && header.code == UDN_DELTAPOS) {
            // The arrows count from what the box shows; 0 shows as "All".
            const auto& change = *reinterpret_cast<const NMUPDOWN*>(lParam);
            const int keep =
                std::clamp(keepValue(controlText(window_, IDC_KEEP)) + change.iDelta, 0, kMaxKeep);
            setControlText(window_, IDC_KEEP, keepText(keep));
            SetWindowLongPtrW(window_, DWLP_MSGRESULT, TRUE); // the text is set; the control changes nothing
            return TRUE;
        }
        return FALSE;
    }
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
            storeControls();
            if (form_.okClick()) {
                close(true);
            } else {
                showForm(); // the folder box shows what the form holds
            }
            return TRUE;
        case IDCANCEL:
            close(false);
            return TRUE;
        case IDC_FOLDER_BROWSE:
            storeControls();
            form_.browseClick();
            showForm();
            return TRUE;
        default:
            break;
        }
        break;
    case WM_DESTROY:
        unregisterDialog(window_);
        if (dialogs_ != nullptr) {
            dialogs_->setOwner(earlierOwner_);
        }
        break;
    default:
        break;
    }
    return FALSE;
}

} // namespace qob::win32gui
