#pragma once
// The main window (frmMain): binds the widgets of MainWindow.ui to the Qt-free MainForm, which holds
// every state and handler. A widget event calls the form; the form's listener tells the window
// which part to redraw. Backups and restores run on a worker thread through JobRunner, so the
// window stays responsive; their events reach the form on this thread.
#include "archive/Archive.h"
#include "backup/BackupJob.h"
#include "forms/BackupRun.h"
#include "forms/MainForm.h"
#include "forms/RestoreRun.h"
#include "forms/TimeLeft.h"
#include "gui/JobRunner.h"

#include <QMainWindow>

#include <array>
#include <filesystem>
#include <functional>
#include <memory>

class QCheckBox;
class QGroupBox;
class QMimeData;

namespace Ui {
class MainWindow;
}

namespace qob::gui {

// What the window asks of the desktop and of the program around it; each may be empty (the entry
// is then disabled or skipped).
struct MainWindowActions {
    // Shows a file or folder in the desktop's own program (the log in the text editor, the backup's
    // folder in the file manager); false when no program could. It shows no box of its own: the
    // window says it where it fits (the log: a box; the folder: the backup's summary).
    std::function<bool(const std::filesystem::path&)> openPath;
    // Starts Outlook in the target system (target path of OUTLOOK.EXE); false when it could not.
    StartOutlook startOutlook;
    // The help; the window says so when it is not installed.
    std::function<void()> showHelp;
    std::function<void()> showSettings;
    std::function<void()> showAbout;
    // Lets the user pick another target system; the program then reopens the window on it.
    std::function<void()> chooseTargetSystem;
    // Later windows: the weekly task and the disc window (disabled until they exist).
    std::function<void()> showTaskScheduler;
    std::function<void(const std::string& name, const std::filesystem::path& file)> burnDisc;
    // Hears each redraw of the progress panel ("progress <percent> <status>"): how a test outside
    // the process sees that progress reached the window while a job ran.
    std::function<void(const std::string& line)> trace;
};

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    MainWindow(MainForm& form, MainWindowActions actions, const QString& targetSystem,
               QWidget* parent = nullptr);
    ~MainWindow() override;

    // The load step (names, versions, profiles); call once the window is shown, so its messages
    // have a window to sit on.
    void load();
    // Opens a backup file on the restore tab (--open, a dropped file).
    void openBackupFile(const std::filesystem::path& file);

    bool jobRunning() const { return jobs_.running(); }
    // The backup and restore of the window's buttons and menus.
    void startBackup();
    void startRestore(bool confirm);
    void cancelJob();

protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    class WindowObserver;

    void setUpKeyboard();
    void connectWidgets();
    void refresh(FormChange change);
    void refreshAll();
    void refreshItems(const std::array<CheckBoxState, kItemBoxCount>& states,
                      const std::array<QCheckBox*, 9>& boxes);
    void refreshCommands();
    void applyClicked();
    void showItemMenu(QGroupBox* group, bool restoreSide, const QPoint& at);
    void showLogFile();
    void showHelp();
    AfterBackupActions afterBackupActions();
    RestoreRunOptions restoreOptions();
    // A local .qob among dropped URLs, or empty.
    static QString droppedBackup(const QMimeData* data);

    std::unique_ptr<Ui::MainWindow> ui_;
    MainForm& form_;
    MainWindowActions actions_;
    std::array<QCheckBox*, 9> backupBoxes_{};
    std::array<QCheckBox*, 9> restoreBoxes_{};
    BackupRun backupRun_;
    Archive archive_; // the backup opened on the restore tab
    JobRunner jobs_;
    std::unique_ptr<JobObserver> formObserver_;
    std::unique_ptr<WindowObserver> windowObserver_;
    BackupSummary backupSummary_;   // written by the worker, read after it has ended
    RestoreOutcome restoreOutcome_; // likewise
    TimeLeft timeLeft_;
    bool quitting_ = false; // the user chose to stop the run and quit
};

} // namespace qob::gui
