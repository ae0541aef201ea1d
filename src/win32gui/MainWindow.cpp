#include "win32gui/MainWindow.h"

#include "forms/AboutForm.h"
#include "forms/OpenBackup.h"
#include "forms/PasswordForm.h"
#include "outlook/NoProfileMessage.h"
#include "platform/win32/WideText.h"
#include "win32gui/ControlText.h"
#include "win32gui/MainWindowLayout.h"
#include "win32gui/MessageLoop.h"
#include "win32gui/ResourceIds.h"
#include "win32gui/WindowIcon.h"

#include <commctrl.h>
#include <shellapi.h>
#include <windowsx.h>

#include <algorithm>

namespace qob::win32gui {

namespace {

constexpr int kTabCount = 4;
constexpr const wchar_t* kTabTitles[kTabCount] = {L"Backup", L"Restore", L"Logs", L"About"};

// The controls of each page; the window shows those of the tab chosen and hides the others.
const std::vector<int>& pageControls(int tab) {
    static const std::array<std::vector<int>, kTabCount> pages = [] {
        std::array<std::vector<int>, kTabCount> p;
        p[0] = {IDC_SOURCE_PROFILE_LABEL,
                IDC_SOURCE_PROFILE,
                IDC_BACKUP_GROUP,
                IDC_BACKUP_FILE_LABEL,
                IDC_BACKUP_FILE,
                IDC_BACKUP_BROWSE,
                IDC_DESCRIPTION_LABEL,
                IDC_DESCRIPTION,
                IDC_PROTECT,
                IDC_PASSWORD_LABEL,
                IDC_PASSWORD,
                IDC_PASSWORD2_LABEL,
                IDC_PASSWORD2};
        p[1] = {IDC_RESTORE_FILE_LABEL, IDC_RESTORE_FILE,  IDC_RESTORE_BROWSE,
                IDC_BACKUP_INFO_LABEL,  IDC_BACKUP_INFO,   IDC_BACKUP_DESCRIPTION_LABEL,
                IDC_BACKUP_DESCRIPTION, IDC_RESTORE_GROUP, IDC_TARGET_PROFILE_LABEL,
                IDC_TARGET_PROFILE};
        for (int i = 0; i < static_cast<int>(kItemBoxCount); ++i) {
            p[0].push_back(IDC_BACKUP_ITEM0 + i);
            p[1].push_back(IDC_RESTORE_ITEM0 + i);
        }
        p[2] = {IDC_LOG_LIST};
        p[3] = {IDC_ABOUT_CAPTION, IDC_ABOUT_TEXT};
        return p;
    }();
    return pages[static_cast<std::size_t>(tab)];
}

} // namespace

// Hears the job's events on the window's thread: the form's observer drives the progress panel,
// and the time left goes under the bar.
class MainWindow::WindowObserver : public JobObserver {
public:
    WindowObserver(JobObserver& form, MainWindow& window) : form_(form), window_(window) {}

    void phaseStarted(JobPhase phase) override {
        window_.timeLeft_.start(TimeLeft::Clock::now());
        setControlText(window_.window_, IDC_TIME_LEFT, "");
        form_.phaseStarted(phase);
    }
    void progress(const JobProgress& progress) override {
        form_.progress(progress);
        setControlText(window_.window_, IDC_TIME_LEFT,
                       window_.timeLeft_.update(progress.done, progress.total, TimeLeft::Clock::now()));
    }
    void status(const std::string& text) override { form_.status(text); }
    void logLine(const std::string& line) override { form_.logLine(line); }

private:
    JobObserver& form_;
    MainWindow& window_;
};

MainWindow::MainWindow(MainForm& form, MainWindowActions actions, std::string targetSystem)
    : form_(form), actions_(std::move(actions)), targetSystem_(std::move(targetSystem)) {
    archive_.setWorkingFolder(form_.platform().programFolder);
}

MainWindow::~MainWindow() {
    // The form must not call back into a window that is gone; a job still running is waited for
    // by the runner.
    form_.setListener({});
    if (window_ != nullptr) {
        quitOnClose_ = false;
        DestroyWindow(window_);
    }
}

bool MainWindow::create() {
    accelerators_ = LoadAcceleratorsW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAIN_ACCELERATORS));
    window_ = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_MAIN), nullptr, dialogProc,
                                 reinterpret_cast<LPARAM>(this));
    if (window_ == nullptr) {
        return false;
    }
    registerDialog(window_, accelerators_);
    return true;
}

void MainWindow::show() {
    ShowWindow(window_, SW_SHOW);
    SetForegroundWindow(window_);
    UpdateWindow(window_);
}

INT_PTR CALLBACK MainWindow::dialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(window, DWLP_USER, lParam);
        reinterpret_cast<MainWindow*>(lParam)->window_ = window;
    }
    auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(window, DWLP_USER));
    return self != nullptr ? self->handle(message, wParam, lParam) : FALSE;
}

INT_PTR MainWindow::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    if (handleCall(message, lParam)) {
        return TRUE;
    }
    switch (message) {
    case WM_INITDIALOG:
        initialize();
        return TRUE;
    case kJobEventMessage:
        jobs_.deliver();
        return TRUE;
    case WM_COMMAND:
        command(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
        return TRUE;
    case WM_NOTIFY:
        notifyFrom(*reinterpret_cast<const NMHDR*>(lParam), lParam);
        return TRUE;
    case WM_CONTEXTMENU: {
        const int id = GetDlgCtrlID(reinterpret_cast<HWND>(wParam));
        const bool backupSide =
            id == IDC_BACKUP_GROUP || (id >= IDC_BACKUP_ITEM0 && id < IDC_BACKUP_ITEM0 + 9);
        const bool restoreSide =
            id == IDC_RESTORE_GROUP || (id >= IDC_RESTORE_ITEM0 && id < IDC_RESTORE_ITEM0 + 9);
        if (backupSide || restoreSide) {
            showItemMenu(restoreSide, POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
            return TRUE;
        }
        return FALSE;
    }
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN: {
        const int tab = currentTab();
        return pageColour(wParam, lParam, pageControls(tab < 0 ? 0 : tab));
    }
    case WM_DROPFILES:
        droppedFiles(reinterpret_cast<HDROP>(wParam));
        return TRUE;
    case WM_SIZE:
    case WM_GETMINMAXINFO:
    case WM_DPICHANGED:
        layOut(message, wParam, lParam);
        return TRUE;
    case WM_CLOSE:
        requestClose();
        return TRUE;
    case WM_DESTROY:
        unregisterDialog(window_);
        releaseProductIcon(window_);
        if (toolTip_ != nullptr) {
            DestroyWindow(toolTip_);
            toolTip_ = nullptr;
        }
        if (quitOnClose_) {
            PostQuitMessage(0);
        }
        window_ = nullptr;
        return TRUE;
    default:
        break;
    }
    return FALSE;
}

void MainWindow::initialize() {
    setWindowText(window_, mainWindowCaption());
    setControlText(window_, IDC_TARGET_LABEL, targetSystem_);
    jobs_.setWindow(window_);
    HWND tabs = GetDlgItem(window_, IDC_TABS);
    for (int i = 0; i < kTabCount; ++i) {
        TCITEMW item{};
        item.mask = TCIF_TEXT;
        item.pszText = const_cast<wchar_t*>(kTabTitles[i]);
        SendMessageW(tabs, TCM_INSERTITEMW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
    }
    for (int i = 0; i < static_cast<int>(kItemBoxCount); ++i) {
        setControlText(window_, IDC_BACKUP_ITEM0 + i, kItemCaptions[static_cast<std::size_t>(i)]);
        setControlText(window_, IDC_RESTORE_ITEM0 + i, kItemCaptions[static_cast<std::size_t>(i)]);
    }
    // The password prompt takes at most this many characters: a longer backup password could not be
    // typed back to open the backup.
    for (int id : {IDC_PASSWORD, IDC_PASSWORD2}) {
        SendDlgItemMessageW(window_, id, EM_LIMITTEXT, kPasswordMaxLength, 0);
    }
    SendDlgItemMessageW(window_, IDC_PROGRESS, PBM_SETRANGE32, 0, 100);
    // The item boxes' tool tips (the address book's says why it is off) come from the form.
    toolTip_ = CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, window_, nullptr,
                               GetModuleHandleW(nullptr), nullptr);
    if (toolTip_ != nullptr) {
        SendMessageW(toolTip_, TTM_SETMAXTIPWIDTH, 0, 400);
        for (int first : {IDC_BACKUP_ITEM0, IDC_RESTORE_ITEM0}) {
            for (int i = 0; i < static_cast<int>(kItemBoxCount); ++i) {
                TTTOOLINFOW tool{};
                tool.cbSize = sizeof(tool);
                tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
                tool.hwnd = window_;
                tool.uId = reinterpret_cast<UINT_PTR>(GetDlgItem(window_, first + i));
                tool.lpszText = LPSTR_TEXTCALLBACKW;
                SendMessageW(toolTip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
            }
        }
    }
    if (!actions_.chooseTargetSystem) {
        // No other target system can be chosen (on Windows it is the running one): the entry and
        // the button go rather than stay as controls that never do anything.
        HMENU options = GetSubMenu(GetMenu(window_), 1);
        DeleteMenu(options, IDM_TARGET_SYSTEM, MF_BYCOMMAND);
        const int last = GetMenuItemCount(options) - 1;
        if (last >= 0 && (GetMenuState(options, static_cast<UINT>(last), MF_BYPOSITION) & MF_SEPARATOR)) {
            DeleteMenu(options, static_cast<UINT>(last), MF_BYPOSITION);
        }
        ShowWindow(GetDlgItem(window_, IDC_TARGET_CHANGE), SW_HIDE);
    }
    form_.setListener([this](FormChange change) { refresh(change); });
    showPage(0);
    refreshAll();
    dpi_ = windowDpi(window_);
    setProductIcon(window_, dpi_);
    keepControlsOnDpiChange(window_);
    layout_.capture(window_, mainWindowAnchors(), mainWindowMinimumClient());
}

void MainWindow::load() {
    // The load step's own message only says Outlook is missing; the same box says where the
    // program looked.
    form_.formLoad("\n\n" + noProfileMessage(form_.platform().systemFolder) + ".");
    refreshAll();
}

void MainWindow::openBackupFile(const std::filesystem::path& file) {
    if (!form_.mayStartJob()) {
        return;
    }
    selectTab(1);
    clearRestoreSide(form_, archive_);
    qob::openBackupFile(form_, archive_, file);
    if (actions_.trace) {
        // What the restore tab shows now: the desktop's double-click of a .qob is checked by it.
        actions_.trace("open " + controlText(window_, IDC_RESTORE_FILE));
    }
}

int MainWindow::currentTab() const {
    return static_cast<int>(SendDlgItemMessageW(window_, IDC_TABS, TCM_GETCURSEL, 0, 0));
}

void MainWindow::selectTab(int tab) {
    SendDlgItemMessageW(window_, IDC_TABS, TCM_SETCURSEL, static_cast<WPARAM>(tab), 0);
    showPage(tab);
    form_.ssTab1Click(tab);
}

void MainWindow::showPage(int tab) {
    for (int page = 0; page < kTabCount; ++page) {
        for (int id : pageControls(page)) {
            ShowWindow(GetDlgItem(window_, id), page == tab ? SW_SHOWNA : SW_HIDE);
        }
    }
    // The page shown draws whole, frames and scroll bars included, over what the last one left.
    RedrawWindow(window_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
    // The focus never stays on a control the user can no longer see.
    HWND focus = GetFocus();
    if (focus != nullptr && IsChild(window_, focus) && !IsWindowVisible(focus)) {
        focusControl(IDC_TABS);
    }
}

void MainWindow::focusControl(int id) {
    SendMessageW(window_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(window_, id)), TRUE);
}

void MainWindow::notifyFrom(const NMHDR& header, LPARAM lParam) {
    if (header.idFrom == IDC_TABS && header.code == TCN_SELCHANGE) {
        const int tab = currentTab();
        showPage(tab);
        form_.ssTab1Click(tab);
        return;
    }
    if (header.hwndFrom == toolTip_ && header.code == TTN_GETDISPINFOW) {
        auto* info = reinterpret_cast<NMTTDISPINFOW*>(lParam);
        const int id = GetDlgCtrlID(reinterpret_cast<HWND>(header.idFrom));
        const bool restoreSide = id >= IDC_RESTORE_ITEM0;
        const std::size_t index =
            static_cast<std::size_t>(id - (restoreSide ? IDC_RESTORE_ITEM0 : IDC_BACKUP_ITEM0));
        if (index < kItemBoxCount) {
            const auto& boxes = restoreSide ? form_.restoreItem : form_.backupItem;
            std::wstring& text = toolTips_[index + (restoreSide ? kItemBoxCount : 0)];
            text = win32::widen(boxes[index].toolTip);
            info->lpszText = text.data();
        }
    }
}

void MainWindow::command(int id, int code, HWND control) {
    (void)control;
    if (id >= IDC_BACKUP_ITEM0 && id < IDC_BACKUP_ITEM0 + static_cast<int>(kItemBoxCount)) {
        if (code == BN_CLICKED) {
            form_.backupItem[static_cast<std::size_t>(id - IDC_BACKUP_ITEM0)].checked =
                IsDlgButtonChecked(window_, id) == BST_CHECKED;
        }
        return;
    }
    if (id >= IDC_RESTORE_ITEM0 && id < IDC_RESTORE_ITEM0 + static_cast<int>(kItemBoxCount)) {
        if (code == BN_CLICKED) {
            form_.restoreItem[static_cast<std::size_t>(id - IDC_RESTORE_ITEM0)].checked =
                IsDlgButtonChecked(window_, id) == BST_CHECKED;
        }
        return;
    }
    const auto comboSelection = [this](int combo) {
        return static_cast<int>(SendDlgItemMessageW(window_, combo, CB_GETCURSEL, 0, 0));
    };
    switch (id) {
    case IDC_SOURCE_PROFILE:
        if (code == CBN_SELCHANGE) {
            form_.selectSource(comboSelection(IDC_SOURCE_PROFILE));
        }
        break;
    case IDC_TARGET_PROFILE:
        if (code == CBN_SELCHANGE) {
            form_.cbTarget.selected = comboSelection(IDC_TARGET_PROFILE);
            form_.notify(FormChange::Profiles);
        }
        break;
    case IDC_BACKUP_FILE:
        if (code == EN_CHANGE && !updating_) {
            form_.targetFileEdited(controlText(window_, IDC_BACKUP_FILE));
        }
        break;
    case IDC_DESCRIPTION:
        if (code == EN_CHANGE && !updating_) {
            form_.txtAttachInfo = controlText(window_, IDC_DESCRIPTION);
        }
        break;
    case IDC_PASSWORD:
    case IDC_PASSWORD2:
        if (code == EN_CHANGE && !updating_) {
            (id == IDC_PASSWORD ? form_.txtPassword : form_.txtPassword2) = controlText(window_, id);
        }
        break;
    case IDC_PROTECT:
        if (code == BN_CLICKED) {
            form_.ifProtectClick(IsDlgButtonChecked(window_, IDC_PROTECT) == BST_CHECKED);
        }
        break;
    case IDC_BACKUP_BROWSE:
        form_.cmdTargetFileClick();
        break;
    case IDC_RESTORE_BROWSE:
        if (form_.mayStartJob()) {
            cmdSourceFileClick(form_, archive_);
        }
        break;
    case IDC_APPLY:
        applyClicked();
        break;
    case IDC_CANCEL_JOB:
        cancelJob();
        break;
    case IDCANCEL:
        // Escape is the Cancel of a running job, asked first; idle, there is nothing to cancel.
        if (jobs_.running() && !jobs_.stopRequested() &&
            form_.platform().dialogs.message(kStopRunQuestion, MsgIcon::Question, MsgButtons::YesNo,
                                             kApplicationTitle) == MsgAnswer::Yes) {
            cancelJob();
        }
        break;
    case IDC_QUIT:
    case IDM_QUIT:
        requestClose();
        break;
    case IDM_BACKUP_NOW:
        startBackup();
        break;
    case IDM_RESTORE_NOW:
        startRestore(false);
        break;
    case IDM_HELP:
        if (actions_.showHelp) {
            actions_.showHelp();
        }
        break;
    case IDM_ABOUT:
    case IDC_ABOUT_BUTTON:
        if (actions_.showAbout) {
            actions_.showAbout();
        }
        break;
    case IDM_SETTINGS:
        if (actions_.showSettings && !jobs_.running()) {
            actions_.showSettings();
        }
        break;
    case IDM_TASK_SCHEDULER:
        if (actions_.showTaskScheduler && !jobs_.running()) {
            actions_.showTaskScheduler();
        }
        break;
    case IDM_TARGET_SYSTEM:
    case IDC_TARGET_CHANGE:
        if (actions_.chooseTargetSystem && !jobs_.running()) {
            actions_.chooseTargetSystem();
        }
        break;
    case IDM_BACKUP_TO_DISC:
        // From the menu the disc window starts with an empty image.
        if (actions_.burnDisc && !jobs_.running()) {
            actions_.burnDisc("", {});
        }
        break;
    case IDM_NEXT_TAB:
    case IDM_PREVIOUS_TAB:
        selectTab((currentTab() + (id == IDM_NEXT_TAB ? 1 : kTabCount - 1)) % kTabCount);
        break;
    default:
        break;
    }
}

void MainWindow::applyClicked() {
    switch (currentTab()) {
    case 0:
        startBackup();
        break;
    case 1:
        startRestore(true);
        break;
    case 2:
        showLogFile();
        break;
    case 3:
        if (actions_.showHelp) {
            actions_.showHelp();
        }
        break;
    default:
        break;
    }
}

void MainWindow::startBackup() {
    runFormJob(prepareBackupJob(
        form_, backupRun_, backupSummary_, [this] { return afterBackupActions(); }, quitting_));
}

void MainWindow::startRestore(bool confirm) {
    runFormJob(prepareRestoreJob(form_, archive_, restoreOptions(), confirm, restoreOutcome_, quitting_));
}

void MainWindow::runFormJob(std::optional<FormJob> job) {
    if (!job) {
        return;
    }
    formObserver_ = std::move(job->formObserver);
    windowObserver_ = std::make_unique<WindowObserver>(*formObserver_, *this);
    jobs_.start(std::move(job->work), *windowObserver_, [this, finish = std::move(job->finish)] {
        afterJob();
        finish();
    });
    refreshCommands();
    focusControl(IDC_CANCEL_JOB); // Space or Escape stops it
}

void MainWindow::afterJob() {
    if (window_ == nullptr) {
        return;
    }
    setControlText(window_, IDC_TIME_LEFT, "");
    refreshCommands();
    // Cancel is off now: the keyboard goes on from the action button.
    HWND focus = GetFocus();
    if (focus == nullptr || focus == GetDlgItem(window_, IDC_CANCEL_JOB) || !IsWindowEnabled(focus)) {
        focusControl(IDC_APPLY);
    }
}

void MainWindow::cancelJob() {
    if (!jobs_.running()) {
        return;
    }
    jobs_.requestStop();
    setControlText(window_, IDC_STATUS, "Stopping...");
    refreshCommands();
}

bool MainWindow::requestClose() {
    if (jobs_.running()) {
        const MsgAnswer answer = form_.platform().dialogs.message(kQuitWhileRunning, MsgIcon::Question,
                                                                  MsgButtons::YesNo, kApplicationTitle);
        if (answer != MsgAnswer::Yes && jobs_.running()) {
            return false;
        }
        if (jobs_.running()) {
            // Asked and answered: the run's end shows no summary the user would have to dismiss.
            quitting_ = true;
            cancelJob();
            jobs_.waitUntilFinished();
        }
    }
    if (window_ != nullptr) {
        DestroyWindow(window_);
    }
    return true;
}

void MainWindow::showItemMenu(bool restoreSide, POINT at) {
    HMENU menus = LoadMenuW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_ITEM_MENU));
    if (menus == nullptr) {
        return;
    }
    if (at.x == -1 && at.y == -1) {
        // From the keyboard: under the focused box.
        RECT box{};
        GetWindowRect(GetFocus(), &box);
        at = POINT{box.left + 16, box.bottom};
    }
    const UINT chosen = TrackPopupMenu(GetSubMenu(menus, 0), TPM_RETURNCMD | TPM_RIGHTBUTTON, at.x, at.y, 0,
                                       window_, nullptr);
    DestroyMenu(menus);
    if (chosen == IDM_SELECT_ALL) {
        form_.selectAllItems(restoreSide);
    } else if (chosen == IDM_DESELECT_ALL) {
        form_.deselectAllItems(restoreSide);
    }
}

void MainWindow::showLogFile() {
    const std::filesystem::path log = form_.platform().programFolder / "brlog.dat";
    if (actions_.openPath && !actions_.openPath(log)) {
        form_.platform().dialogs.message(noProgramCouldOpen(log), MsgIcon::Warning, MsgButtons::Ok,
                                         kApplicationTitle);
    }
}

void MainWindow::droppedFiles(HDROP drop) {
    std::filesystem::path backup;
    const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count && backup.empty(); ++i) {
        std::wstring name(DragQueryFileW(drop, i, nullptr, 0) + 1, L'\0');
        name.resize(DragQueryFileW(drop, i, name.data(), static_cast<UINT>(name.size())));
        const std::filesystem::path path(name);
        if (_wcsicmp(path.extension().c_str(), L".qob") == 0) {
            backup = path;
        }
    }
    DragFinish(drop);
    if (!backup.empty() && !jobs_.running()) {
        openBackupFile(backup);
    }
}

AfterBackupActions MainWindow::afterBackupActions() {
    AfterBackupActions after;
    after.burnDisc = actions_.burnDisc;
    after.startOutlook = actions_.startOutlook;
    if (actions_.openPath) {
        after.openFolder = [this](const std::filesystem::path& folder) { return actions_.openPath(folder); };
    }
    return after;
}

RestoreRunOptions MainWindow::restoreOptions() {
    RestoreRunOptions options;
    options.startOutlook = actions_.startOutlook;
    return options;
}

} // namespace qob::win32gui
