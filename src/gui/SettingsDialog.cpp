#include "gui/SettingsDialog.h"

#include "gui/ProductIcon.h"
#include "gui/QtDialogs.h"
#include "gui/Skin.h"
#include "gui/TabChain.h"
#include "ui_SettingsDialog.h"

namespace qob::gui {

SettingsDialog::SettingsDialog(SettingsForm& form, const std::filesystem::path& programFolder,
                               QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::SettingsDialog>()), form_(form) {
    ui_->setupUi(this);
    setWindowIcon(productIcon());
    boxes_ = {ui_->startOnWindowsBox,         ui_->checkBackupFileBox, ui_->runOutlookAfterBackupBox,
              ui_->runOutlookAfterRestoreBox, ui_->burnDvdBox,         ui_->autoCloseOutlookBox,
              ui_->openFolderBackupBox,       ui_->autoGenerateFileBox};
    setTabChain({ui_->tabs, ui_->startOnWindowsBox, ui_->checkBackupFileBox, ui_->runOutlookAfterBackupBox,
                 ui_->runOutlookAfterRestoreBox, ui_->burnDvdBox, ui_->backupFolderEdit, ui_->browseButton,
                 ui_->autoGenerateFileBox, ui_->openFolderBackupBox, ui_->autoCloseOutlookBox,
                 ui_->replaceAutoBackupRadio, ui_->newAutoBackupRadio, ui_->keepAutoBackupsSpin,
                 ui_->okButton, ui_->cancelButton});
    applySkin(*this, programFolder);
    connect(ui_->okButton, &QPushButton::clicked, this, &SettingsDialog::okClicked);
    connect(ui_->cancelButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(ui_->browseButton, &QPushButton::clicked, this, &SettingsDialog::browseClicked);
    form_.formLoad();
    showForm();
}

SettingsDialog::~SettingsDialog() = default;

void SettingsDialog::storeWidgets() {
    form_.backupFolder = ui_->backupFolderEdit->text().toStdString();
    for (std::size_t i = 0; i < kSettingsBoxCount; ++i) {
        form_.boxes[i] = boxes_[i]->isChecked();
    }
    form_.newAutoBackupFile = ui_->newAutoBackupRadio->isChecked();
    form_.keepAutoBackups = ui_->keepAutoBackupsSpin->value();
}

void SettingsDialog::showForm() {
    ui_->backupFolderEdit->setText(QString::fromStdString(form_.backupFolder));
    for (std::size_t i = 0; i < kSettingsBoxCount; ++i) {
        boxes_[i]->setChecked(form_.boxes[i]);
    }
    ui_->newAutoBackupRadio->setChecked(form_.newAutoBackupFile);
    ui_->replaceAutoBackupRadio->setChecked(!form_.newAutoBackupFile);
    // Tab enters the group at its chosen button, as Qt arranges once the group has had focus;
    // before that it would stop at the first button, chosen or not.
    for (QRadioButton* radio : {ui_->replaceAutoBackupRadio, ui_->newAutoBackupRadio}) {
        radio->setFocusPolicy(radio->isChecked() ? Qt::FocusPolicy(radio->focusPolicy() | Qt::TabFocus)
                                                 : Qt::FocusPolicy(radio->focusPolicy() & ~Qt::TabFocus));
    }
    ui_->keepAutoBackupsSpin->setValue(form_.keepAutoBackups);
}

void SettingsDialog::okClicked() {
    storeWidgets();
    const bool close = form_.okClick();
    showForm(); // the folder box shows what was stored
    if (close) {
        accept();
    }
}

void SettingsDialog::browseClicked() {
    storeWidgets();
    form_.browseClick();
    showForm();
}

bool SettingsDialog::open(QWidget* parent, StartupEntry& startup,
                          const std::filesystem::path& programFolder) {
    QtDialogs dialogs(parent);
    dialogs.setProgramFolder(programFolder);
    SettingsForm form(dialogs, startup, programFolder);
    SettingsDialog window(form, programFolder, parent);
    // Messages and the folder picker belong to the settings window while it is open.
    dialogs.setOwner(&window);
    return window.exec() == QDialog::Accepted;
}

} // namespace qob::gui
