#include "gui/PasswordDialog.h"

#include "gui/ProductIcon.h"
#include "gui/Skin.h"
#include "ui_PasswordDialog.h"

namespace qob::gui {

PasswordDialog::PasswordDialog(const std::filesystem::path& programFolder, const std::string& prompt,
                               QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::PasswordDialog>()) {
    ui_->setupUi(this);
    setWindowIcon(productIcon());
    ui_->passwordEdit->setMaxLength(static_cast<int>(kPasswordMaxLength));
    if (!prompt.empty()) {
        ui_->promptLabel->setText(QString::fromStdString(prompt));
    }
    applySkin(*this, programFolder);
    connect(ui_->passwordEdit, &QLineEdit::textChanged,
            [this](const QString& text) { form_.setTyped(text.toStdString()); });
    connect(ui_->okButton, &QPushButton::clicked, this, [this] {
        form_.okClick();
        accept();
    });
    connect(ui_->cancelButton, &QPushButton::clicked, this, &PasswordDialog::reject);
}

PasswordDialog::~PasswordDialog() = default;

void PasswordDialog::reject() {
    // Escape, the Cancel button and the window's close button all end here.
    form_.cancelClick();
    QDialog::reject();
}

std::optional<std::string> PasswordDialog::ask(QWidget* parent, const std::filesystem::path& programFolder,
                                               const std::string& prompt) {
    PasswordDialog dialog(programFolder, prompt, parent);
    dialog.exec();
    return dialog.form().answer();
}

} // namespace qob::gui
