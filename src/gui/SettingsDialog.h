#pragma once
// The settings window (Frmsettings): three tabs of options bound to forms/SettingsForm, which
// reads settings.dat when the window opens and writes it on OK.
#include "forms/SettingsForm.h"

#include <QDialog>

#include <array>
#include <filesystem>
#include <memory>

class QCheckBox;

namespace Ui {
class SettingsDialog;
}

namespace qob::gui {

class SettingsDialog : public QDialog {
    Q_OBJECT
public:
    // Loads `form` (its formLoad) and shows its values; OK hands the widgets' values to it.
    SettingsDialog(SettingsForm& form, const std::filesystem::path& programFolder, QWidget* parent = nullptr);
    ~SettingsDialog() override;

    // Opens the window modally on `programFolder`'s settings, with the program's own message boxes
    // and folder picker; returns whether OK saved it.
    static bool open(QWidget* parent, StartupEntry& startup, const std::filesystem::path& programFolder);

    // The widgets' values into the form, and the form's into the widgets.
    void storeWidgets();
    void showForm();

private:
    void okClicked();
    void browseClicked();

    std::unique_ptr<Ui::SettingsDialog> ui_;
    SettingsForm& form_;
    std::array<QCheckBox*, kSettingsBoxCount> boxes_{}; // by SettingsBox
};

} // namespace qob::gui
