#pragma once
// The target system choice window: the Wine prefixes found, each with where it was found and its
// Outlook profiles, bound to TargetSystemForm.
#include "forms/TargetSystemForm.h"

#include <QDialog>

#include <memory>

namespace Ui {
class TargetSystemDialog;
}

namespace qob::gui {

class TargetSystemDialog : public QDialog {
    Q_OBJECT
public:
    explicit TargetSystemDialog(TargetSystemForm& form, QWidget* parent = nullptr);
    ~TargetSystemDialog() override;

    // After exec(): the prefix to switch to, when the user picked another one.
    const std::optional<std::filesystem::path>& chosen() const { return chosen_; }

private:
    void refresh();

    std::unique_ptr<Ui::TargetSystemDialog> ui_;
    TargetSystemForm& form_;
    std::optional<std::filesystem::path> chosen_;
};

} // namespace qob::gui
