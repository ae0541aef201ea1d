#pragma once
// The "Task Scheduler" window without its widgets (old name Frmoption): profile, items, backup
// file, password, days and start time of the weekly backup, registered with the scheduler step by
// step, each step's result read; the task registered now is shown as the scheduler holds it.
#include "forms/MainForm.h"
#include "schedule/WeeklyBackup.h"

#include <array>
#include <functional>
#include <optional>
#include <string>

namespace qob {

inline constexpr char kScheduleWindowTitle[] = "Task Scheduler";
// Day boxes, Monday first (chkMonday … chkSunday).
extern const std::array<const char*, 7> kDayCaptions;

enum class ScheduleChange {
    Profiles,   // cbSource
    Items,      // backupItem boxes
    TargetFile, // txtTargetFile
    Passwords,  // ifProtect, txtPassword, txtPassword2
    Days,       // day boxes, chkDaily
    Registered, // the task the scheduler holds
    Close,      // the window closes
};

class ScheduleForm {
public:
    using Listener = std::function<void(ScheduleChange)>;

    // `main` lends the profile list, the platform (dialogs, registry, program folder) and the
    // clock; `context` says what the task starts and where it registers it.
    ScheduleForm(MainForm& main, ScheduleContext context);

    void setListener(Listener listener) { listener_ = std::move(listener); }

    // --- window events ---
    void formLoad();
    void selectSource(int index);
    void cbSourceClick();
    void cmdTargetFileClick();
    void ifProtectClick(bool ticked);
    void chkDailyClick(bool ticked);
    // "Add Task to Scheduler" (Command3): true when the task was registered (the window closes).
    bool addTask();
    // "Disable Task" (Command1): the window stays open.
    void disableTask();
    // Reads the registered task back from the scheduler into `registeredTask`.
    void refreshRegistered();

    // --- controls ---
    ComboState cbSource;
    std::array<CheckBoxState, kItemBoxCount> backupItem;
    std::string txtTargetFile;
    bool ifProtect = false;
    bool passwordsEnabled = false;
    std::string txtPassword;
    std::string txtPassword2;
    std::array<bool, 7> days{}; // chkMonday … chkSunday
    bool chkDaily = false;
    std::vector<std::string> startTimes; // cmbStartTime's list: 0:00, 0:30 … 23:30
    std::string startTime = "9:00";      // cmbStartTime's text
    std::string registeredTask;          // what the scheduler holds now, in words

    const std::filesystem::path& targetPath() const { return targetPath_; }

private:
    void notify(ScheduleChange change);
    // Fills the form with the registered task, so the window opens on what runs.
    void showRegistered(const WeeklyBackup& backup);
    void message(const std::string& text, MsgIcon icon);

    MainForm& main_;
    ScheduleContext context_;
    // The per-profile values of the profile picked here; a copy, so the main window keeps its own.
    AppState state_;
    // Set only by a profile pick and the browse dialog: registration uses it, not the text box.
    std::filesystem::path targetPath_;
    Listener listener_;
    std::optional<WeeklyBackup> registered_; // as last read from the scheduler
};

} // namespace qob
