#pragma once
// The main window (frmMain): binds the widgets of MainWindow.ui to the Qt-free MainForm, which holds
// every state and handler. A widget event calls the form; the form's listener tells the window
// which part to redraw. Backups and restores run on a worker thread through JobRunner, so the
// window stays responsive; their events reach the form on this thread.
#include "archive/Archive.h"
#include "backup/BackupJob.h"
#include "forms/BackupRun.h"
#include "forms/FormJob.h"
#include "forms/MainForm.h"
#include "forms/MainWindowActions.h"
#include "forms/RestoreRun.h"
#include "forms/TimeLeft.h"
#include "gui/JobRunner.h"

#include <QMainWindow>

#include <array>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

class QCheckBox;
class QGroupBox;
class QMimeData;

namespace Ui {
class MainWindow;
}

namespace qob::gui {

using qob::MainWindowActions;

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
    // Starts a job the form made ready; nothing when it refused.
    void runFormJob(std::optional<FormJob> job);
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
