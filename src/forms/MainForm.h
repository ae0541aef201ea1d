#pragma once
// The main window without its widgets: the state of every control that the runs read or drive,
// the program-wide values, and the event handlers of the window. A Qt window binds its widgets to
// the public control states and redraws when the listener says something changed; tests drive the
// form directly.
#include "outlook/AppState.h"
#include "registry/TargetContext.h"

#include <array>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace qob {

// Captions of the item check boxes, the same on both sides, by box index.
extern const std::array<const char*, kItemBoxCount> kItemCaptions;

struct CheckBoxState {
    std::string caption;
    bool enabled = true;
    bool checked = false;
    std::string toolTip;
};

struct ComboState {
    std::vector<std::string> items;
    int selected = -1; // -1: nothing selected
    // Text of the selected entry, "" when none.
    std::string text() const;
};

// Which part of the window changed, so a window redraws only that.
enum class FormChange {
    Profiles,     // cbSource / cbTarget lists or selection
    BackupItems,  // backupItem boxes
    RestoreItems, // restoreItem boxes
    TargetFile,   // txtTargetFile
    Passwords,    // ifProtect, txtPassword, txtPassword2
    ApplyButton,  // cmdApply caption or enabled state
    Progress,     // picCon3 visibility, pbShow, label1, skinLabel9, skinLabel10
    Log,          // list1
    RestoreInfo,  // txtSourceFile, txtFileInfo, txtPOBinfo
    Hidden,       // the window hides itself (automatic run)
};

// Our own text: a restore or an opening asked for while another run goes on (a second backup keeps
// its own message).
inline constexpr char kJobRunningMessage[] =
    "A backup or restore is running. Please wait until it has finished.";

class MainForm {
public:
    using Listener = std::function<void(FormChange)>;
    using Clock = std::function<std::chrono::system_clock::time_point()>;

    explicit MainForm(TargetContext& platform);

    TargetContext& platform() { return platform_; }
    AppState& state() { return state_; }
    const AppState& state() const { return state_; }

    // The window registers here to hear about changes; one listener.
    void setListener(Listener listener) { listener_ = std::move(listener); }
    // Tells the window that part of it changed (the runs call this after changing controls).
    void notify(FormChange change);
    // The source of "today" for generated file names; the system clock unless a test sets one.
    void setClock(Clock clock) { clock_ = std::move(clock); }
    std::chrono::system_clock::time_point now() const;

    // --- window events ---
    // The load step: names, versions, profiles, first profile selected. Returns false when no
    // profile was found (the message has been shown and cmdApply disabled). `noOutlookHint` is
    // added to that one message (a window says where it looked and how to pick another system).
    bool formLoad(const std::string& noOutlookHint = "");
    // A profile picked in cbSource (index into its items); runs cbSourceClick.
    void selectSource(int index);
    void cbSourceClick();
    void cmdTargetFileClick();
    // The backup file's path typed into txtTargetFile: the next backup writes there.
    void targetFileEdited(const std::string& text);
    // Tab change: caption of cmdApply (tab 2 loads the log).
    void ssTab1Click(int tab);
    void ifProtectClick(bool ticked);
    // "Select all items" / "Deselect all items" of either side.
    void selectAllItems(bool restoreSide);
    void deselectAllItems(bool restoreSide);
    // Loads brlog.dat into list1, last line selected.
    void showLog();

    // --- controls other parts read or drive ---
    // A job (backup, restore, opening a backup file) is running: every command that would start
    // another is refused until it has finished.
    bool jobRunning = false;
    // Refuses a command while a job runs (message shown); true when the command may go on.
    bool mayStartJob();
    int ssTab1 = 0;
    std::string cmdApplyCaption = "Backup Now";
    bool cmdApplyEnabled = true;

    ComboState cbSource;
    ComboState cbTarget;
    std::array<CheckBoxState, kItemBoxCount> backupItem;
    std::array<CheckBoxState, kItemBoxCount> restoreItem;

    std::string txtTargetFile; // host path text of the backup file to write
    std::string txtAttachInfo;
    bool ifProtect = false;
    bool passwordsEnabled = false;
    std::string txtPassword;
    std::string txtPassword2;

    std::string txtSourceFile;
    std::string txtFileInfo;
    std::string txtPOBinfo;

    bool picCon3Visible = false;
    int pbShow = 0;          // 0..100
    std::string label1;      // status line
    std::string skinLabel9;  // file being added or extracted
    std::string skinLabel10; // window caption on the About tab
    std::vector<std::string> list1;
    int list1Selected = -1;

private:
    TargetContext& platform_;
    AppState state_;
    Listener listener_;
    Clock clock_;
};

} // namespace qob
