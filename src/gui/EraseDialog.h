#pragma once
// The erase window (frmErase), bound to EraseForm: the erase runs on a worker through DiscRunner,
// and the window refuses to close while it runs.
#include "forms/EraseForm.h"

#include <QDialog>

#include <memory>

namespace Ui {
class EraseDialog;
}

namespace qob::gui {

class DiscRunner;

class EraseDialog : public QDialog {
    Q_OBJECT
public:
    // `form` and `engine` must outlive the window; show it with exec().
    EraseDialog(EraseForm& form, disc::DiscEngine& engine, QWidget* parent = nullptr);
    ~EraseDialog() override;

    void reject() override; // Esc and "Cancel": refused while erasing
    DiscRunner& runner() { return *runner_; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void refresh();
    void eraseClicked();
    bool closable() const;

    std::unique_ptr<Ui::EraseDialog> ui_;
    EraseForm& form_;
    disc::DiscEngine& engine_;
    DiscRunner* runner_;
};

} // namespace qob::gui
