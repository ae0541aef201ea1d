// The window and the automatic run on Outlook 2016 to 365 (Office 16.0): the profiles and the
// options key of 16.0, and a backup that says which Outlook made it.
#include "backup/EarlierBackup.h"
#include "forms/AutomaticBackup.h"
#include "outlook/OutlookDiscovery.h"

#include "DemoPlatform.h"

#include <gtest/gtest.h>

namespace qob {
namespace {

TEST(Office16Form, LoadAndAutomaticRunUseTheOffice16Keys) {
    test::DemoPlatform p(true, "16.0");
    MainForm form(p.platform);
    ASSERT_TRUE(form.formLoad());
    const AppState& s = form.state();
    EXPECT_EQ(s.officeVersion, "16.0");
    EXPECT_EQ(s.profilesRootKey, "HKEY_CURRENT_USER\\Software\\Microsoft\\Office\\16.0\\Outlook\\Profiles");
    EXPECT_EQ(form.cbSource.items, (std::vector<std::string>{"Outlook", "Second"}));
    EXPECT_EQ(s.optionsKey, "HKEY_CURRENT_USER\\Software\\Microsoft\\Office\\16.0\\Outlook\\Options");
    EXPECT_EQ(s.stationeryFolder, p.demo.stationeryFolder);
    EXPECT_TRUE(form.backupItem[1].enabled); // the accounts of the 16.0 profile
    EXPECT_FALSE(form.backupItem[4].enabled);
    EXPECT_EQ(form.backupItem[4].toolTip, kPabToolTip);
    EXPECT_TRUE(p.dialogs.messages.empty());

    const std::filesystem::path target = p.dir / "auto.qob";
    const AutoBackupResult result = runAutoBackup(form, " sf=Secondxm=110001000ps=bf=" + target.string());
    EXPECT_TRUE(result.complete) << result.reason;
    const auto info = storedInfoValues(result.file, "", p.dir.path(), {"Outlookversion", "BackupItem"});
    ASSERT_TRUE(info);
    EXPECT_EQ(info->at("Outlookversion"), "Outlook 2016");
    EXPECT_EQ(info->at("BackupItem"), "11010001000");
}

} // namespace
} // namespace qob
