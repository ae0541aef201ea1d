#include "forms/ScheduleForm.h"

#include "forms/SaveName.h"
#include "outlook/OutlookDiscovery.h"
#include "schedule/SchtasksCommands.h"
#include "settings/Settings.h"

#include <algorithm>

namespace qob {

const std::array<const char*, 7> kDayCaptions = {"Monday", "Tuesday",  "Wednesday", "Thursday",
                                                 "Friday", "Saturday", "Sunday"};

namespace {

const std::string kTaskText = std::string("Task ") + kScheduledTaskName;

// The registered task in words: the days and the items by their names, not as flags.
std::string describeRegistered(const WeeklyBackup& backup) {
    std::string days;
    for (std::size_t i = 0; i < backup.days.size(); ++i) {
        if (backup.days[i]) {
            days += (days.empty() ? "" : ", ") + std::string(kDayCaptions[i]);
        }
    }
    const bool everyDay =
        days.empty() || std::all_of(backup.days.begin(), backup.days.end(), [](bool d) { return d; });
    std::string items;
    for (std::size_t i = 0; i < kItemBoxCount && i < backup.items.size(); ++i) {
        if (backup.items[i] == '1') {
            // The caption without its explanation in brackets.
            const std::string caption = kItemCaptions[i];
            items += (items.empty() ? "" : ", ") + caption.substr(0, caption.find(" ("));
        }
    }
    return (everyDay ? std::string("Every day") : days) + " at " + std::to_string(backup.hour) + ":" +
           (backup.minute < 10 ? "0" : "") + std::to_string(backup.minute) + ", profile " + backup.profile +
           ": " + (items.empty() ? "no items" : items) + ", to " + backup.backupFile +
           (backup.passwordInFile || backup.password ? " (protected)" : "");
}

} // namespace

ScheduleForm::ScheduleForm(MainForm& main, ScheduleContext context)
    : main_(main), context_(std::move(context)), state_(main.state()) {
    for (std::size_t i = 0; i < kItemBoxCount; ++i) {
        backupItem[i].caption = kItemCaptions[i];
    }
}

void ScheduleForm::notify(ScheduleChange change) {
    if (listener_) {
        listener_(change);
    }
}

void ScheduleForm::message(const std::string& text, MsgIcon icon) {
    main_.platform().dialogs.message(text, icon, MsgButtons::Ok, kApplicationTitle);
}

void ScheduleForm::formLoad() {
    state_ = main_.state();
    cbSource.items = state_.profileList;
    cbSource.selected = cbSource.items.empty() ? -1 : 0;
    notify(ScheduleChange::Profiles);
    startTimes.clear();
    for (int h = 0; h < 24; ++h) {
        startTimes.push_back(std::to_string(h) + ":00");
        startTimes.push_back(std::to_string(h) + ":30");
    }
    startTime = "9:00";
    if (cbSource.selected >= 0) {
        cbSourceClick();
    }
    refreshRegistered();
    if (registered_) {
        showRegistered(*registered_);
    }
}

void ScheduleForm::showRegistered(const WeeklyBackup& backup) {
    const auto profile = std::find(cbSource.items.begin(), cbSource.items.end(), backup.profile);
    if (profile == cbSource.items.end()) {
        return; // a profile gone since: the form offers the first one, as for a new task
    }
    selectSource(static_cast<int>(profile - cbSource.items.begin()));
    for (std::size_t i = 0; i < kItemBoxCount && i < backup.items.size(); ++i) {
        backupItem[i].checked = backupItem[i].enabled && backup.items[i] == '1';
    }
    notify(ScheduleChange::Items);
    txtTargetFile = backup.backupFile;
    targetPath_ = backup.backupFile;
    notify(ScheduleChange::TargetFile);
    // The password itself is never read back: a protected task shows the box ticked, to be typed
    // again before it is registered anew.
    ifProtectClick(backup.passwordInFile || backup.password.has_value());
    const bool everyDay = std::none_of(backup.days.begin(), backup.days.end(), [](bool d) { return d; }) ||
                          std::all_of(backup.days.begin(), backup.days.end(), [](bool d) { return d; });
    chkDaily = everyDay;
    days = everyDay ? std::array<bool, 7>{true, true, true, true, true, true, true} : backup.days;
    notify(ScheduleChange::Days);
    startTime =
        std::to_string(backup.hour) + ":" + (backup.minute < 10 ? "0" : "") + std::to_string(backup.minute);
    notify(ScheduleChange::Registered);
}

void ScheduleForm::selectSource(int index) {
    if (index < 0 || index >= static_cast<int>(cbSource.items.size())) {
        return;
    }
    cbSource.selected = index;
    notify(ScheduleChange::Profiles);
    cbSourceClick();
}

void ScheduleForm::cbSourceClick() {
    TargetContext& platform = main_.platform();
    const std::string profile = cbSource.text();
    for (CheckBoxState& box : backupItem) {
        box.enabled = true;
        box.checked = false;
        box.toolTip.clear();
    }
    setProfileValues(platform.registry, state_, profile);
    ItemAvailability available = itemAvailability(platform.registry, platform.files, state_, profile);
    for (std::size_t i = 0; i < kItemBoxCount; ++i) {
        backupItem[i].enabled = available.enabled[i];
    }
    if (available.pabUnsupported) {
        backupItem[4].toolTip = kPabToolTip;
    }
    notify(ScheduleChange::Items);
    // Always a default file here, without a date: every run of the task writes the same name.
    const std::filesystem::path settings = settingsPath(platform.programFolder);
    const std::filesystem::path folder =
        backupFolderFor(readSetting(settings, "backup", "backupfolder"), platform.programFolder);
    targetPath_ = folder / ("qarch-" + profile + ".qob");
    txtTargetFile = targetPath_.string();
    notify(ScheduleChange::TargetFile);
}

void ScheduleForm::cmdTargetFileClick() {
    TargetContext& platform = main_.platform();
    std::string folder = readSetting(settingsPath(platform.programFolder), "backup", "backupfolder");
    if (folder.empty() || folder == "0") {
        folder = platform.programFolder.string();
    }
    const std::string name = defaultBackupName(cbSource.text(), main_.now());
    std::optional<std::string> chosen =
        platform.dialogs.saveFile("Save Outlook Data as", "Quire Outlook Backup File (*.qob)|*.qob",
                                  (std::filesystem::path(folder) / name).string());
    if (!chosen || chosen->empty()) {
        return;
    }
    txtTargetFile = withDefaultExtension(*chosen, ".qob");
    targetPath_ = txtTargetFile;
    notify(ScheduleChange::TargetFile);
}

void ScheduleForm::ifProtectClick(bool ticked) {
    ifProtect = ticked;
    passwordsEnabled = ticked;
    txtPassword.clear();
    txtPassword2.clear();
    notify(ScheduleChange::Passwords);
}

void ScheduleForm::chkDailyClick(bool ticked) {
    chkDaily = ticked;
    days.fill(ticked);
    notify(ScheduleChange::Days);
}

bool ScheduleForm::addTask() {
    WeeklyBackup backup;
    for (const CheckBoxState& box : backupItem) {
        backup.items += box.checked ? "1" : "0";
    }
    if (backup.items == "000000000") {
        message("Please select at least one item.", MsgIcon::Warning);
        return false;
    }
    if (targetPath_.empty()) {
        message("Invalid backup file name.", MsgIcon::Warning);
        return false;
    }
    if (ifProtect && txtPassword.empty() && txtPassword2.empty()) {
        message("Please enter Password!", MsgIcon::Critical);
        return false;
    }
    if (ifProtect && txtPassword != txtPassword2) {
        message("Incorect Password!", MsgIcon::Critical);
        return false;
    }
    // The scheduler would take a time it cannot read for another one, or refuse it.
    std::optional<StartTime> time = parseStartTime(startTime);
    if (!time) {
        message("Please enter the start time as hours and minutes, such as 9:00.", MsgIcon::Warning);
        return false;
    }
    backup.profile = cbSource.text();
    backup.days = days;
    backup.hour = time->hour;
    backup.minute = time->minute;
    backup.backupFile = targetPath_.string();
    if (!txtPassword.empty()) {
        backup.password = txtPassword;
    }
    if (auto refusal = refuseWeeklyBackup(backup)) {
        message(*refusal, MsgIcon::Warning);
        return false;
    }
    context_.now = main_.now();
    Status registered = scheduleWeeklyBackup(context_, backup);
    refreshRegistered();
    if (!registered) {
        message(kTaskText + " was not scheduled:\n" + registered.message, MsgIcon::Critical);
        return false;
    }
    message(kTaskText + " has been scheduled.", MsgIcon::Information);
    notify(ScheduleChange::Close);
    return true;
}

void ScheduleForm::disableTask() {
    Status removed = unscheduleWeeklyBackup(context_);
    refreshRegistered();
    if (!removed) {
        message(kTaskText + " was not deleted:\n" + removed.message, MsgIcon::Critical);
        return;
    }
    message(kTaskText + " has been Delete.", MsgIcon::Information);
}

void ScheduleForm::refreshRegistered() {
    std::optional<WeeklyBackup>& backup = registered_;
    backup.reset();
    Status read = readWeeklyBackup(context_.scheduler, backup, context_.programFolder);
    if (!read) {
        registeredTask = "The scheduled task cannot be read: " + read.message;
    } else if (!backup) {
        registeredTask = "No backup is scheduled.";
    } else {
        registeredTask = "Scheduled: " + describeRegistered(*backup);
    }
    notify(ScheduleChange::Registered);
}

} // namespace qob
