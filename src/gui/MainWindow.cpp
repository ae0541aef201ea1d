#include "gui/MainWindow.h"

#include "forms/OpenBackup.h"
#include "forms/PasswordForm.h"
#include "gui/TabChain.h"
#include "outlook/NoProfileMessage.h"
#include "ui_MainWindow.h"

#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QScrollArea>
#include <QShortcut>
#include <QSignalBlocker>
#include <QTextDocument>
#include <QUrl>

#include <tuple>

namespace qob::gui {

namespace {

QString q(const std::string& text) {
    return QString::fromStdString(text);
}

// Tall enough for every line of `text` (at least `lines`): a few short lines are read whole, not
// scrolled.
void fitLines(QPlainTextEdit* text, int lines) {
    const int shown = std::max(lines, text->document()->blockCount());
    const QMargins margins = text->contentsMargins();
    const int height = text->fontMetrics().lineSpacing() * shown +
                       2 * static_cast<int>(text->document()->documentMargin()) + margins.top() +
                       margins.bottom() + 2 * text->frameWidth();
    text->setMinimumHeight(height);
}

} // namespace

// Hears the job's events on the window's thread: the form's observer drives the progress panel,
// and the rate and time left go under the bar.
class MainWindow::WindowObserver : public JobObserver {
public:
    WindowObserver(JobObserver& form, MainWindow& window) : form_(form), window_(window) {}

    void phaseStarted(JobPhase phase) override {
        window_.timeLeft_.start(TimeLeft::Clock::now());
        window_.ui_->timeLeftLabel->clear();
        form_.phaseStarted(phase);
    }
    void progress(const JobProgress& progress) override {
        form_.progress(progress);
        window_.ui_->timeLeftLabel->setText(
            q(window_.timeLeft_.update(progress.done, progress.total, TimeLeft::Clock::now())));
    }
    void status(const std::string& text) override { form_.status(text); }
    void logLine(const std::string& line) override { form_.logLine(line); }

private:
    JobObserver& form_;
    MainWindow& window_;
};

MainWindow::MainWindow(MainForm& form, MainWindowActions actions, const QString& targetSystem,
                       QWidget* parent)
    : QMainWindow(parent), ui_(std::make_unique<Ui::MainWindow>()), form_(form),
      actions_(std::move(actions)) {
    ui_->setupUi(this);
    setWindowTitle(kApplicationTitle);
    ui_->targetSystemLabel->setText(targetSystem);
    ui_->targetSystemLabel->setToolTip(targetSystem);
    backupBoxes_ = {ui_->backupItem0, ui_->backupItem1, ui_->backupItem2, ui_->backupItem3, ui_->backupItem4,
                    ui_->backupItem5, ui_->backupItem6, ui_->backupItem7, ui_->backupItem8};
    restoreBoxes_ = {ui_->restoreItem0, ui_->restoreItem1, ui_->restoreItem2,
                     ui_->restoreItem3, ui_->restoreItem4, ui_->restoreItem5,
                     ui_->restoreItem6, ui_->restoreItem7, ui_->restoreItem8};
    for (std::size_t i = 0; i < kItemBoxCount; ++i) {
        backupBoxes_[i]->setText(q(kItemCaptions[i]));
        restoreBoxes_[i]->setText(q(kItemCaptions[i]));
    }
    archive_.setWorkingFolder(form_.platform().programFolder);
    // The password prompt takes at most this many characters: a longer backup password could not be
    // typed back to open the backup.
    for (QLineEdit* edit : {ui_->passwordEdit, ui_->passwordConfirmEdit}) {
        edit->setMaxLength(static_cast<int>(kPasswordMaxLength));
    }
    // The two busy tabs scroll rather than push the window past a small screen (200 % scaling on a
    // 1080-line display leaves 540 lines).
    for (QWidget* page : {ui_->backupTab, ui_->restoreTab}) {
        const int index = ui_->tabs->indexOf(page);
        const QString title = ui_->tabs->tabText(index);
        ui_->tabs->removeTab(index);
        auto* scroll = new QScrollArea;
        scroll->setObjectName(page->objectName() + "Scroll");
        scroll->setFocusPolicy(Qt::NoFocus); // not a stop of its own: Tab goes to the page's fields
        scroll->setWidgetResizable(true);
        scroll->setFrameShape(QFrame::NoFrame);
        scroll->setWidget(page);
        ui_->tabs->insertTab(index, scroll, title);
    }
    ui_->tabs->setCurrentIndex(0);
    setUpKeyboard();
    // Room for the longest item caption and a path; the layouts decide the rest.
    resize(QSize(720, 680).expandedTo(minimumSizeHint()));
    form_.setListener([this](FormChange change) { refresh(change); });
    connectWidgets();
    refreshAll();
}

MainWindow::~MainWindow() {
    // The runner waits for a job still running; the form must not call back into a dead window.
    form_.setListener({});
}

void MainWindow::setUpKeyboard() {
    // Tab leaves a text box rather than typing a tab into it.
    for (QPlainTextEdit* text : {ui_->descriptionEdit, ui_->backupInfoText, ui_->backupDescriptionText}) {
        text->setTabChangesFocus(true);
    }
    // One order, as the window reads: the target system row, the tabs, the page shown, the
    // progress panel's Cancel, the buttons.
    const auto& u = *ui_;
    setTabChain({u.targetSystemButton,
                 u.tabs,
                 u.sourceProfileCombo,
                 u.backupItem0,
                 u.backupItem1,
                 u.backupItem2,
                 u.backupItem3,
                 u.backupItem4,
                 u.backupItem5,
                 u.backupItem6,
                 u.backupItem7,
                 u.backupItem8,
                 u.backupFileEdit,
                 u.backupFileBrowseButton,
                 u.descriptionEdit,
                 u.protectBox,
                 u.passwordEdit,
                 u.passwordConfirmEdit,
                 u.restoreFileEdit,
                 u.restoreFileBrowseButton,
                 u.backupInfoText,
                 u.backupDescriptionText,
                 u.restoreItem0,
                 u.restoreItem1,
                 u.restoreItem2,
                 u.restoreItem3,
                 u.restoreItem4,
                 u.restoreItem5,
                 u.restoreItem6,
                 u.restoreItem7,
                 u.restoreItem8,
                 u.targetProfileCombo,
                 u.logList,
                 u.cancelButton,
                 u.applyButton,
                 u.aboutButton,
                 u.quitButton});
    // A main window has no default button: one that always looked pressed would hide where the
    // focus is.
    ui_->applyButton->setDefault(false);
    ui_->quitAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    ui_->quitAction->setShortcutContext(Qt::ApplicationShortcut);
    ui_->helpAction->setShortcut(QKeySequence(Qt::Key_F1));
    // Escape is the Cancel of a running job, asked first; idle, there is nothing to cancel.
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, [this] {
        if (jobs_.running() && !jobs_.stopRequested() &&
            form_.platform().dialogs.message(kStopRunQuestion, MsgIcon::Question, MsgButtons::YesNo,
                                             kApplicationTitle) == MsgAnswer::Yes) {
            cancelJob();
        }
    });
}

void MainWindow::connectWidgets() {
    MainWindowActions& a = actions_;
    connect(ui_->tabs, &QTabWidget::currentChanged, this, [this](int tab) { form_.ssTab1Click(tab); });
    connect(ui_->sourceProfileCombo, qOverload<int>(&QComboBox::activated), this,
            [this](int index) { form_.selectSource(index); });
    connect(ui_->targetProfileCombo, qOverload<int>(&QComboBox::activated), this, [this](int index) {
        form_.cbTarget.selected = index;
        form_.notify(FormChange::Profiles);
    });
    for (std::size_t i = 0; i < kItemBoxCount; ++i) {
        connect(backupBoxes_[i], &QCheckBox::clicked, this,
                [this, i](bool on) { form_.backupItem[i].checked = on; });
        connect(restoreBoxes_[i], &QCheckBox::clicked, this,
                [this, i](bool on) { form_.restoreItem[i].checked = on; });
    }
    connect(ui_->backupFileEdit, &QLineEdit::textEdited, this,
            [this](const QString& text) { form_.targetFileEdited(text.toStdString()); });
    connect(ui_->backupFileBrowseButton, &QPushButton::clicked, this, [this] { form_.cmdTargetFileClick(); });
    connect(ui_->descriptionEdit, &QPlainTextEdit::textChanged, this,
            [this] { form_.txtAttachInfo = ui_->descriptionEdit->toPlainText().toStdString(); });
    connect(ui_->protectBox, &QCheckBox::clicked, this, [this](bool on) { form_.ifProtectClick(on); });
    connect(ui_->passwordEdit, &QLineEdit::textEdited, this,
            [this](const QString& text) { form_.txtPassword = text.toStdString(); });
    connect(ui_->passwordConfirmEdit, &QLineEdit::textEdited, this,
            [this](const QString& text) { form_.txtPassword2 = text.toStdString(); });
    connect(ui_->restoreFileBrowseButton, &QPushButton::clicked, this, [this] {
        if (!form_.mayStartJob()) {
            return;
        }
        cmdSourceFileClick(form_, archive_);
    });
    // The menu key (or Shift+F10) on a focused item box opens its frame's menu too: the keyboard
    // reaches "Select all items" without a mouse.
    for (std::size_t i = 0; i < kItemBoxCount; ++i) {
        for (auto [box, group, restoreSide] : {std::tuple{backupBoxes_[i], ui_->backupItemsGroup, false},
                                               std::tuple{restoreBoxes_[i], ui_->restoreItemsGroup, true}}) {
            box->setContextMenuPolicy(Qt::CustomContextMenu);
            connect(box, &QWidget::customContextMenuRequested, this,
                    [this, box, group, restoreSide](const QPoint& at) {
                        showItemMenu(group, restoreSide, box->mapTo(group, at));
                    });
        }
    }
    connect(ui_->backupItemsGroup, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { showItemMenu(ui_->backupItemsGroup, false, at); });
    connect(ui_->restoreItemsGroup, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { showItemMenu(ui_->restoreItemsGroup, true, at); });

    connect(ui_->applyButton, &QPushButton::clicked, this, &MainWindow::applyClicked);
    connect(ui_->cancelButton, &QPushButton::clicked, this, &MainWindow::cancelJob);
    connect(ui_->quitButton, &QPushButton::clicked, this, &QWidget::close);
    connect(ui_->quitAction, &QAction::triggered, this, &QWidget::close);
    connect(ui_->backupNowAction, &QAction::triggered, this, &MainWindow::startBackup);
    connect(ui_->restoreNowAction, &QAction::triggered, this, [this] { startRestore(false); });
    connect(ui_->helpAction, &QAction::triggered, this, &MainWindow::showHelp);

    const auto bindAction = [this](QAction* action, const std::function<void()>& call) {
        action->setEnabled(static_cast<bool>(call));
        connect(action, &QAction::triggered, this, [call] { call(); });
    };
    bindAction(ui_->settingsAction, a.showSettings);
    bindAction(ui_->taskSchedulerAction, a.showTaskScheduler);
    bindAction(ui_->targetSystemAction, a.chooseTargetSystem);
    bindAction(ui_->aboutAction, a.showAbout);
    ui_->backupToDiscAction->setEnabled(static_cast<bool>(a.burnDisc));
    // From the menu the disc window starts with an empty image.
    connect(ui_->backupToDiscAction, &QAction::triggered, this, [this] { actions_.burnDisc("", {}); });
    ui_->aboutButton->setEnabled(static_cast<bool>(a.showAbout));
    connect(ui_->aboutButton, &QPushButton::clicked, this, [this] { actions_.showAbout(); });
    ui_->targetSystemButton->setEnabled(static_cast<bool>(a.chooseTargetSystem));
    connect(ui_->targetSystemButton, &QPushButton::clicked, this, [this] { actions_.chooseTargetSystem(); });
}

void MainWindow::load() {
    // The load step's own message only says Outlook is missing; the same box says where the
    // program looked, since a prefix without Outlook is most often just the wrong one.
    form_.formLoad("\n\n" + noProfileMessage(form_.platform().systemFolder) +
                   ".\n\nTarget system: Change... picks another.");
    refreshAll();
    // The window opens with its first field focused. Without a focused control, Tab pressed in the
    // new window went nowhere, so no control ever showed the focus until one was clicked.
    if (focusWidget() == nullptr) {
        for (QWidget* first : {static_cast<QWidget*>(ui_->sourceProfileCombo),
                               static_cast<QWidget*>(ui_->targetSystemButton)}) {
            if (first->isEnabled() && first->isVisibleTo(this)) {
                first->setFocus(Qt::OtherFocusReason);
                break;
            }
        }
    }
}

void MainWindow::openBackupFile(const std::filesystem::path& file) {
    if (!form_.mayStartJob()) {
        return;
    }
    ui_->tabs->setCurrentIndex(1);
    clearRestoreSide(form_, archive_);
    qob::openBackupFile(form_, archive_, file);
}

void MainWindow::refreshItems(const std::array<CheckBoxState, kItemBoxCount>& states,
                              const std::array<QCheckBox*, 9>& boxes) {
    for (std::size_t i = 0; i < kItemBoxCount; ++i) {
        const QSignalBlocker block(boxes[i]);
        boxes[i]->setEnabled(states[i].enabled);
        boxes[i]->setChecked(states[i].checked);
        boxes[i]->setToolTip(q(states[i].toolTip));
    }
}

void MainWindow::refresh(FormChange change) {
    switch (change) {
    case FormChange::Profiles: {
        for (auto [combo, state] : {std::pair{ui_->sourceProfileCombo, &form_.cbSource},
                                    std::pair{ui_->targetProfileCombo, &form_.cbTarget}}) {
            const QSignalBlocker block(combo);
            QStringList items;
            for (const std::string& item : state->items) {
                items << q(item);
            }
            QStringList shown;
            for (int i = 0; i < combo->count(); ++i) {
                shown << combo->itemText(i);
            }
            if (shown != items) {
                combo->clear();
                combo->addItems(items);
            }
            combo->setCurrentIndex(state->selected);
        }
        break;
    }
    case FormChange::BackupItems:
        refreshItems(form_.backupItem, backupBoxes_);
        break;
    case FormChange::RestoreItems:
        refreshItems(form_.restoreItem, restoreBoxes_);
        break;
    case FormChange::TargetFile:
        if (ui_->backupFileEdit->text() != q(form_.txtTargetFile)) {
            ui_->backupFileEdit->setText(q(form_.txtTargetFile));
        }
        break;
    case FormChange::Passwords:
        ui_->protectBox->setChecked(form_.ifProtect);
        for (QLineEdit* edit : {ui_->passwordEdit, ui_->passwordConfirmEdit}) {
            edit->setEnabled(form_.passwordsEnabled);
        }
        ui_->passwordLabel->setEnabled(form_.passwordsEnabled);
        ui_->passwordConfirmLabel->setEnabled(form_.passwordsEnabled);
        ui_->passwordEdit->setText(q(form_.txtPassword));
        ui_->passwordConfirmEdit->setText(q(form_.txtPassword2));
        break;
    case FormChange::ApplyButton:
        ui_->applyButton->setText(q(form_.cmdApplyCaption));
        refreshCommands();
        break;
    case FormChange::Progress: {
        ui_->progressPanel->setVisible(form_.picCon3Visible);
        ui_->progressBar->setValue(form_.pbShow);
        // Once a stop is asked, the job's next figures must not read as if it carried on.
        ui_->statusLabel->setText(jobs_.running() && jobs_.stopRequested() ? QStringLiteral("Stopping...")
                                                                           : q(form_.label1));
        const QString file = q(form_.skinLabel9);
        ui_->fileLabel->setText(ui_->fileLabel->fontMetrics().elidedText(
            file, Qt::ElideMiddle, std::max(100, ui_->fileLabel->width())));
        ui_->fileLabel->setToolTip(file);
        ui_->aboutCaptionLabel->setText(q(form_.skinLabel10));
        if (actions_.trace && form_.picCon3Visible) {
            actions_.trace("progress " + std::to_string(form_.pbShow) + " " + form_.label1);
        }
        break;
    }
    case FormChange::Log: {
        ui_->logList->clear();
        for (const std::string& line : form_.list1) {
            ui_->logList->addItem(q(line));
        }
        if (form_.list1Selected >= 0) {
            ui_->logList->setCurrentRow(form_.list1Selected);
            ui_->logList->scrollToBottom();
        }
        break;
    }
    case FormChange::RestoreInfo:
        ui_->restoreFileEdit->setText(q(form_.txtSourceFile));
        // txtPOBinfo: where and when the backup was made; txtFileInfo: the description stored in it.
        ui_->backupInfoText->setPlainText(q(form_.txtPOBinfo));
        fitLines(ui_->backupInfoText, 5);
        ui_->backupDescriptionText->setPlainText(q(form_.txtFileInfo));
        break;
    case FormChange::Hidden:
        hide();
        break;
    }
}

void MainWindow::refreshAll() {
    for (FormChange change : {FormChange::Profiles, FormChange::BackupItems, FormChange::RestoreItems,
                              FormChange::TargetFile, FormChange::Passwords, FormChange::ApplyButton,
                              FormChange::Progress, FormChange::Log, FormChange::RestoreInfo}) {
        refresh(change);
    }
    const QSignalBlocker block(ui_->descriptionEdit);
    ui_->descriptionEdit->setPlainText(q(form_.txtAttachInfo));
}

void MainWindow::refreshCommands() {
    // While a job runs, nothing that would start another or change what it reads can be used.
    const bool idle = !form_.jobRunning && !jobs_.running();
    ui_->applyButton->setEnabled(idle && form_.cmdApplyEnabled);
    for (QAction* action : {ui_->backupNowAction, ui_->restoreNowAction}) {
        action->setEnabled(idle && form_.cmdApplyEnabled);
    }
    ui_->backupTab->setEnabled(idle);
    ui_->restoreTab->setEnabled(idle);
    ui_->settingsAction->setEnabled(idle && actions_.showSettings);
    ui_->taskSchedulerAction->setEnabled(idle && actions_.showTaskScheduler);
    ui_->targetSystemAction->setEnabled(idle && actions_.chooseTargetSystem);
    ui_->targetSystemButton->setEnabled(idle && actions_.chooseTargetSystem);
    ui_->backupToDiscAction->setEnabled(idle && actions_.burnDisc);
    ui_->cancelButton->setEnabled(jobs_.running() && !jobs_.stopRequested());
    setAcceptDrops(idle);
}

void MainWindow::applyClicked() {
    switch (ui_->tabs->currentIndex()) {
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
        showHelp();
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
        ui_->timeLeftLabel->clear();
        refreshCommands();
        finish();
    });
    refreshCommands();
    ui_->cancelButton->setFocus(Qt::OtherFocusReason); // Space or Escape stops it
}

void MainWindow::cancelJob() {
    if (!jobs_.running()) {
        return;
    }
    jobs_.requestStop();
    ui_->statusLabel->setText("Stopping...");
    refreshCommands();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (!jobs_.running()) {
        event->accept();
        return;
    }
    const MsgAnswer answer = form_.platform().dialogs.message(kQuitWhileRunning, MsgIcon::Question,
                                                              MsgButtons::YesNo, kApplicationTitle);
    if (answer != MsgAnswer::Yes || !jobs_.running()) {
        event->setAccepted(!jobs_.running());
        return;
    }
    // Asked and answered: the run's end shows no summary the user would have to dismiss first.
    quitting_ = true;
    cancelJob();
    jobs_.waitUntilFinished();
    event->accept();
}

QString MainWindow::droppedBackup(const QMimeData* data) {
    if (data == nullptr || !data->hasUrls()) {
        return {};
    }
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile() && url.toLocalFile().endsWith(".qob", Qt::CaseInsensitive)) {
            return url.toLocalFile();
        }
    }
    return {};
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
    if (!jobs_.running() && !droppedBackup(event->mimeData()).isEmpty()) {
        event->acceptProposedAction();
    }
}

void MainWindow::dropEvent(QDropEvent* event) {
    const QString file = droppedBackup(event->mimeData());
    if (file.isEmpty() || jobs_.running()) {
        return;
    }
    event->acceptProposedAction();
    openBackupFile(file.toStdString());
}

void MainWindow::showItemMenu(QGroupBox* group, bool restoreSide, const QPoint& at) {
    QMenu menu(this);
    QAction* selectAll = restoreSide ? ui_->selectAllRestoreAction : ui_->selectAllBackupAction;
    QAction* deselectAll = restoreSide ? ui_->deselectAllRestoreAction : ui_->deselectAllBackupAction;
    menu.addAction(selectAll);
    menu.addAction(deselectAll);
    QAction* chosen = menu.exec(group->mapToGlobal(at));
    if (chosen == selectAll) {
        form_.selectAllItems(restoreSide);
    } else if (chosen == deselectAll) {
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

void MainWindow::showHelp() {
    if (actions_.showHelp) {
        actions_.showHelp();
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

} // namespace qob::gui
