#pragma once
// The main window on Windows (IDD_MAIN): binds the controls of the dialog template to the Qt-free
// MainForm, exactly as the Qt window binds its widgets. A control's notification calls the form;
// the form's listener tells the window which part to redraw. Backups and restores run on a worker
// thread through WindowJobRunner; their events reach the form on the window's thread.
#include "archive/Archive.h"
#include "backup/BackupJob.h"
#include "forms/BackupRun.h"
#include "forms/FormJob.h"
#include "forms/MainForm.h"
#include "forms/MainWindowActions.h"
#include "forms/RestoreRun.h"
#include "forms/TimeLeft.h"
#include "win32gui/AnchorLayout.h"
#include "win32gui/WindowJobRunner.h"

#include <windows.h>

#include <shellapi.h>

#include <array>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace qob::win32gui {

class MainWindow {
public:
    MainWindow(MainForm& form, MainWindowActions actions, std::string targetSystem);
    ~MainWindow();
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    // Creates the window (hidden until show()); false when it could not be made.
    bool create();
    void show();
    HWND window() const { return window_; }
    // Posts WM_QUIT when the window is destroyed (the program's one window does).
    void setQuitOnClose(bool quit) { quitOnClose_ = quit; }

    // The load step (names, versions, profiles); call once the window is shown, so its messages
    // have a window to sit on.
    void load();
    // Opens a backup file on the restore tab (--open, a dropped file).
    void openBackupFile(const std::filesystem::path& file);
    // The tab shown, as the form numbers them (0 Backup … 3 About); it tells the form.
    void selectTab(int tab);
    int currentTab() const;

    bool jobRunning() const { return jobs_.running(); }
    void startBackup();
    void startRestore(bool confirm);
    // Starts a job the form made ready; nothing when it refused.
    void runFormJob(std::optional<FormJob> job);
    void cancelJob();
    // The close box, Quit and Ctrl+Q: asks first while a job runs; true when the window closed.
    bool requestClose();
    // Runs the job's events and waits until it has ended (tests, and quitting).
    void waitForJob() { jobs_.waitUntilFinished(); }

private:
    class WindowObserver;

    static INT_PTR CALLBACK dialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR handle(UINT message, WPARAM wParam, LPARAM lParam);
    void initialize();
    void command(int id, int code, HWND control);
    void notifyFrom(const NMHDR& header, LPARAM lParam);
    void showPage(int tab);
    void refresh(FormChange change);
    void refreshAll();
    void refreshItems(const std::array<CheckBoxState, kItemBoxCount>& states, int firstId);
    void refreshCommands();
    void refreshLog();
    void enableMenu(int id, bool enabled);
    void applyClicked();
    void showItemMenu(bool restoreSide, POINT at);
    void showLogFile();
    void droppedFiles(HDROP drop);
    void focusControl(int id);
    void layOut(UINT message, WPARAM wParam, LPARAM lParam);
    void afterJob();
    AfterBackupActions afterBackupActions();
    RestoreRunOptions restoreOptions();

    MainForm& form_;
    MainWindowActions actions_;
    std::string targetSystem_;
    HWND window_ = nullptr;
    HWND toolTip_ = nullptr;
    HACCEL accelerators_ = nullptr;
    bool quitOnClose_ = false;
    bool updating_ = false; // the window sets a control: its notification is not the user's
    AnchorLayout layout_;   // the controls' places as the window's size changes
    UINT dpi_ = 96;
    std::array<std::wstring, 2 * kItemBoxCount> toolTips_;
    BackupRun backupRun_;
    Archive archive_; // the backup opened on the restore tab
    WindowJobRunner jobs_;
    std::unique_ptr<JobObserver> formObserver_;
    std::unique_ptr<WindowObserver> windowObserver_;
    BackupSummary backupSummary_;   // written by the worker, read after it has ended
    RestoreOutcome restoreOutcome_; // likewise
    TimeLeft timeLeft_;
    bool quitting_ = false; // the user chose to stop the run and quit
};

} // namespace qob::win32gui
