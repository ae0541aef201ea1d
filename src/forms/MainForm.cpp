#include "forms/MainForm.h"

#include "forms/AboutForm.h"
#include "forms/SaveName.h"

#include "outlook/OutlookDiscovery.h"
#include "settings/Settings.h"

#include <fstream>

namespace qob {

const std::array<const char*, kItemBoxCount> kItemCaptions = {
    "Personal Folders (Contacts, Tasks, Calendar, Notes and mail folders)",
    "Accounts Settings",
    "Signatures",
    "Stationeries",
    "Personal Address Book",
    "Options Settings",
    "Templates",
    "Preferences (Customizable settings)",
    "Contacts Folder",
};

std::string ComboState::text() const {
    if (selected < 0 || selected >= static_cast<int>(items.size())) {
        return "";
    }
    return items[static_cast<std::size_t>(selected)];
}

MainForm::MainForm(TargetContext& platform) : platform_(platform) {
    state_.programFolder = platform.programFolder;
    state_.infoFilePath = platform.programFolder / "quirebox.dat";
    for (std::size_t i = 0; i < kItemBoxCount; ++i) {
        backupItem[i].caption = kItemCaptions[i];
        restoreItem[i].caption = kItemCaptions[i];
    }
}

void MainForm::notify(FormChange change) {
    if (listener_) {
        listener_(change);
    }
}

std::chrono::system_clock::time_point MainForm::now() const {
    return clock_ ? clock_() : std::chrono::system_clock::now();
}

bool MainForm::formLoad(const std::string& noOutlookHint) {
    picCon3Visible = false;
    pbShow = 0;
    notify(FormChange::Progress);

    state_.programFolder = platform_.programFolder;
    state_.infoFilePath = platform_.programFolder / "quirebox.dat";

    // The log tab and the log viewer always find a file, even before the first run.
    const std::filesystem::path log = platform_.programFolder / "brlog.dat";
    std::error_code ec;
    if (!std::filesystem::exists(log, ec)) {
        std::ofstream create(log, std::ios::app | std::ios::binary);
    }

    SystemServices& system = platform_.system;
    state_.computerName = system.computerName();
    state_.logonUser = system.logonUser();
    state_.windowsFolder = system.windowsFolder();

    state_.restore.invalidFile = true;
    cmdApplyCaption = ssTab1 == 0 ? "Backup Now" : "Restore Now";
    notify(FormChange::ApplyButton);

    WindowsVersion wv = system.windowsVersion();
    state_.windowsVersion = std::to_string(wv.major) + "." + std::to_string(wv.minor);
    getOutlookVersion(platform_.registry, state_);

    state_.profilesRootKey = profilesRootKeyFor(state_.officeVersion);
    loadProfiles(platform_.registry, state_);

    if (state_.noProfile) {
        platform_.dialogs.message(
            std::string("Your Windows System have not install MS Outlook or MS Outlook Error!") +
                noOutlookHint,
            MsgIcon::Critical, MsgButtons::Ok, kApplicationTitle);
        cmdApplyEnabled = false;
        notify(FormChange::ApplyButton);
        return false;
    }

    cbSource.items = state_.profileList;
    cbTarget.items = state_.profileList;
    cbSource.selected = 0;
    cbTarget.selected = 0;
    notify(FormChange::Profiles);

    state_.userProfileFolder = system.expandEnvironment("%UserProfile%");

    cbSourceClick();

    for (CheckBoxState& box : restoreItem) {
        box.checked = false;
        box.enabled = false;
    }
    notify(FormChange::RestoreItems);
    return true;
}

void MainForm::selectSource(int index) {
    if (index < 0 || index >= static_cast<int>(cbSource.items.size())) {
        return;
    }
    cbSource.selected = index;
    notify(FormChange::Profiles);
    cbSourceClick();
}

void MainForm::cbSourceClick() {
    for (CheckBoxState& box : backupItem) {
        box.enabled = true;
        box.checked = false;
        box.toolTip.clear();
    }

    const std::string profile = cbSource.text();
    Registry& registry = platform_.registry;
    setProfileValues(registry, state_, profile);

    ItemAvailability available = itemAvailability(registry, platform_.files, state_, profile);
    for (std::size_t i = 0; i < kItemBoxCount; ++i) {
        backupItem[i].enabled = available.enabled[i];
    }
    if (available.pabUnsupported) {
        backupItem[4].toolTip = kPabToolTip;
    }
    notify(FormChange::BackupItems);

    const std::filesystem::path settings = settingsPath(platform_.programFolder);
    if (!settingMatches(readSetting(settings, "backup", "automgeneratefile"), 1)) {
        return;
    }
    std::filesystem::path folder =
        backupFolderFor(readSetting(settings, "backup", "backupfolder"), platform_.programFolder);
    state_.targetPath = folder / (defaultBackupName(profile, now()) + ".qob");
    txtTargetFile = state_.targetPath.string();
    notify(FormChange::TargetFile);
}

void MainForm::cmdTargetFileClick() {
    const std::string name = defaultBackupName(cbSource.text(), now());
    // The folder text is used as stored here, without an existence test.
    std::string folder = readSetting(settingsPath(platform_.programFolder), "backup", "backupfolder");
    if (folder.empty() || folder == "0") {
        folder = platform_.programFolder.string();
    }
    std::optional<std::string> chosen =
        platform_.dialogs.saveFile("Save Outlook Data as", "Quire Outlook Backup File (*.qob)|*.qob",
                                   (std::filesystem::path(folder) / name).string());
    // A cancelled dialog keeps the path the user already had: losing it would make the next
    // "Backup Now" fail for no reason the user can see.
    if (!chosen || chosen->empty()) {
        return;
    }
    txtTargetFile = withDefaultExtension(*chosen, ".qob");
    state_.targetPath = std::filesystem::path(txtTargetFile);
    notify(FormChange::TargetFile);
}

void MainForm::targetFileEdited(const std::string& text) {
    txtTargetFile = text;
    // The generated or browsed path would otherwise win over what the user typed.
    state_.targetPath = std::filesystem::path(text);
}

void MainForm::ssTab1Click(int tab) {
    ssTab1 = tab;
    switch (tab) {
    case 0:
        cmdApplyCaption = "Backup Now";
        break;
    case 1:
        cmdApplyCaption = "Restore Now";
        break;
    case 2:
        cmdApplyCaption = "Show Log File";
        showLog();
        break;
    case 3:
        cmdApplyCaption = "Help";
        skinLabel10 = mainWindowCaption();
        notify(FormChange::Progress);
        break;
    default:
        break;
    }
    notify(FormChange::ApplyButton);
}

void MainForm::ifProtectClick(bool ticked) {
    ifProtect = ticked;
    passwordsEnabled = ticked;
    txtPassword.clear();
    txtPassword2.clear();
    notify(FormChange::Passwords);
}

void MainForm::selectAllItems(bool restoreSide) {
    auto& boxes = restoreSide ? restoreItem : backupItem;
    for (CheckBoxState& box : boxes) {
        box.checked = box.enabled;
    }
    notify(restoreSide ? FormChange::RestoreItems : FormChange::BackupItems);
}

void MainForm::deselectAllItems(bool restoreSide) {
    auto& boxes = restoreSide ? restoreItem : backupItem;
    for (CheckBoxState& box : boxes) {
        box.checked = false;
    }
    notify(restoreSide ? FormChange::RestoreItems : FormChange::BackupItems);
}

void MainForm::showLog() {
    list1.clear();
    std::ifstream in(platform_.programFolder / "brlog.dat", std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        list1.push_back(line);
    }
    list1Selected = static_cast<int>(list1.size()) - 1;
    notify(FormChange::Log);
}

bool MainForm::mayStartJob() {
    if (!jobRunning) {
        return true;
    }
    platform().dialogs.message(kJobRunningMessage, MsgIcon::Warning, MsgButtons::Ok, kApplicationTitle);
    return false;
}

} // namespace qob
