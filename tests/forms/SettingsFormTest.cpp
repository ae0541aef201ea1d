#include "forms/SettingsForm.h"
#include "FakeDialogs.h"
#include "FakeStartupEntry.h"
#include "TestPaths.h"
#include "outlook/AppState.h"
#include "settings/AutoBackupSettings.h"
#include "settings/Settings.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace qob::test {
namespace {

struct SettingsFixture {
    TempDir dir;
    std::filesystem::path programFolder = dir.path();
    FakeDialogs dialogs;
    FakeStartupEntry startup;
    SettingsForm form{dialogs, startup, programFolder};

    std::filesystem::path file() const { return settingsPath(programFolder); }
    void put(const std::string& section, const std::string& key, const std::string& value) {
        ASSERT_TRUE(writeSetting(file(), section, key, value));
    }
    std::string text() const {
        std::ifstream in(file(), std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
};

std::array<bool, kSettingsBoxCount> all(bool value) {
    std::array<bool, kSettingsBoxCount> out{};
    out.fill(value);
    return out;
}

TEST(SettingsForm, LoadShowsEveryStoredValueAndTicksWhatIsMissing) {
    const auto startBox = static_cast<std::size_t>(SettingsBox::StartOnWindows);
    {
        SettingsFixture f; // no settings.dat at all
        f.form.formLoad();
        // What the runs and the desktop do without settings.dat: automatic runs write new files,
        // and nothing starts the program at logon.
        auto expected = all(true);
        expected[startBox] = false;
        EXPECT_EQ(f.form.boxes, expected);
        EXPECT_TRUE(f.form.newAutoBackupFile);
        EXPECT_EQ(f.form.backupFolder, f.programFolder.string());
    }
    // A flag matches 1 unless it is another number; "autobackupfile" selects a new file exactly
    // when the automatic run writes one: "1", or no number at all. The start-up box shows the
    // entry, whatever its key holds.
    struct Case {
        std::string stored;
        bool ticked;
        bool newFile;
    };
    for (const Case& c : {Case{"1", true, true}, Case{"0", false, false}, Case{"2", false, false},
                          Case{"", true, true}, Case{"yes", true, true}}) {
        for (bool entry : {false, true}) {
            SCOPED_TRACE("stored \"" + c.stored + "\", entry " + (entry ? "set" : "absent"));
            SettingsFixture f;
            f.startup.on = entry;
            for (const SettingsBoxInfo& box : kSettingsBoxes) {
                f.put(box.section, box.key, c.stored);
            }
            f.put("autobackup", "autobackupfile", c.stored);
            f.form.formLoad();
            auto expected = all(c.ticked);
            expected[startBox] = entry;
            EXPECT_EQ(f.form.boxes, expected);
            EXPECT_EQ(f.form.newAutoBackupFile, c.newFile);
            EXPECT_EQ(f.form.newAutoBackupFile, autoBackupToNewFile(f.programFolder)) << "the runs' reading";
        }
    }
    // Each box reads its own key: only "burndvd" off.
    SettingsFixture f;
    f.startup.on = true;
    f.put("General", "burndvd", "0");
    f.form.formLoad();
    auto expected = all(true);
    expected[static_cast<std::size_t>(SettingsBox::BurnDvd)] = false;
    EXPECT_EQ(f.form.boxes, expected);
    // The folder: "0" and "" mean the program folder.
    for (const std::string& stored : {std::string("0"), std::string(""), std::string("/srv/backups")}) {
        SettingsFixture g;
        g.put("Backup", "backupfolder", stored);
        g.form.formLoad();
        EXPECT_EQ(g.form.backupFolder, stored == "/srv/backups" ? stored : g.programFolder.string());
    }
}

TEST(SettingsForm, OkWritesEveryKeyInItsSectionInOrder) {
    SettingsFixture f;
    f.startup.on = true; // the program starts at logon already
    std::filesystem::create_directory(f.dir / "my backups");
    f.form.formLoad();
    f.form.backupFolder = "  " + (f.dir / "my backups").string() + "  ";
    f.form.box(SettingsBox::CheckBackupFile) = false;
    f.form.box(SettingsBox::OpenFolderBackup) = false;
    f.form.newAutoBackupFile = true;
    EXPECT_TRUE(f.form.okClick());
    EXPECT_TRUE(f.dialogs.messages.empty());
    EXPECT_EQ(f.text(), "[Backup]\r\n"
                        "backupfolder=" +
                            (f.dir / "my backups").string() +
                            "\r\n"
                            "autocloseoutlook=1\r\n"
                            "openfolderbackup=0\r\n"
                            "automgeneratefile=1\r\n"
                            "[General]\r\n"
                            "startonwindows=1\r\n"
                            "checkbackupfile=0\r\n"
                            "runoutlookafterbackup=1\r\n"
                            "runoutlookafterrestore=1\r\n"
                            "burndvd=1\r\n"
                            "[autobackup]\r\n"
                            "autobackupfile=1\r\n");
    EXPECT_EQ(f.startup.calls, std::vector<bool>{true});

    f.form.box(SettingsBox::StartOnWindows) = false;
    f.form.newAutoBackupFile = false;
    EXPECT_TRUE(f.form.okClick());
    EXPECT_EQ(readSetting(f.file(), "General", "startonwindows"), "0");
    EXPECT_EQ(readSetting(f.file(), "autobackup", "autobackupfile"), "0");
    EXPECT_EQ(f.startup.calls, (std::vector<bool>{true, false}));
}

TEST(SettingsForm, FolderBoxRules) {
    // What OK makes of the folder box: stays open (nothing written, a message) or the stored value.
    struct Case {
        const char* name;
        std::string typed;                  // "<dir>" stands for an existing folder
        std::optional<std::string> browsed; // browse first with this answer (nullopt: cancelled)
        bool browse;
        bool closes;
        std::string stored; // "<program>" for the program folder
        MsgIcon icon;
    };
    const std::string longName(130, 'x');
    const Case cases[] = {
        {"existing, trimmed", " <dir> ", {}, false, true, "<dir>", MsgIcon::None},
        {"missing folder", "/no/such/folder", {}, false, true, "<program>", MsgIcon::None},
        {"blanks only", "   ", {}, false, false, "", MsgIcon::Critical},
        {"browsed", "/elsewhere", "<dir>", true, true, "<dir>", MsgIcon::None},
        {"browse cancelled", "<dir>", std::nullopt, true, false, "", MsgIcon::Critical},
        {"longer than a setting", "<dir>/" + longName, {}, false, false, "", MsgIcon::Warning},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SettingsFixture f;
        const std::string dir = (f.dir / "target").string();
        std::filesystem::create_directories(f.dir / "target" / longName);
        auto expand = [&](std::string s) {
            if (auto at = s.find("<dir>"); at != std::string::npos) {
                s.replace(at, 5, dir);
            }
            return s == "<program>" ? f.programFolder.string() : s;
        };
        f.form.formLoad();
        f.form.backupFolder = expand(c.typed);
        if (c.browse) {
            f.dialogs.folderAnswers.push_back(c.browsed ? std::optional(expand(*c.browsed)) : std::nullopt);
            f.form.browseClick();
            EXPECT_EQ(f.form.backupFolder, c.browsed ? expand(*c.browsed) : "");
        }
        EXPECT_EQ(f.form.okClick(), c.closes);
        if (c.closes) {
            EXPECT_TRUE(f.dialogs.messages.empty());
            EXPECT_EQ(readSetting(f.file(), "backup", "backupfolder"), expand(c.stored));
        } else {
            ASSERT_EQ(f.dialogs.messages.size(), 1u);
            EXPECT_EQ(f.dialogs.messages[0].icon, c.icon);
            EXPECT_EQ(f.dialogs.messages[0].title, kApplicationTitle);
            if (c.icon == MsgIcon::Critical) {
                EXPECT_EQ(f.dialogs.messages[0].text, kEnterBackupFolderMessage);
            }
            EXPECT_FALSE(std::filesystem::exists(f.file()));
            EXPECT_TRUE(f.startup.calls.empty());
        }
    }
    // A program folder too long for a setting is stored as "", which every reader takes for it.
    TempDir dir;
    const auto longProgram = dir / longName;
    std::filesystem::create_directory(longProgram);
    FakeDialogs dialogs;
    FakeStartupEntry startup;
    SettingsForm form(dialogs, startup, longProgram);
    form.formLoad();
    EXPECT_TRUE(form.okClick());
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_EQ(readSetting(settingsPath(longProgram), "backup", "backupfolder"), "");
    EXPECT_EQ(readSetting(settingsPath(longProgram), "General", "burndvd"), "1");
}

TEST(SettingsForm, FailedWritesAreReportedOnceAndTheWindowCloses) {
    struct Case {
        const char* name;
        bool settingsFail;
        bool startupFails;
    };
    for (const Case& c :
         {Case{"settings.dat", true, false}, Case{"start-up entry", false, true}, Case{"both", true, true}}) {
        SCOPED_TRACE(c.name);
        SettingsFixture f;
        f.form.formLoad();
        if (c.settingsFail) {
            std::filesystem::create_directory(f.file()); // settings.dat cannot be a file now
        }
        if (c.startupFails) {
            f.startup.result = Status::failure("Cannot write the start-up entry /x/y.desktop: No space left");
        }
        EXPECT_TRUE(f.form.okClick());
        ASSERT_EQ(f.dialogs.messages.size(), 1u);
        const std::string& text = f.dialogs.messages[0].text;
        EXPECT_EQ(f.dialogs.messages[0].title, kApplicationTitle);
        EXPECT_EQ(text.find(f.file().string()) != std::string::npos, c.settingsFail) << text;
        EXPECT_EQ(text.find("No space left") != std::string::npos, c.startupFails) << text;
        EXPECT_EQ(f.startup.calls.size(), 1u); // every step ran
    }
}

} // namespace
} // namespace qob::test
