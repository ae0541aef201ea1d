#pragma once
// The disc window on Windows (IDD_DISC), bound to DiscForm exactly as the Qt window is: the image
// tree and file list with dropped files, in-place renames and pop-up menus, the File and Device
// menus and their keys, the drive, speed, volume type and options, and the write with its
// progress. A write runs on a worker through DiscCall, its reports posted to this window; the
// window refuses to close while one runs. Open it modally:
//
//     disc::Win32DiscEngine engine;
//     win32gui::DiscWindow window(dialogs, engine, backupFile /* "" for an empty image */, &dialogs);
//     if (window.load()) window.run(owner);
#include "forms/DiscCall.h"
#include "forms/DiscForm.h"
#include "win32gui/WindowQueue.h"

#include <windows.h>

#include <commctrl.h>
#include <shellapi.h>

#include <map>
#include <set>
#include <string>
#include <vector>

namespace qob::win32gui {

class Win32Dialogs;

class DiscWindow {
public:
    // `dialogs` and `engine` must outlive the window. `owned`, when given, is the Win32Dialogs
    // behind `dialogs`: its boxes belong to this window while it is open. `handOver`: a file (the
    // new backup) put in the image root at load.
    DiscWindow(Dialogs& dialogs, disc::DiscEngine& engine, std::string handOver = "",
               Win32Dialogs* owned = nullptr);
    ~DiscWindow();
    DiscWindow(const DiscWindow&) = delete;
    DiscWindow& operator=(const DiscWindow&) = delete;

    // The form's load: the engine's start, the drives, the file handed over. False when the engine
    // could not start (the message was shown): the window is not to be shown.
    bool load();
    // Modal over `owner`, after load().
    void run(HWND owner);
    // The same window modeless (tests); it destroys itself when it closes.
    HWND create(HWND owner);
    HWND window() const { return window_; }
    DiscForm& form() { return form_; }
    bool writing() const { return call_.running(); }
    // Runs the window's messages until the running write has ended and its end is shown.
    void waitForWrite();
    // The File menu as it pops up over the tree or the list (or the menu bar's, whole); the caller
    // destroys it.
    HMENU fileMenu(DiscPopup popup) const;

private:
    enum class Editing { None, Folder, File };

    static INT_PTR CALLBACK dialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR handle(UINT message, WPARAM wParam, LPARAM lParam);
    void initialize();
    void command(int id, int code);
    bool notify(const NMHDR& header, LPARAM lParam);
    void refresh();
    void refreshTree();
    void refreshList();
    void refreshChoices();
    void writeClicked();
    void eraseClicked();
    void startRename(Editing which);
    void dropped(HDROP drop);
    void showPopup(DiscPopup popup, POINT at);
    void drawVolumeType(const DRAWITEMSTRUCT& item);
    void escape();
    bool idle() const { return form_.idle && !call_.running(); }
    bool closable() const { return form_.queryClose() && !call_.running(); }
    void close();

    Dialogs& dialogs_;
    disc::DiscEngine& engine_;
    std::string handOver_;
    Win32Dialogs* owned_;
    HWND earlierOwner_ = nullptr;
    DiscForm form_;
    // Before the call: a worker still running posts into it until it has been waited for.
    WindowQueue queue_;
    DiscCall call_;
    HWND window_ = nullptr;
    HWND toolTip_ = nullptr;
    HIMAGELIST icons_ = nullptr;
    HACCEL accelerators_ = nullptr;
    bool loaded_ = false;
    bool modal_ = true;
    bool refreshing_ = false; // the window sets a control: its notification is not the user's
    Editing editing_ = Editing::None;
    std::string renamedTo_; // the text of an in-place edit, applied once the edit has let go
    Editing renamed_ = Editing::None;
    // What the tree, the list and the lists of choices show, so a redraw rebuilds only what changed
    // (a write redraws on every report).
    std::vector<DiscTreeNode> shownTree_;
    std::set<std::string> shownExpanded_;
    std::vector<DiscFileRow> shownRows_;
    std::vector<std::string> treeKeys_;
    std::map<std::string, HTREEITEM> treeItems_;
    std::vector<std::vector<DiscChoice>> shownChoices_;
};

} // namespace qob::win32gui
