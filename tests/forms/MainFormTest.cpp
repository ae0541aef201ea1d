#include "forms/MainForm.h"
#include "DemoPlatform.h"
#include "outlook/OutlookDiscovery.h"
#include "settings/Settings.h"

#include <gtest/gtest.h>

#include <fstream>

namespace qob::test {
namespace {

std::array<bool, kItemBoxCount> enabledBoxes(const MainForm& form) {
    std::array<bool, kItemBoxCount> out{};
    for (std::size_t i = 0; i < kItemBoxCount; ++i) {
        out[i] = form.backupItem[i].enabled;
    }
    return out;
}

std::chrono::system_clock::time_point march5() {
    std::tm tm{};
    tm.tm_year = 126;
    tm.tm_mon = 2;
    tm.tm_mday = 5;
    tm.tm_hour = 12;
    tm.tm_isdst = -1;
    return std::chrono::system_clock::from_time_t(std::mktime(&tm));
}

// Turns the demo's Outlook 2013 into an older installation.
void downgradeOffice(DemoPlatform& p, const std::string& version) {
    p.registry.deleteKeyTree("HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Office\\15.0");
    p.registry.deleteKeyTree("HKEY_CURRENT_USER\\Software\\Microsoft\\Office\\15.0");
    p.registry.deleteKeyTree(
        "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\OUTLOOK.EXE");
    p.store.putString("HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Office\\" + version +
                          "\\Outlook\\InstallRoot",
                      "Path", "C:\\Program Files\\Microsoft Office\\");
}

TEST(MainForm, LoadFindsOffice15ProfilesAndFolders) {
    DemoPlatform p;
    MainForm form(p.platform);
    form.setClock(march5);
    std::vector<FormChange> changes;
    form.setListener([&](FormChange c) { changes.push_back(c); });

    ASSERT_TRUE(form.formLoad());
    const AppState& s = form.state();
    EXPECT_EQ(s.computerName, "QUIREDEMO");
    EXPECT_EQ(s.logonUser, "quire");
    EXPECT_EQ(s.windowsVersion, "6.1");
    EXPECT_EQ(s.officeVersion, "15.0");
    EXPECT_EQ(s.profilesRootKey, p.demo.profilesRootKey);
    EXPECT_EQ(form.cbSource.items, (std::vector<std::string>{"Outlook", "Second"}));
    EXPECT_EQ(form.cbTarget.text(), "Outlook");
    EXPECT_TRUE(std::filesystem::exists(p.programFolder / "brlog.dat"));
    EXPECT_EQ(s.infoFilePath, p.programFolder / "quirebox.dat");

    EXPECT_EQ(s.accountsKey, p.demo.profilesRootKey + "\\Outlook\\9375CFF0413111d3B88A00104B2A6676");
    EXPECT_EQ(s.signaturesFolder, p.demo.signaturesFolder);
    EXPECT_EQ(s.stationeryFolder, p.demo.stationeryFolder);
    EXPECT_EQ(s.roamingDataFolder, p.demo.roamingDataFolder);
    EXPECT_EQ(s.preferencesFolder, p.demo.roamingDataFolder);
    EXPECT_EQ(s.templatesFolder, p.demo.templatesFolder);
    EXPECT_EQ(s.contactsFolder, p.demo.contactsFolder);
    EXPECT_EQ(s.localDataFolder, p.demo.localDataFolder);
    EXPECT_EQ(s.optionsKey, "HKEY_CURRENT_USER\\Software\\Microsoft\\Office\\15.0\\Outlook\\Options");

    // Everything is there except the address book, which Outlook 2013 does not have.
    EXPECT_EQ(enabledBoxes(form),
              (std::array<bool, 9>{true, true, true, true, false, true, true, true, true}));
    EXPECT_EQ(form.backupItem[4].toolTip, kPabToolTip);
    for (const CheckBoxState& box : form.restoreItem) {
        EXPECT_FALSE(box.enabled);
        EXPECT_FALSE(box.checked);
    }
    EXPECT_EQ(form.backupItem[7].caption, "Preferences (Customizable settings)");

    // No settings file: the generated name goes into the program folder.
    EXPECT_EQ(s.targetPath, p.programFolder / "qarch-Outlook-03-05-2026.qob");
    EXPECT_EQ(form.txtTargetFile, s.targetPath.string());
    EXPECT_NE(std::find(changes.begin(), changes.end(), FormChange::BackupItems), changes.end());
    EXPECT_TRUE(p.dialogs.messages.empty());
}

TEST(MainForm, ProfileSelectionReflectsWhatTheProfileHas) {
    DemoPlatform p;
    MainForm form(p.platform);
    form.setClock(march5);
    ASSERT_TRUE(form.formLoad());
    form.selectAllItems(false);
    EXPECT_FALSE(form.backupItem[4].checked);

    // Empty the signatures folder but for its subfolder; take the accounts key away from "Second".
    for (const auto& name : p.demo.signatureFiles) {
        std::filesystem::remove(p.demo.hostPath(p.demo.signaturesFolder + "\\" + name));
    }
    p.registry.deleteKeyTree(p.demo.profilesRootKey + "\\Second\\9375CFF0413111d3B88A00104B2A6676");
    form.selectSource(1);
    EXPECT_EQ(form.state().sourceProfile, "Second");
    EXPECT_EQ(form.state().accountsKey,
              p.demo.profilesRootKey + "\\Second\\9375CFF0413111d3B88A00104B2A6676");
    // A new selection clears every tick.
    for (const CheckBoxState& box : form.backupItem) {
        EXPECT_FALSE(box.checked);
    }
    EXPECT_EQ(enabledBoxes(form),
              (std::array<bool, 9>{true, false, false, true, false, true, true, true, true}));
    EXPECT_EQ(form.state().targetPath, p.programFolder / "qarch-Second-03-05-2026.qob");
}

TEST(MainForm, Office14UsesOlderProfilesAndOffersAddressBook) {
    DemoPlatform p;
    downgradeOffice(p, "14.0");
    p.system.version = {10, 0, 19045}; // newer Windows: the older folder layout, as written
    MainForm form(p.platform);
    ASSERT_TRUE(form.formLoad());
    const AppState& s = form.state();
    EXPECT_EQ(s.officeVersion, "14.0");
    EXPECT_EQ(s.profilesRootKey, kOlderProfilesRootKey);
    EXPECT_EQ(form.cbSource.items, (std::vector<std::string>{"Legacy"}));
    EXPECT_EQ(s.signaturesFolder, p.demo.userProfileFolder + "\\Application Data\\Microsoft\\Signatures");
    EXPECT_EQ(s.roamingDataFolder, p.demo.userProfileFolder + "\\Application Data\\Microsoft\\Outlook");
    EXPECT_EQ(s.localDataFolder,
              p.demo.userProfileFolder + "\\Local Settings\\Application Data\\Microsoft\\Outlook");
    EXPECT_EQ(s.stationeryFolder, p.demo.stationeryFolder); // shared files for 14.0 too
    EXPECT_EQ(s.optionsKey, "HKEY_CURRENT_USER\\Software\\Microsoft\\Office\\14.0\\Outlook\\Options");
    // The Application Data folders do not exist in this prefix; Outlook 2010 has no address book.
    EXPECT_EQ(enabledBoxes(form),
              (std::array<bool, 9>{true, false, false, true, false, true, false, false, true}));
    EXPECT_EQ(form.backupItem[4].toolTip, kPabToolTip);
}

TEST(MainForm, Office11StationeryInUserFolderAndAddressBookOffered) {
    DemoPlatform p;
    downgradeOffice(p, "11.0");
    MainForm form(p.platform);
    ASSERT_TRUE(form.formLoad());
    const AppState& s = form.state();
    EXPECT_EQ(s.officeVersion, "11.0");
    EXPECT_EQ(s.stationeryFolder, p.demo.userProfileFolder + "\\Application Data\\Microsoft\\Stationery");
    // Windows 6.1: the AppData folders of the demo are found.
    EXPECT_EQ(enabledBoxes(form),
              (std::array<bool, 9>{true, false, true, false, true, true, true, true, true}));
    EXPECT_EQ(form.backupItem[4].toolTip, "");

    // An address book reference whose file is gone disables the box again.
    std::filesystem::remove(p.demo.hostPath(p.demo.addressBook));
    form.cbSourceClick();
    EXPECT_FALSE(form.backupItem[4].enabled);
}

TEST(MainForm, NoProfileStopsTheLoad) {
    DemoPlatform p(false);
    MainForm form(p.platform);
    EXPECT_FALSE(form.formLoad());
    EXPECT_TRUE(form.state().noProfile);
    ASSERT_EQ(p.dialogs.messages.size(), 1u);
    EXPECT_EQ(p.dialogs.messages[0].text,
              "Your Windows System have not install MS Outlook or MS Outlook Error!");
    EXPECT_EQ(p.dialogs.messages[0].icon, MsgIcon::Critical);
    EXPECT_EQ(p.dialogs.messages[0].title, kApplicationTitle);
    EXPECT_FALSE(form.cmdApplyEnabled);
    EXPECT_TRUE(form.cbSource.items.empty());
    EXPECT_TRUE(form.cbTarget.items.empty());
    EXPECT_TRUE(form.txtTargetFile.empty());
}

TEST(MainForm, DefaultFileFollowsBackupSettings) {
    DemoPlatform p;
    const auto settings = settingsPath(p.programFolder);
    const auto backups = p.dir / "backups";
    std::filesystem::create_directories(backups);
    ASSERT_TRUE(writeSetting(settings, "Backup", "backupfolder", backups.string() + "/"));
    MainForm form(p.platform);
    form.setClock(march5);
    ASSERT_TRUE(form.formLoad());
    EXPECT_EQ(form.state().targetPath, backups / "qarch-Outlook-03-05-2026.qob");

    // A folder that does not exist: the program folder.
    ASSERT_TRUE(writeSetting(settings, "Backup", "backupfolder", (p.dir / "gone").string()));
    form.selectSource(1);
    EXPECT_EQ(form.state().targetPath, p.programFolder / "qarch-Second-03-05-2026.qob");

    // Generation switched off: another profile leaves the path as it was.
    ASSERT_TRUE(writeSetting(settings, "backup", "automgeneratefile", "0"));
    form.selectSource(0);
    EXPECT_EQ(form.state().targetPath, p.programFolder / "qarch-Second-03-05-2026.qob");
    EXPECT_EQ(form.txtTargetFile, form.state().targetPath.string());
    EXPECT_EQ(form.state().sourceProfile, "Outlook");
}

TEST(MainForm, BrowseForTargetFile) {
    DemoPlatform p;
    MainForm form(p.platform);
    form.setClock(march5);
    ASSERT_TRUE(form.formLoad());
    const auto generated = form.state().targetPath;

    // Cancel keeps what the user had.
    p.dialogs.fileAnswers.push_back(std::nullopt);
    form.cmdTargetFileClick();
    EXPECT_EQ(form.state().targetPath, generated);
    EXPECT_EQ(form.txtTargetFile, generated.string());

    // A name typed without an extension gets ".qob", so the backup can be found and opened by
    // its kind; one with an extension of its own is taken as given.
    for (const auto& [typed, taken] : {std::pair{"weekly", "weekly.qob"}, {"weekly.bak", "weekly.bak"}}) {
        p.dialogs.fileAnswers.push_back((p.dir / "mine" / typed).string());
        form.cmdTargetFileClick();
        EXPECT_EQ(form.txtTargetFile, (p.dir / "mine" / taken).string());
        EXPECT_EQ(form.state().targetPath, p.dir / "mine" / taken);
    }
}

TEST(MainForm, TabsPasswordsAndSelection) {
    DemoPlatform p;
    MainForm form(p.platform);
    ASSERT_TRUE(form.formLoad());
    form.ssTab1Click(1);
    EXPECT_EQ(form.cmdApplyCaption, "Restore Now");
    {
        std::ofstream log(p.programFolder / "brlog.dat", std::ios::binary);
        log << "first\r\nsecond\r\n";
    }
    form.ssTab1Click(2);
    form.ssTab1Click(2);
    EXPECT_EQ(form.cmdApplyCaption, "Show Log File");
    EXPECT_EQ(form.list1, (std::vector<std::string>{"first", "second"}));
    EXPECT_EQ(form.list1Selected, 1);

    form.txtPassword = "a";
    form.txtPassword2 = "b";
    form.ifProtectClick(true);
    EXPECT_TRUE(form.passwordsEnabled);
    EXPECT_EQ(form.txtPassword, "");
    form.txtPassword = "a";
    form.ifProtectClick(false);
    EXPECT_FALSE(form.passwordsEnabled);
    EXPECT_EQ(form.txtPassword, "");

    form.restoreItem[2].enabled = true;
    form.selectAllItems(true);
    EXPECT_TRUE(form.restoreItem[2].checked);
    EXPECT_FALSE(form.restoreItem[3].checked);
    form.deselectAllItems(true);
    EXPECT_FALSE(form.restoreItem[2].checked);
}

} // namespace
} // namespace qob::test
