#pragma once
// The disc window (frmMaindvdwrite), bound to DiscForm: the image tree and file list with drag and
// drop, in-place renames and pop-up menus, the File and Device menus, the drive, speed, volume type
// and options, and the write with its progress. Writes run on a worker through DiscRunner; the
// window refuses to close while one runs. Open it modally:
//
//     disc::IsoBurnEngine engine;
//     gui::DiscWindow window(dialogs, engine, backupFile /* "" for an empty image */, parent);
//     if (window.loaded()) window.exec();
#include "forms/DiscForm.h"

#include <QDialog>

#include <memory>

class QMenu;
class QAction;
class QLabel;
class QTreeWidgetItem;

namespace Ui {
class DiscWindow;
}

namespace qob::gui {

class DiscRunner;

class DiscWindow : public QDialog {
    Q_OBJECT
public:
    // `dialogs` and `engine` must outlive the window. `handOver`: a file (the new backup) put in
    // the image root at load.
    DiscWindow(Dialogs& dialogs, disc::DiscEngine& engine, const std::string& handOver = "",
               QWidget* parent = nullptr);
    ~DiscWindow() override;

    // False when the engine could not start (the message was shown): do not show the window.
    bool loaded() const { return loaded_; }
    DiscForm& form() { return form_; }
    DiscRunner& runner() { return *runner_; }
    QMenu* fileMenu() const { return fileMenu_; }
    QAction* fileMenuAction(DiscFileMenu entry) const;
    // The pop-up menu of the tree or the list as it shows (entries hidden per the pop-up), then
    // restored; `show` false only prepares and restores (tests).
    void popupFileMenu(DiscPopup popup, const QPoint& where, bool show = true);
    // Drops of files and folders (also what the drop handlers call).
    void dropPaths(const QStringList& paths, bool isFileList);

    // Esc and "Exit": closes when idle; while writing, asks whether to stop the write (the window
    // stays until the write has ended).
    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildMenus();
    void refresh();
    void refreshTree();
    void refreshList();
    void writeClicked();
    void eraseClicked();
    bool closable() const;

    std::unique_ptr<Ui::DiscWindow> ui_;
    Dialogs& dialogs_;
    disc::DiscEngine& engine_;
    DiscForm form_;
    DiscRunner* runner_;
    QMenu* fileMenu_ = nullptr;
    QMenu* deviceMenu_ = nullptr;
    std::vector<QAction*> fileActions_;
    std::array<QLabel*, 3> panels_{};
    bool loaded_ = false;
    bool refreshing_ = false;
    enum class Editing { None, Folder, File } editing_ = Editing::None;
};

} // namespace qob::gui
