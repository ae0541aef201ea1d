#pragma once
// The password prompt (frmPwd), asked when a protected backup file is opened. Its behaviour lives
// in forms/PasswordForm; the caller keeps the current password.
#include "forms/PasswordForm.h"

#include <QDialog>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

namespace Ui {
class PasswordDialog;
}

namespace qob::gui {

class PasswordDialog : public QDialog {
    Q_OBJECT
public:
    // `prompt` replaces the label's text when not empty; the skin of `programFolder` is applied.
    PasswordDialog(const std::filesystem::path& programFolder, const std::string& prompt,
                   QWidget* parent = nullptr);
    ~PasswordDialog() override;

    // Shows the prompt modally: the text confirmed with OK (or Enter), nullopt on Cancel (or Escape).
    static std::optional<std::string> ask(QWidget* parent, const std::filesystem::path& programFolder,
                                          const std::string& prompt = kPasswordLabel);

    const PasswordForm& form() const { return form_; }

public slots:
    void reject() override;

private:
    std::unique_ptr<Ui::PasswordDialog> ui_;
    PasswordForm form_;
};

} // namespace qob::gui
