#include "gui/ScheduleDialog.h"

#include "gui/ProductIcon.h"
#include "gui/Skin.h"
#include "gui/TabChain.h"
#include "ui_ScheduleDialog.h"

#include <QLabel>
#include <QSignalBlocker>

#include <algorithm>
#include <array>

namespace qob::gui {

namespace {

QString text(const std::string& s) {
    return QString::fromStdString(s);
}

} // namespace

ScheduleDialog::ScheduleDialog(ScheduleForm& form, const std::filesystem::path& programFolder,
                               QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::ScheduleDialog>()), form_(form) {
    ui_->setupUi(this);
    setWindowIcon(productIcon());
    items_ = {ui_->personalFoldersBox, ui_->accountsBox,    ui_->signaturesBox,
              ui_->stationeryBox,      ui_->addressBookBox, ui_->optionsBox,
              ui_->templatesBox,       ui_->preferencesBox, ui_->contactsBox};
    days_ = {ui_->mondayBox, ui_->tuesdayBox,  ui_->wednesdayBox, ui_->thursdayBox,
             ui_->fridayBox, ui_->saturdayBox, ui_->sundayBox};
    // The field labels share one width, so the fields line up as in a form.
    const std::array<QLabel*, 5> labels = {ui_->profileLabel, ui_->targetFileLabel, ui_->passwordLabel,
                                           ui_->passwordAgainLabel, ui_->startTimeLabel};
    int labelWidth = 0;
    for (QLabel* label : labels) {
        labelWidth = std::max(labelWidth, label->sizeHint().width());
    }
    for (QLabel* label : labels) {
        label->setMinimumWidth(labelWidth);
    }
    setTabChain({ui_->profileCombo,   ui_->personalFoldersBox, ui_->accountsBox,       ui_->signaturesBox,
                 ui_->stationeryBox,  ui_->addressBookBox,     ui_->optionsBox,        ui_->templatesBox,
                 ui_->preferencesBox, ui_->contactsBox,        ui_->targetFileEdit,    ui_->browseButton,
                 ui_->protectBox,     ui_->passwordEdit,       ui_->passwordAgainEdit, ui_->mondayBox,
                 ui_->tuesdayBox,     ui_->wednesdayBox,       ui_->thursdayBox,       ui_->fridayBox,
                 ui_->saturdayBox,    ui_->sundayBox,          ui_->dailyBox,          ui_->startTimeCombo,
                 ui_->addTaskButton,  ui_->disableTaskButton,  ui_->cancelButton});
    applySkin(*this, programFolder);
    form_.setListener([this](ScheduleChange change) { showChange(change); });
    form_.formLoad();
    for (ScheduleChange c : {ScheduleChange::Profiles, ScheduleChange::Items, ScheduleChange::TargetFile,
                             ScheduleChange::Passwords, ScheduleChange::Days, ScheduleChange::Registered}) {
        showChange(c);
    }
    {
        const QSignalBlocker block(ui_->startTimeCombo);
        for (const std::string& t : form_.startTimes) {
            ui_->startTimeCombo->addItem(text(t));
        }
        ui_->startTimeCombo->setCurrentText(text(form_.startTime));
    }
    connect(ui_->profileCombo, qOverload<int>(&QComboBox::activated), this, [this](int index) {
        storeWidgets();
        form_.selectSource(index);
    });
    connect(ui_->browseButton, &QPushButton::clicked, this, [this] {
        storeWidgets();
        form_.cmdTargetFileClick();
    });
    connect(ui_->protectBox, &QCheckBox::clicked, this,
            [this](bool ticked) { form_.ifProtectClick(ticked); });
    connect(ui_->dailyBox, &QCheckBox::clicked, this, [this](bool ticked) { form_.chkDailyClick(ticked); });
    connect(ui_->addTaskButton, &QPushButton::clicked, this, [this] {
        storeWidgets();
        form_.addTask();
    });
    connect(ui_->disableTaskButton, &QPushButton::clicked, this, [this] { form_.disableTask(); });
    connect(ui_->cancelButton, &QPushButton::clicked, this, &QDialog::reject);
}

ScheduleDialog::~ScheduleDialog() {
    form_.setListener({});
}

void ScheduleDialog::storeWidgets() {
    for (std::size_t i = 0; i < kItemBoxCount; ++i) {
        form_.backupItem[i].checked = items_[i]->isChecked();
    }
    for (std::size_t d = 0; d < 7; ++d) {
        form_.days[d] = days_[d]->isChecked();
    }
    form_.chkDaily = ui_->dailyBox->isChecked();
    form_.txtPassword = ui_->passwordEdit->text().toStdString();
    form_.txtPassword2 = ui_->passwordAgainEdit->text().toStdString();
    form_.startTime = ui_->startTimeCombo->currentText().toStdString();
}

void ScheduleDialog::showChange(ScheduleChange change) {
    switch (change) {
    case ScheduleChange::Profiles: {
        const QSignalBlocker block(ui_->profileCombo);
        ui_->profileCombo->clear();
        for (const std::string& p : form_.cbSource.items) {
            ui_->profileCombo->addItem(text(p));
        }
        ui_->profileCombo->setCurrentIndex(form_.cbSource.selected);
        break;
    }
    case ScheduleChange::Items:
        for (std::size_t i = 0; i < kItemBoxCount; ++i) {
            items_[i]->setText(text(form_.backupItem[i].caption));
            items_[i]->setEnabled(form_.backupItem[i].enabled);
            items_[i]->setChecked(form_.backupItem[i].checked);
            items_[i]->setToolTip(text(form_.backupItem[i].toolTip));
        }
        break;
    case ScheduleChange::TargetFile:
        ui_->targetFileEdit->setText(text(form_.txtTargetFile));
        break;
    case ScheduleChange::Passwords:
        ui_->protectBox->setChecked(form_.ifProtect);
        ui_->passwordEdit->setEnabled(form_.passwordsEnabled);
        ui_->passwordAgainEdit->setEnabled(form_.passwordsEnabled);
        ui_->passwordLabel->setEnabled(form_.passwordsEnabled);
        ui_->passwordAgainLabel->setEnabled(form_.passwordsEnabled);
        ui_->passwordEdit->setText(text(form_.txtPassword));
        ui_->passwordAgainEdit->setText(text(form_.txtPassword2));
        break;
    case ScheduleChange::Days:
        for (std::size_t d = 0; d < 7; ++d) {
            days_[d]->setChecked(form_.days[d]);
        }
        ui_->dailyBox->setChecked(form_.chkDaily);
        break;
    case ScheduleChange::Registered:
        ui_->registeredTaskLabel->setText(text(form_.registeredTask));
        break;
    case ScheduleChange::Close:
        accept();
        break;
    }
}

} // namespace qob::gui
