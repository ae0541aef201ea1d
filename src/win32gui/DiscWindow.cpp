#include "win32gui/DiscWindow.h"

#include "forms/EraseForm.h"
#include "platform/win32/WideText.h"
#include "win32gui/ControlText.h"
#include "win32gui/DiscWindowControls.h"
#include "win32gui/EraseWindow.h"
#include "win32gui/MessageLoop.h"
#include "win32gui/ResourceIds.h"
#include "win32gui/Win32Dialogs.h"

#include <shellapi.h>

#include <memory>

namespace qob::win32gui {

using namespace disc_window;

namespace {

// An in-place rename has ended: the form hears it once the edit box has let go of the item.
constexpr UINT kRenamedMessage = WM_APP + 3;

struct Tip {
    int id;
    const wchar_t* text;
};
constexpr Tip kTips[] = {{IDC_DISC_FILES, L"Add files using drag and drop."},
                         {IDC_MODE2XA, L"Please see help file for details on Mode2XA"},
                         {IDC_CACHE_IMAGE, L"Not needed for DVD formats...Use for CDR/W only."},
                         {IDC_TEST_WRITE, L"Not valid for DVD formats."},
                         {IDC_FINALIZE, L"Not valid for DVD+RW and DVD-RAM formats."},
                         {IDC_BUFFER_PROTECT, L"Eliminates buffer underrun problems."},
                         {IDC_DISC_AT_ONCE, L"Eliminates buffer underrun problems."}};

} // namespace

DiscWindow::DiscWindow(Dialogs& dialogs, disc::DiscEngine& engine, std::string handOver, Win32Dialogs* owned)
    : dialogs_(dialogs), engine_(engine), handOver_(std::move(handOver)), owned_(owned),
      form_(dialogs, engine), queue_(nullptr),
      call_([this](std::function<void()> call) { queue_.post(std::move(call)); }), shownChoices_(3) {}

DiscWindow::~DiscWindow() {
    if (call_.running()) {
        form_.cancelClick(); // only when the program is torn down: the write stops, and is waited for
    }
    if (window_ != nullptr) {
        DestroyWindow(window_);
    }
    if (icons_ != nullptr) {
        ImageList_Destroy(icons_);
    }
}

bool DiscWindow::load() {
    loaded_ = form_.formLoad(handOver_);
    return loaded_;
}

HWND DiscWindow::create(HWND owner) {
    modal_ = false;
    accelerators_ = LoadAcceleratorsW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_DISC_ACCELERATORS));
    HWND window = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_DISC), owner, dialogProc,
                                     reinterpret_cast<LPARAM>(this));
    if (window != nullptr) {
        registerDialog(window, accelerators_);
        ShowWindow(window, SW_SHOW);
    }
    return window;
}

void DiscWindow::run(HWND owner) {
    if (!loaded_) {
        return;
    }
    HWND window = create(owner);
    modal_ = true;
    if (window != nullptr) {
        runModal(window, owner);
    }
}

void DiscWindow::waitForWrite() {
    pumpWhile([this] { return call_.running(); });
}

INT_PTR CALLBACK DiscWindow::dialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(window, DWLP_USER, lParam);
        reinterpret_cast<DiscWindow*>(lParam)->window_ = window;
    }
    auto* self = reinterpret_cast<DiscWindow*>(GetWindowLongPtrW(window, DWLP_USER));
    return self != nullptr ? self->handle(message, wParam, lParam) : FALSE;
}

void DiscWindow::initialize() {
    setWindowText(window_, kDiscWindowCaption);
    queue_.setWindow(window_);
    if (owned_ != nullptr) {
        // Messages and file dialogs belong to this window while it is open.
        earlierOwner_ = owned_->owner();
        owned_->setOwner(window_);
    }
    HWND tree = GetDlgItem(window_, IDC_DISC_TREE);
    HWND list = GetDlgItem(window_, IDC_DISC_FILES);
    icons_ = ImageList_Create(GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON),
                              ILC_COLOR32 | ILC_MASK, 4, 0);
    // In the order of disc_window::Icon.
    for (SHSTOCKICONID id : {SIID_DRIVECD, SIID_FOLDER, SIID_FOLDEROPEN, SIID_DOCNOASSOC}) {
        SHSTOCKICONINFO info{};
        info.cbSize = sizeof(info);
        HICON icon = nullptr;
        if (SUCCEEDED(SHGetStockIconInfo(id, SHGSI_ICON | SHGSI_SMALLICON | SHGSI_ICONLOCATION, &info))) {
            icon = info.hIcon;
            // Some shells name only where the icon is (Wine's does).
            if (icon == nullptr && info.szPath[0] != L'\0') {
                ExtractIconExW(info.szPath, info.iIcon, nullptr, &icon, 1);
            }
        }
        // Without the shell's icon the places stay in step, so every node keeps its own.
        ImageList_AddIcon(icons_, icon != nullptr ? icon : LoadIconW(nullptr, IDI_APPLICATION));
        if (icon != nullptr) {
            DestroyIcon(icon);
        }
    }
    TreeView_SetImageList(tree, icons_, TVSIL_NORMAL);
    ListView_SetImageList(list, icons_, LVSIL_SMALL);
    ListView_SetExtendedListViewStyle(list, LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
    // The name takes what is left; the size and the date are shown whole.
    RECT units{0, 0, 62, 92};
    MapDialogRect(window_, &units);
    RECT area{};
    GetClientRect(list, &area);
    const struct {
        const wchar_t* title;
        int width;
        int format;
    } columns[] = {
        {L"File Name", area.right - units.right - units.bottom - GetSystemMetrics(SM_CXVSCROLL), LVCFMT_LEFT},
        {L"Size", units.right, LVCFMT_RIGHT},
        {L"Date", units.bottom, LVCFMT_LEFT}};
    for (int i = 0; i < 3; ++i) {
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
        column.pszText = const_cast<wchar_t*>(columns[i].title);
        column.cx = columns[i].width;
        column.fmt = columns[i].format;
        ListView_InsertColumn(list, i, &column);
    }
    SendDlgItemMessageW(window_, IDC_VOLUME_ID, EM_LIMITTEXT, 32, 0);
    SendDlgItemMessageW(window_, IDC_DISC_PROGRESS, PBM_SETRANGE32, 0, 100);
    // The owner-drawn volume types are as tall as the other lists' entries.
    HWND types = GetDlgItem(window_, IDC_VOLUME_TYPE);
    HDC dc = GetDC(types);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(window_, WM_GETFONT, 0, 0)));
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    SelectObject(dc, old);
    ReleaseDC(types, dc);
    for (WPARAM which : {static_cast<WPARAM>(-1), static_cast<WPARAM>(0)}) {
        SendMessageW(types, CB_SETITEMHEIGHT, which, metrics.tmHeight + 4);
    }
    HWND status = GetDlgItem(window_, IDC_DISC_STATUS);
    RECT bar{};
    GetClientRect(status, &bar);
    const int parts[] = {bar.right * 11 / 20, bar.right * 15 / 20, -1};
    SendMessageW(status, SB_SETPARTS, 3, reinterpret_cast<LPARAM>(parts));
    toolTip_ = CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, window_, nullptr,
                               GetModuleHandleW(nullptr), nullptr);
    if (toolTip_ != nullptr) {
        SendMessageW(toolTip_, TTM_SETMAXTIPWIDTH, 0, 400);
        for (const Tip& tip : kTips) {
            TTTOOLINFOW tool{};
            tool.cbSize = sizeof(tool);
            tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
            tool.hwnd = window_;
            tool.uId = reinterpret_cast<UINT_PTR>(GetDlgItem(window_, tip.id));
            tool.lpszText = const_cast<wchar_t*>(tip.text);
            SendMessageW(toolTip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
        }
    }
    refresh();
}

INT_PTR DiscWindow::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    if (handleCall(message, lParam)) {
        return TRUE;
    }
    switch (message) {
    case WM_INITDIALOG:
        initialize();
        return TRUE;
    case kJobEventMessage:
        queue_.deliver();
        return TRUE;
    case kRenamedMessage: {
        const Editing which = renamed_;
        renamed_ = Editing::None;
        if (which == Editing::Folder) {
            form_.folderRenamed(renamedTo_);
        } else if (which == Editing::File) {
            form_.fileRenamed(renamedTo_);
        }
        refresh();
        return TRUE;
    }
    case WM_COMMAND:
        command(LOWORD(wParam), HIWORD(wParam));
        return TRUE;
    case WM_NOTIFY:
        return notify(*reinterpret_cast<const NMHDR*>(lParam), lParam) ? TRUE : FALSE;
    case WM_CONTEXTMENU: {
        const int id = GetDlgCtrlID(reinterpret_cast<HWND>(wParam));
        if (id == IDC_DISC_TREE || id == IDC_DISC_FILES) {
            showPopup(id == IDC_DISC_TREE ? DiscPopup::Tree : DiscPopup::List,
                      POINT{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))});
            return TRUE;
        }
        return FALSE;
    }
    case WM_DROPFILES:
        dropped(reinterpret_cast<HDROP>(wParam));
        return TRUE;
    case WM_DRAWITEM:
        if (wParam == IDC_VOLUME_TYPE) {
            drawVolumeType(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
            return TRUE;
        }
        return FALSE;
    case WM_SETCURSOR:
        if (form_.busyCursor) {
            SetCursor(LoadCursorW(nullptr, IDC_WAIT));
            SetWindowLongPtrW(window_, DWLP_MSGRESULT, TRUE);
            return TRUE;
        }
        return FALSE;
    case WM_CLOSE:
        escape();
        return TRUE;
    case WM_DESTROY:
        unregisterDialog(window_);
        if (owned_ != nullptr) {
            owned_->setOwner(earlierOwner_);
        }
        if (toolTip_ != nullptr) {
            DestroyWindow(toolTip_);
            toolTip_ = nullptr;
        }
        window_ = nullptr;
        return TRUE;
    default:
        break;
    }
    return FALSE;
}

void DiscWindow::command(int id, int code) {
    // Keys typed in the volume box are the box's own: Ctrl+A, Ctrl+C and Ctrl+X there select,
    // copy and cut rather than add a file, clear the image or close the window.
    HWND volume = GetDlgItem(window_, IDC_VOLUME_ID);
    if (code == 1 && GetFocus() == volume) {
        if (id == IDM_DISC_ADD_FILE) {
            SendMessageW(volume, EM_SETSEL, 0, -1);
            return;
        }
        if (id == IDM_DISC_CLEAR_ALL || id == IDM_DISC_EXIT) {
            SendMessageW(volume, id == IDM_DISC_CLEAR_ALL ? WM_COPY : WM_CUT, 0, 0);
            return;
        }
    }
    // The menus are off while a write runs; their keys too.
    if (id >= IDM_DISC_ADD_FILE && id <= IDM_DISC_ERASE && id != IDM_DISC_EXIT && !idle()) {
        return;
    }
    const auto selection = [this](int combo) {
        return static_cast<int>(SendDlgItemMessageW(window_, combo, CB_GETCURSEL, 0, 0));
    };
    for (const OptionBox& box : kOptionBoxes) {
        if (id == box.id) {
            if (code == BN_CLICKED && !refreshing_) {
                const bool on = IsDlgButtonChecked(window_, id) == BST_CHECKED;
                if (id == IDC_USE_FILE_DATES) {
                    form_.useFileDatesClicked(on);
                } else {
                    form_.*box.field = on;
                }
            }
            return;
        }
    }
    switch (id) {
    case IDM_DISC_ADD_FILE:
        form_.addFileClick();
        break;
    case IDM_DISC_CLEAR_ALL:
        form_.clearAllClick();
        break;
    case IDM_DISC_REMOVE_FOLDER:
        form_.removeFolderClick();
        break;
    case IDM_DISC_REMOVE_FILE:
        form_.removeFileClick();
        break;
    case IDM_DISC_RENAME_FOLDER:
        startRename(Editing::Folder);
        break;
    case IDM_DISC_RENAME_FILE:
        startRename(Editing::File);
        break;
    case IDM_DISC_EXIT:
    case IDCANCEL:
        escape();
        return;
    case IDM_DISC_EJECT:
        form_.ejectClick();
        return;
    case IDM_DISC_CLOSE_TRAY:
        form_.closeTrayClick();
        return;
    case IDM_DISC_ERASE:
        eraseClicked();
        return;
    case IDC_VOLUME_ID:
        if (code != EN_CHANGE || refreshing_) {
            return;
        }
        form_.volumeIdentifierChanged(controlText(window_, IDC_VOLUME_ID));
        break;
    case IDC_DEVICE:
        if (code != CBN_SELCHANGE) {
            return;
        }
        form_.deviceSelected(selection(IDC_DEVICE));
        break;
    case IDC_WRITE_SPEED:
        if (code == CBN_SELCHANGE) {
            form_.selectedSpeed = selection(IDC_WRITE_SPEED);
        }
        return;
    case IDC_VOLUME_TYPE:
        if (code == CBN_SELCHANGE) {
            // The types that cannot be written are listed but cannot be chosen.
            const int chosen = selection(IDC_VOLUME_TYPE);
            if (chosen >= 0 && chosen < static_cast<int>(form_.volumeTypes.size()) &&
                form_.volumeTypes[static_cast<std::size_t>(chosen)].enabled) {
                form_.selectedVolumeType = chosen;
            }
            SendDlgItemMessageW(window_, IDC_VOLUME_TYPE, CB_SETCURSEL,
                                static_cast<WPARAM>(form_.selectedVolumeType), 0);
        }
        return;
    case IDC_WRITE_DISC:
        writeClicked();
        return;
    case IDC_CANCEL_WRITE:
        form_.cancelClick();
        break;
    case IDOK:
        // Enter ends an in-place rename and keeps what was typed.
        if (editing_ == Editing::Folder) {
            TreeView_EndEditLabelNow(GetDlgItem(window_, IDC_DISC_TREE), FALSE);
        }
        return;
    default:
        return;
    }
    refresh();
}

bool DiscWindow::notify(const NMHDR& header, LPARAM lParam) {
    auto answer = [this](LRESULT result) {
        SetWindowLongPtrW(window_, DWLP_MSGRESULT, result);
        return true;
    };
    // An in-place edit starts only from the menu ("Rename Folder", "Rename File"), as in the Qt
    // window; its end is handed to the form once the edit box is gone.
    auto edited = [this](Editing which, const wchar_t* text) {
        if (editing_ != which) {
            return;
        }
        editing_ = Editing::None;
        if (text != nullptr) {
            renamed_ = which;
            renamedTo_ = win32::narrow(text);
            PostMessageW(window_, kRenamedMessage, 0, 0);
        }
    };
    if (header.idFrom == IDC_DISC_TREE) {
        switch (header.code) {
        case TVN_SELCHANGEDW: {
            const auto& change = *reinterpret_cast<const NMTREEVIEWW*>(lParam);
            const auto index = static_cast<std::size_t>(change.itemNew.lParam);
            if (!refreshing_ && change.itemNew.hItem != nullptr && index < treeKeys_.size()) {
                form_.nodeClick(treeKeys_[index]);
                refresh();
            }
            return true;
        }
        case TVN_BEGINLABELEDITW:
            return answer(editing_ != Editing::Folder);
        case TVN_ENDLABELEDITW:
            edited(Editing::Folder, reinterpret_cast<const NMTVDISPINFOW*>(lParam)->item.pszText);
            return answer(FALSE); // the refresh shows what the image holds
        default:
            return false;
        }
    }
    if (header.idFrom == IDC_DISC_FILES) {
        switch (header.code) {
        case LVN_ITEMCHANGED: {
            const auto& change = *reinterpret_cast<const NMLISTVIEW*>(lParam);
            const bool selected = (change.uNewState & LVIS_SELECTED) && !(change.uOldState & LVIS_SELECTED);
            if (!refreshing_ && (change.uChanged & LVIF_STATE) && selected && change.iItem >= 0 &&
                change.iItem < static_cast<int>(form_.rows.size())) {
                form_.rowClick(form_.rows[static_cast<std::size_t>(change.iItem)].key);
            }
            return true;
        }
        case LVN_BEGINLABELEDITW:
            return answer(editing_ != Editing::File);
        case LVN_ENDLABELEDITW:
            edited(Editing::File, reinterpret_cast<const NMLVDISPINFOW*>(lParam)->item.pszText);
            return answer(FALSE);
        default:
            return false;
        }
    }
    return false;
}

void DiscWindow::startRename(Editing which) {
    HWND tree = GetDlgItem(window_, IDC_DISC_TREE);
    HWND list = GetDlgItem(window_, IDC_DISC_FILES);
    if (which == Editing::Folder) {
        HTREEITEM item = TreeView_GetSelection(tree);
        if (form_.renameFolderClick() && item != nullptr) {
            editing_ = Editing::Folder;
            SetFocus(tree);
            if (TreeView_EditLabel(tree, item) == nullptr) {
                editing_ = Editing::None;
            }
        }
    } else {
        const int row = ListView_GetNextItem(list, -1, LVNI_SELECTED);
        if (form_.renameFileClick() && row >= 0) {
            editing_ = Editing::File;
            SetFocus(list);
            if (ListView_EditLabel(list, row) == nullptr) {
                editing_ = Editing::None;
            }
        }
    }
}

void DiscWindow::escape() {
    if (editing_ == Editing::Folder) {
        TreeView_EndEditLabelNow(GetDlgItem(window_, IDC_DISC_TREE), TRUE);
        return;
    }
    if (editing_ == Editing::File) {
        ListView_CancelEditLabel(GetDlgItem(window_, IDC_DISC_FILES));
        return;
    }
    if (closable()) {
        close();
    } else if (form_.cancelAsked()) {
        // Escape is the Cancel of a running write, asked first; the window stays until it ends.
        refresh();
    }
}

void DiscWindow::close() {
    HWND owner = GetWindow(window_, GW_OWNER);
    if (modal_ && owner != nullptr) {
        EnableWindow(owner, TRUE); // before the window goes, so the owner is the one activated
    }
    DestroyWindow(window_);
}

HMENU DiscWindow::fileMenu(DiscPopup popup) const {
    HMENU bar = LoadMenuW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_DISC_MENU));
    if (bar == nullptr) {
        return nullptr;
    }
    HMENU file = GetSubMenu(bar, 0);
    RemoveMenu(bar, 0, MF_BYPOSITION); // the File menu outlives the bar it came from
    DestroyMenu(bar);
    for (int e = static_cast<int>(DiscFileMenu::Exit); e >= 0; --e) {
        if (!discMenuEntryShown(static_cast<DiscFileMenu>(e), popup)) {
            DeleteMenu(file, static_cast<UINT>(e), MF_BYPOSITION);
        }
    }
    return file;
}

void DiscWindow::showPopup(DiscPopup popup, POINT at) {
    if (!idle()) {
        return;
    }
    if (at.x == -1 && at.y == -1) {
        // From the keyboard: over the focused view.
        RECT box{};
        GetWindowRect(GetFocus(), &box);
        at = POINT{box.left + 16, box.top + 16};
    }
    HMENU menu = fileMenu(popup);
    if (menu == nullptr) {
        return;
    }
    const UINT chosen =
        TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON, at.x, at.y, 0, window_, nullptr);
    DestroyMenu(menu);
    if (chosen != 0) {
        command(static_cast<int>(chosen), 0);
    }
}

void DiscWindow::dropped(HDROP drop) {
    POINT at{};
    DragQueryPoint(drop, &at);
    HWND target = ChildWindowFromPointEx(window_, at, CWP_SKIPINVISIBLE);
    std::vector<std::string> paths;
    const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count; ++i) {
        std::wstring name(DragQueryFileW(drop, i, nullptr, 0) + 1, L'\0');
        name.resize(DragQueryFileW(drop, i, name.data(), static_cast<UINT>(name.size())));
        paths.push_back(win32::narrow(name));
    }
    DragFinish(drop);
    // Files land on the image's tree or list; dropped anywhere else they are not taken.
    if (target != GetDlgItem(window_, IDC_DISC_TREE) && target != GetDlgItem(window_, IDC_DISC_FILES)) {
        return;
    }
    form_.dropFiles(paths, idle() && !paths.empty());
    refresh();
}

void DiscWindow::writeClicked() {
    std::optional<DiscWriteJob> job = form_.writeDiscClick();
    refresh();
    if (!job) {
        return;
    }
    auto shared = std::make_shared<const DiscWriteJob>(std::move(*job));
    disc::DiscEngine& engine = engine_;
    const StopToken& stop = form_.stopToken();
    call_.start(
        [&engine, &stop, shared](disc::DiscEvents& events) {
            return engine.write(shared->address, shared->image, shared->options, events, stop);
        },
        form_, [this] { refresh(); },
        [this](const Status& result) {
            form_.writeReturned(result);
            refresh();
        });
    refresh();
    // Space or Escape stops it.
    SendMessageW(window_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(window_, IDC_CANCEL_WRITE)),
                 TRUE);
}

void DiscWindow::eraseClicked() {
    const std::optional<std::string> address = form_.eraseDiscClick();
    if (!address) {
        return;
    }
    EraseForm erase(dialogs_, engine_, *address);
    EraseWindow(erase, engine_, owned_).run(window_);
    form_.deviceSelected(form_.selectedDevice); // the medium may have changed
    refresh();
}

} // namespace qob::win32gui
