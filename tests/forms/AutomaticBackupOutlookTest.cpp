// The automatic run with Outlook open: asked to close and waited for like "Backup Now", never
// killed; the files it keeps open fail with the reason when it stays.
#include "backup/CloseOutlook.h"
#include "forms/AutomaticBackup.h"
#include "settings/Settings.h"

#include "FakeOutlookProcess.h"
#include "ZipTools.h"

#include <gtest/gtest.h>

namespace qob {
namespace {

TEST(AutomaticBackupOutlook, OutlookIsAskedToCloseAndNeverKilled) {
    for (bool closes : {true, false}) {
        SCOPED_TRACE(closes ? "Outlook closes" : "Outlook stays open");
        test::OutlookPlatform o;
        if (closes)
            o.outlook.exitAfter = std::chrono::seconds(4);
        MainForm form(o.platform);
        form.formLoad();
        const auto target = o.p.dir / "q.qob";
        AutoBackupResult result = runAutoBackup(form, " sf=Outlookxm=111111111ps=bf=" + target.string());
        EXPECT_EQ(o.outlook.asks, 1);
        EXPECT_EQ(o.outlook.terminations, 0);
        const std::string log = test::readBytes(o.p.programFolder / "brlog.dat");
        ASSERT_TRUE(result.succeeded) << result.reason;
        if (closes) {
            EXPECT_EQ(result.flags.substr(0, 3), "111");
            EXPECT_EQ(log.find(kOutlookDidNotClose), std::string::npos) << log;
        } else {
            EXPECT_GE(o.outlook.clock, std::chrono::seconds(60));
            EXPECT_EQ(result.flags.substr(0, 4), "1001"); // config and accounts, no data files or rules
            EXPECT_NE(log.find(" Backup Personal Folders Fail!"), std::string::npos) << log;
            EXPECT_NE(log.find(" Not stored: Data files: Outlook did not close"), std::string::npos) << log;
            EXPECT_NE(std::find(result.notStored.begin(), result.notStored.end(),
                                std::string("Data files: ") + kOutlookDidNotClose),
                      result.notStored.end());
        }
    }
}

} // namespace
} // namespace qob
