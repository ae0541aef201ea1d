// Closing Outlook before a backup: asked, waited for, never killed; when it stays open, the items
// it keeps open fail with the reason instead of being copied half-written.
#include "backup/CloseOutlook.h"
#include "backup/Processes.h"
#include "forms/BackupRun.h"
#include "settings/Settings.h"

#include "FakeOutlookProcess.h"
#include "ZipTools.h"

#include <gtest/gtest.h>

namespace qob {
namespace {

namespace fs = std::filesystem;
using ms = std::chrono::milliseconds;
using std::chrono::seconds;

TEST(CloseOutlook, AsksWaitsForTheProgramAndTheRegistryAndNeverKills) {
    struct Case {
        const char* what;
        bool running;
        bool askSucceeds;
        std::optional<ms> exitAfter;
        std::optional<ms> registryAfter;
        CloseResult expected;
        int asks;
        ms waitedAtLeast;
        ms waitedAtMost;
    };
    const Case cases[] = {
        {"not running: nothing asked, no wait", false, true, ms(0), ms(0), CloseResult::NotRunning, 0, ms(0),
         ms(0)},
        {"closes, then the server saves", true, true, seconds(3), seconds(4), CloseResult::Closed, 1,
         seconds(7), seconds(8)},
        {"closes at once, no server", true, true, ms(0), ms(0), CloseResult::Closed, 1, ms(0), ms(0)},
        {"never closes: a minute, then given up", true, true, std::nullopt, ms(0), CloseResult::StillOpen, 1,
         seconds(60), seconds(61)},
        {"closes after 59 s", true, true, seconds(59), ms(0), CloseResult::Closed, 1, seconds(59),
         seconds(60)},
        {"closes, server never exits: past its 30 s save", true, true, seconds(1), std::nullopt,
         CloseResult::Closed, 1, seconds(31), seconds(37)},
        {"cannot be asked", true, false, seconds(1), ms(0), CloseResult::StillOpen, 1, ms(0), ms(0)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        test::DemoPlatform p;
        test::FakeOutlookProcess system(p.demo);
        system.running = c.running;
        system.askSucceeds = c.askSucceeds;
        system.exitAfter = c.exitAfter;
        system.registryAfter = c.registryAfter;
        int looks = 0;
        EXPECT_EQ(closeProcessByName(system, "outlook.exe", {}, [&] { ++looks; }), c.expected);
        EXPECT_EQ(system.asks, c.asks);
        EXPECT_EQ(system.terminations, 0);
        EXPECT_GE(system.clock, c.waitedAtLeast);
        EXPECT_LE(system.clock, c.waitedAtMost);
        if (c.waitedAtLeast > ms(0)) {
            EXPECT_GT(looks, 1);
        }
        if (c.asks) {
            EXPECT_EQ(system.askedName, "outlook.exe");
        }
    }
}

struct OutlookRun {
    test::OutlookPlatform o;
    MainForm form{o.platform};
    BackupRun run;
    fs::path target;
    std::vector<std::string> statusTexts;

    OutlookRun() {
        form.formLoad();
        target = o.p.dir / "b.qob";
        form.state().targetPath = target;
        form.txtTargetFile = target.string();
        for (auto& box : form.backupItem)
            box.checked = true;
        form.setListener([this](FormChange) {
            if (statusTexts.empty() || statusTexts.back() != form.label1)
                statusTexts.push_back(form.label1);
        });
        o.p.dialogs.messages.clear();
    }
    std::string log() const { return test::readBytes(o.p.programFolder / "brlog.dat"); }
    bool waited() const {
        return std::find(statusTexts.begin(), statusTexts.end(), kWaitingForOutlook) != statusTexts.end();
    }
};

TEST(CloseOutlook, BackupNowWaitsForOutlookOrFailsItsFilesWithTheReason) {
    {
        SCOPED_TRACE("Outlook closes when asked: a whole backup, nothing killed");
        OutlookRun r;
        r.o.outlook.exitAfter = seconds(5);
        r.o.outlook.registryAfter = seconds(2);
        BackupOutcome out = r.run.runBackup(r.form);
        EXPECT_TRUE(out.succeeded) << out.message;
        EXPECT_EQ(r.o.outlook.asks, 1);
        EXPECT_EQ(r.o.outlook.terminations, 0);
        EXPECT_TRUE(r.waited());
        EXPECT_GE(r.o.outlook.clock, seconds(7));
        EXPECT_EQ(out.message.find("Fail!"), std::string::npos) << out.message;
        EXPECT_EQ(r.log().find(kOutlookDidNotClose), std::string::npos);
    }
    {
        SCOPED_TRACE("Outlook stays open: its files fail with the reason, it keeps running");
        OutlookRun r;
        BackupOutcome out = r.run.runBackup(r.form);
        EXPECT_EQ(r.o.outlook.asks, 1);
        EXPECT_EQ(r.o.outlook.terminations, 0);
        EXPECT_TRUE(r.waited());
        EXPECT_GE(r.o.outlook.clock, seconds(60));
        EXPECT_NE(out.message.find("Backup Personal Folders\tFail!"), std::string::npos) << out.message;
        EXPECT_NE(out.message.find("Backup Preferences\tFail!"), std::string::npos) << out.message;
        EXPECT_NE(out.message.find("Backup Personal Address Book\tFail!"), std::string::npos) << out.message;
        EXPECT_NE(out.message.find("Backup Signatures\tSucceeded!"), std::string::npos) << out.message;
        const std::string log = r.log();
        for (const char* line :
             {" Not stored: Data files: Outlook did not close", " Not stored: Rules: Outlook did not close",
              " Not stored: Preferences: Outlook did not close"})
            EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
        // No data file went into the backup.
        Archive written;
        ASSERT_TRUE(written.openArchive(r.target));
        for (const auto& entry : written.entries())
            EXPECT_EQ(entry.name.find(".pst"), std::string::npos) << entry.name;
    }
    {
        SCOPED_TRACE("\"autocloseoutlook\" off: Outlook is not asked");
        OutlookRun r;
        ASSERT_TRUE(writeSetting(settingsPath(r.o.p.programFolder), "Backup", "autocloseoutlook", "0"));
        r.run.runBackup(r.form);
        EXPECT_EQ(r.o.outlook.asks, 0);
        EXPECT_FALSE(r.waited());
    }
}

} // namespace
} // namespace qob
