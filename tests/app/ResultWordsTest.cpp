// qob says a result as it is: the summary's words, the exit code and --json's items agree on what
// was stored or restored and what was not.
#include "DemoCli.h"
#include "app/cli/Cli.h"
#include "backup/EarlierBackup.h"
#include "platform/wine/WinePrefixRegistry.h"
#include "registry/Registry.h"

#include <gtest/gtest.h>

namespace qob {
namespace {

namespace fs = std::filesystem;

struct Qob : test::DemoCli {
    int run(std::vector<std::string> args) {
        out.str("");
        err.str("");
        args.insert(args.begin(), {"--prefix", prefix.string()});
        return cli::runCli(args, out, err);
    }
    // The last line of --json's output: the summary.
    std::string summary() const {
        std::string text = out.str();
        text.pop_back();
        return text.substr(text.rfind('\n') + 1);
    }
};

TEST(ResultWords, JsonListsEveryChosenItemAndAnItemTheBackupLacksFailsTheRestore) {
    Qob q;
    const std::string file = (q.dir / "sig.qob").string();
    ASSERT_EQ(q.run({"--json", "backup", "--profile", "Outlook", "--items", "signatures,options", file}), 0)
        << q.err.str();
    EXPECT_NE(q.summary().find("\"result\":\"completed\""), std::string::npos) << q.summary();
    EXPECT_NE(
        q.summary().find("\"items\":[{\"name\":\"Backup Signatures\",\"result\":\"succeeded\",\"ok\":true,"
                         "\"reason\":\"\"},{\"name\":\"Backup Options Settings\",\"result\":\"succeeded\""),
        std::string::npos)
        << q.summary();
    EXPECT_NE(q.summary().find("\"message\":\"The Backup was Completed!"), std::string::npos) << q.summary();

    // The address book is asked for but not in the backup: a restore commits all chosen items or
    // none, so nothing is restored, the run says it failed and why, and the command fails.
    ASSERT_EQ(q.run({"restore", file, "--profile", "Second", "--items", "signatures,pab"}), 1) << q.err.str();
    EXPECT_EQ(q.out.str(), "");
    EXPECT_NE(q.err.str().find("The Restore Failed!"), std::string::npos) << q.err.str();
    EXPECT_NE(q.err.str().find("Restore Personal Address Book Fail!"), std::string::npos) << q.err.str();
    EXPECT_NE(q.err.str().find("The backup holds no Personal Address Book; it was not restored."),
              std::string::npos)
        << q.err.str();
    EXPECT_EQ(q.err.str().find("Completed"), std::string::npos) << q.err.str();

    ASSERT_EQ(q.run({"--json", "restore", file, "--profile", "Second", "--items", "signatures,pab"}), 1);
    const std::string json = q.summary();
    EXPECT_NE(json.find("\"result\":\"failed\""), std::string::npos) << json;
    EXPECT_NE(json.find("{\"name\":\"Restore Signatures\",\"result\":\"failed\",\"ok\":false"),
              std::string::npos)
        << json;
    EXPECT_NE(json.find("{\"name\":\"Restore Personal Address Book\",\"result\":\"failed\",\"ok\":false,"
                        "\"reason\":\"The backup holds no Personal Address Book; it was not restored.\"}"),
              std::string::npos)
        << json;
    EXPECT_NE(json.find("\"message\":\"The Restore Failed!"), std::string::npos) << json;

    // Every item held and chosen: completed, exit 0, the words on stdout.
    ASSERT_EQ(q.run({"restore", file, "--profile", "Second"}), 0) << q.err.str();
    EXPECT_EQ(q.out.str().rfind("The Restore was Completed!", 0), 0u) << q.out.str();
}

TEST(ResultWords, ABackupWithoutADataFileSaysFailForIt) {
    Qob q;
    // The profile's second data file is gone; its first one is still stored.
    fs::path archiv;
    for (const auto& e : fs::recursive_directory_iterator(q.prefix / "drive_c")) {
        if (e.path().filename().string().rfind("Archiv", 0) == 0) {
            archiv = e.path();
        }
    }
    ASSERT_FALSE(archiv.empty());
    fs::remove(archiv);
    const std::string file = (q.dir / "part.qob").string();
    ASSERT_EQ(q.run({"--json", "backup", "--profile", "Outlook", "--items", "data", file}), 1);
    const std::string json = q.summary();
    EXPECT_NE(json.find("\"result\":\"incomplete\""), std::string::npos) << json;
    EXPECT_NE(
        json.find("{\"name\":\"Backup Personal Folders\",\"result\":\"failed\",\"ok\":false,\"reason\":"),
        std::string::npos)
        << json;
    EXPECT_NE(json.find("Backup Personal Folders\\tFail!"), std::string::npos) << json;
    EXPECT_EQ(json.find("Backup Personal Folders\\tSucceeded!"), std::string::npos) << json;
    EXPECT_NE(json.find("\"problems\":[\"C:\\\\users\\\\quire\\\\Documents\\\\Outlook Files\\\\Archiv"),
              std::string::npos)
        << json;
    // The file holds what could be stored, and says the data files are not whole.
    EXPECT_TRUE(fs::exists(file));
}

TEST(ResultWords, APlainBackupChoosesOnlyWhatTheProfileHas) {
    Qob q;
    // Outlook has not written its options yet.
    {
        WinePrefixRegistry store(q.prefix);
        SilentDialogs dialogs;
        Registry registry(store, dialogs, "t");
        registry.deleteKeyTree("HKEY_CURRENT_USER\\Software\\Microsoft\\Office\\15.0\\Outlook\\Options");
        ASSERT_EQ(store.flush(), kRegSuccess);
    }
    const fs::path file = q.dir / "plain.qob";
    ASSERT_EQ(q.run({"backup", "--profile", "Outlook", file.string()}), 0) << q.out.str() << q.err.str();
    const auto info = storedInfoValues(file, "", q.dir.path(), {"BackupItem"});
    ASSERT_TRUE(info);
    EXPECT_EQ(info->at("BackupItem"), "11111100111"); // no address book, no options
}

} // namespace
} // namespace qob
