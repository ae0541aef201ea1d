#pragma once
// The "Task Scheduler" window (Frmoption): the weekly backup's profile, items, file, password,
// days and time. Its behaviour lives in forms/ScheduleForm; this class binds the widgets to it.
#include "forms/ScheduleForm.h"

#include <QDialog>

#include <array>
#include <filesystem>
#include <memory>

class QCheckBox;

namespace Ui {
class ScheduleDialog;
}

namespace qob::gui {

class ScheduleDialog : public QDialog {
    Q_OBJECT
public:
    // The form must have been made with the main form and the scheduler context; the dialog
    // loads it (formLoad) and applies the skin of `programFolder`.
    ScheduleDialog(ScheduleForm& form, const std::filesystem::path& programFolder, QWidget* parent = nullptr);
    ~ScheduleDialog() override;

private:
    void storeWidgets();
    void showChange(ScheduleChange change);

    std::unique_ptr<Ui::ScheduleDialog> ui_;
    ScheduleForm& form_;
    std::array<QCheckBox*, kItemBoxCount> items_{};
    std::array<QCheckBox*, 7> days_{};
};

} // namespace qob::gui
