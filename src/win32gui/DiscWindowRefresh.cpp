// The disc window's side of its form: what the form holds is copied into the controls after each
// event. The tree, the list and the lists of choices are rebuilt only when what they show changed,
// as a write redraws on every report; the window's own notifications are held off meanwhile.
#include "platform/win32/WideText.h"
#include "win32gui/ControlText.h"
#include "win32gui/DiscWindow.h"
#include "win32gui/DiscWindowControls.h"

#include <algorithm>

namespace qob::win32gui {

using namespace disc_window;

namespace {

bool sameNodes(const std::vector<DiscTreeNode>& a, const std::vector<DiscTreeNode>& b) {
    return std::equal(
        a.begin(), a.end(), b.begin(), b.end(), [](const DiscTreeNode& x, const DiscTreeNode& y) {
            return x.key == y.key && x.text == y.text && x.image == y.image && x.parent == y.parent;
        });
}

bool sameRows(const std::vector<DiscFileRow>& a, const std::vector<DiscFileRow>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const DiscFileRow& x, const DiscFileRow& y) {
        return x.key == y.key && x.name == y.name && x.size == y.size && x.date == y.date;
    });
}

bool sameChoices(const std::vector<DiscChoice>& a, const std::vector<DiscChoice>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const DiscChoice& x, const DiscChoice& y) {
        return x.text == y.text && x.value == y.value && x.enabled == y.enabled;
    });
}

} // namespace

void DiscWindow::drawVolumeType(const DRAWITEMSTRUCT& item) {
    if (item.itemID == static_cast<UINT>(-1) || item.itemID >= form_.volumeTypes.size()) {
        return;
    }
    const DiscChoice& choice = form_.volumeTypes[item.itemID];
    const bool grey = !choice.enabled || (item.itemState & ODS_DISABLED);
    const bool selected = (item.itemState & ODS_SELECTED) && !grey;
    FillRect(item.hDC, &item.rcItem, GetSysColorBrush(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
    SetBkMode(item.hDC, TRANSPARENT);
    SetTextColor(item.hDC, GetSysColor(grey       ? COLOR_GRAYTEXT
                                       : selected ? COLOR_HIGHLIGHTTEXT
                                                  : COLOR_WINDOWTEXT));
    RECT text = item.rcItem;
    text.left += 3;
    const std::wstring wide = win32::widen(choice.text);
    DrawTextW(item.hDC, wide.c_str(), static_cast<int>(wide.size()), &text,
              DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);
    if (item.itemState & ODS_FOCUS) {
        DrawFocusRect(item.hDC, &item.rcItem);
    }
}

void DiscWindow::refreshTree() {
    HWND tree = GetDlgItem(window_, IDC_DISC_TREE);
    if (!sameNodes(form_.tree, shownTree_) || form_.expanded != shownExpanded_) {
        SendMessageW(tree, WM_SETREDRAW, FALSE, 0);
        TreeView_DeleteAllItems(tree);
        treeKeys_.clear();
        treeItems_.clear();
        for (const DiscTreeNode& node : form_.tree) {
            const auto parent = treeItems_.find(node.parent);
            const std::wstring text = win32::widen(node.text);
            TVINSERTSTRUCTW insert{};
            insert.hParent = parent == treeItems_.end() ? TVI_ROOT : parent->second;
            insert.hInsertAfter = TVI_LAST;
            insert.item.mask = TVIF_TEXT | TVIF_PARAM | TVIF_IMAGE | TVIF_SELECTEDIMAGE;
            insert.item.pszText = const_cast<wchar_t*>(text.c_str());
            insert.item.iImage = iconOf(node.image);
            insert.item.iSelectedImage = iconOf(node.selectedImage);
            insert.item.lParam = static_cast<LPARAM>(treeKeys_.size());
            treeKeys_.push_back(node.key);
            treeItems_[node.key] = TreeView_InsertItem(tree, &insert);
        }
        for (const std::string& key : form_.expanded) {
            if (auto it = treeItems_.find(key); it != treeItems_.end()) {
                TreeView_Expand(tree, it->second, TVE_EXPAND);
            }
        }
        SendMessageW(tree, WM_SETREDRAW, TRUE, 0);
        InvalidateRect(tree, nullptr, TRUE);
        shownTree_ = form_.tree;
        shownExpanded_ = form_.expanded;
    }
    const auto selected = treeItems_.find(form_.selectedNode);
    HTREEITEM wanted = selected == treeItems_.end() ? nullptr : selected->second;
    if (TreeView_GetSelection(tree) != wanted) {
        TreeView_SelectItem(tree, wanted);
    }
}

void DiscWindow::refreshList() {
    HWND list = GetDlgItem(window_, IDC_DISC_FILES);
    if (!sameRows(form_.rows, shownRows_)) {
        SendMessageW(list, WM_SETREDRAW, FALSE, 0);
        ListView_DeleteAllItems(list);
        for (std::size_t i = 0; i < form_.rows.size(); ++i) {
            const DiscFileRow& row = form_.rows[i];
            std::wstring name = win32::widen(row.name);
            LVITEMW item{};
            item.mask = LVIF_TEXT | LVIF_IMAGE;
            item.iItem = static_cast<int>(i);
            item.pszText = name.data();
            item.iImage = kIconFile;
            const int at = ListView_InsertItem(list, &item);
            std::wstring size = win32::widen(row.size);
            std::wstring date = win32::widen(row.date);
            ListView_SetItemText(list, at, 1, size.data());
            ListView_SetItemText(list, at, 2, date.data());
        }
        SendMessageW(list, WM_SETREDRAW, TRUE, 0);
        InvalidateRect(list, nullptr, TRUE);
        shownRows_ = form_.rows;
    }
    int wanted = -1;
    for (std::size_t i = 0; i < form_.rows.size(); ++i) {
        if (form_.rows[i].key == form_.selectedRow) {
            wanted = static_cast<int>(i);
        }
    }
    if (ListView_GetNextItem(list, -1, LVNI_SELECTED) != wanted) {
        ListView_SetItemState(list, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
        if (wanted >= 0) {
            ListView_SetItemState(list, wanted, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
        }
    }
}

void DiscWindow::refreshChoices() {
    const struct {
        int id;
        const std::vector<DiscChoice>& choices;
        int selected;
    } combos[] = {{IDC_DEVICE, form_.devices, form_.selectedDevice},
                  {IDC_WRITE_SPEED, form_.speeds, form_.selectedSpeed},
                  {IDC_VOLUME_TYPE, form_.volumeTypes, form_.selectedVolumeType}};
    for (std::size_t i = 0; i < 3; ++i) {
        HWND combo = GetDlgItem(window_, combos[i].id);
        if (!sameChoices(combos[i].choices, shownChoices_[i])) {
            SendMessageW(combo, CB_RESETCONTENT, 0, 0);
            for (const DiscChoice& choice : combos[i].choices) {
                SendMessageW(combo, CB_ADDSTRING, 0,
                             reinterpret_cast<LPARAM>(win32::widen(choice.text).c_str()));
            }
            shownChoices_[i] = combos[i].choices;
        }
        SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(combos[i].selected), 0);
    }
}

void DiscWindow::refresh() {
    if (window_ == nullptr) {
        return;
    }
    refreshing_ = true;
    refreshTree();
    refreshList();
    refreshChoices();
    setControlText(window_, IDC_VOLUME_ID, form_.volumeIdentifier);
    const bool on = idle();
    for (const OptionBox& box : kOptionBoxes) {
        CheckDlgButton(window_, box.id, form_.*box.field ? BST_CHECKED : BST_UNCHECKED);
        EnableWindow(GetDlgItem(window_, box.id), on);
    }
    EnableWindow(GetDlgItem(window_, IDC_BUFFER_PROTECT), on && form_.bufferProtectEnabled);
    for (int id : {IDC_DEVICE, IDC_WRITE_SPEED, IDC_VOLUME_TYPE, IDC_VOLUME_ID, IDC_DISC_TREE, IDC_DISC_FILES,
                   IDC_WRITE_DISC}) {
        EnableWindow(GetDlgItem(window_, id), on);
    }
    HMENU menus = GetMenu(window_);
    for (UINT position : {0u, 1u}) {
        EnableMenuItem(menus, position, MF_BYPOSITION | (on ? MF_ENABLED : MF_GRAYED));
    }
    DrawMenuBar(window_);
    EnableWindow(GetDlgItem(window_, IDC_CANCEL_WRITE), !form_.idle);
    SendDlgItemMessageW(window_, IDC_DISC_PROGRESS, PBM_SETPOS, static_cast<WPARAM>(form_.progress), 0);
    for (std::size_t i = 0; i < form_.status.size(); ++i) {
        SendDlgItemMessageW(window_, IDC_DISC_STATUS, SB_SETTEXTW, static_cast<WPARAM>(i),
                            reinterpret_cast<LPARAM>(win32::widen(form_.status[i]).c_str()));
    }
    DragAcceptFiles(window_, on);
    // The keyboard never stays on a control that was turned off.
    HWND focus = GetFocus();
    if (focus == nullptr || (IsChild(window_, focus) && !IsWindowEnabled(focus))) {
        const int next = on ? IDC_WRITE_DISC : IDC_CANCEL_WRITE;
        if (IsWindowEnabled(GetDlgItem(window_, next))) {
            SendMessageW(window_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(window_, next)), TRUE);
        }
    }
    refreshing_ = false;
}

} // namespace qob::win32gui
