#include "gui/EraseDialog.h"

#include "gui/DiscRunner.h"
#include "ui_EraseDialog.h"

#include <QCloseEvent>

namespace qob::gui {

EraseDialog::EraseDialog(EraseForm& form, disc::DiscEngine& engine, QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::EraseDialog>()), form_(form), engine_(engine),
      runner_(new DiscRunner(this)) {
    ui_->setupUi(this);
    setWindowTitle(kEraseWindowCaption);
    ui_->noteLabel->setText(kEraseNote);
    connect(ui_->quickEraseBox, &QCheckBox::toggled, this, [this](bool on) { form_.quickErase = on; });
    connect(ui_->eraseButton, &QPushButton::clicked, this, &EraseDialog::eraseClicked);
    connect(ui_->cancelButton, &QPushButton::clicked, this, &EraseDialog::reject);
    refresh();
}

EraseDialog::~EraseDialog() = default;

bool EraseDialog::closable() const {
    return form_.queryClose() && !runner_->running();
}

void EraseDialog::eraseClicked() {
    if (!form_.eraseClick()) {
        refresh();
        return;
    }
    const std::string address = form_.address();
    const bool quick = form_.quickErase;
    disc::DiscEngine& engine = engine_;
    runner_->start(
        [&engine, address, quick](disc::DiscEvents& events) { return engine.erase(address, quick, events); },
        form_, [this] { refresh(); },
        [this](const Status& result) {
            form_.eraseReturned(result);
            refresh();
        });
    refresh();
}

void EraseDialog::refresh() {
    const QSignalBlocker block(ui_->quickEraseBox);
    ui_->quickEraseBox->setChecked(form_.quickErase);
    ui_->eraseButton->setEnabled(form_.eraseEnabled && !runner_->running());
    ui_->cancelButton->setEnabled(form_.cancelEnabled && !runner_->running());
    ui_->quickEraseBox->setEnabled(form_.eraseEnabled && !runner_->running());
    ui_->eraseProgress->setValue(form_.progress);
    ui_->statusLabel->setText(QString::fromStdString(form_.statusText));
    if (form_.closeRequested && closable()) {
        form_.closeRequested = false;
        QDialog::done(QDialog::Accepted);
    }
}

void EraseDialog::reject() {
    if (closable()) {
        QDialog::reject();
    }
}

void EraseDialog::closeEvent(QCloseEvent* event) {
    if (closable()) {
        event->accept();
    } else {
        event->ignore();
    }
}

} // namespace qob::gui
