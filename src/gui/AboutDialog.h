#pragma once
// The about window (frmabout): the product picture, the main window's caption, our thanks and
// notice. "Exit" closes it.
#include <QDialog>

#include <filesystem>
#include <memory>
#include <string>

namespace Ui {
class AboutDialog;
}

namespace qob::gui {

class AboutDialog : public QDialog {
    Q_OBJECT
public:
    // `mainCaption` is the main window's caption at the moment the window opens
    // (qob::mainWindowCaption() unless the main window shows another).
    AboutDialog(const std::string& mainCaption, const std::filesystem::path& programFolder,
                QWidget* parent = nullptr);
    ~AboutDialog() override;

private:
    std::unique_ptr<Ui::AboutDialog> ui_;
};

} // namespace qob::gui
