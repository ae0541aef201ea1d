// Backups as the Windows-era program made them (ANSI names without the UTF-8 flag, an ANSI
// information file, traditional encryption keyed by the password's ANSI bytes) through qob info,
// verify and restore; and the backups those commands refuse, each naming what is wrong.
#include "DemoCli.h"
#include "TestPaths.h"
#include "ZipTools.h"
#include "app/cli/Cli.h"
#include "platform/wine/WinePrefixRegistry.h"

#include <gtest/gtest.h>

#include <zip.h>

#include <sstream>

namespace qob {
namespace {

namespace fs = std::filesystem;
using test::ZipEntrySpec;

// "Grüße.htm", "Köln", "Für Müller" and "Käse" in Windows-1252.
const std::string kAnsiSignature = "Gr\xFC\xDF"
                                   "e.htm";
const std::string kSignature = "Gr\xC3\xBC\xC3\x9F"
                               "e.htm";
const std::string kAnsiPassword = "K\xE4se";
const std::string kPassword = "K\xC3\xA4se";

std::string infoText(const std::string& computer, const std::string& description,
                     const std::string& signatures, const std::string& flags) {
    return "BackupComputer=" + computer + "\r\nBackupLogonUser=anna\r\nBackupIdentity=Outlook\r\n" +
           "BackupTime=3/1/2009 10:00:00 AM\r\nOutlookversion=Outlook 2007\r\nBackupInformation=" +
           description + "\r\nBackupSignatures=" + signatures + "\r\nBackupItem=" + flags + "\r\n";
}

// Runs qob in-process on the demo prefix; stdout and stderr together.
int qob(test::DemoCli& demo, std::vector<std::string> args, std::string& output) {
    args.insert(args.begin(), {"--prefix", demo.prefix.string()});
    std::ostringstream out, err;
    const int rc = cli::runCli(args, out, err);
    output = out.str() + err.str();
    return rc;
}

fs::path findFile(const fs::path& folder, const std::string& name) {
    for (const auto& e : fs::recursive_directory_iterator(folder)) {
        if (e.path().filename() == name) {
            return e.path();
        }
    }
    return {};
}

void setAnsiCodePage(const fs::path& prefix, const std::string& page) {
    WinePrefixRegistry registry(prefix);
    RegHandle key = 0;
    ASSERT_EQ(
        registry.createKey(RegRoot::LocalMachine, "System\\CurrentControlSet\\Control\\Nls\\CodePage", key),
        kRegSuccess);
    const std::vector<std::uint8_t> data(page.begin(), page.end());
    ASSERT_EQ(registry.setValue(key, "ACP", kRegSz, data), kRegSuccess);
    registry.closeKey(key);
    ASSERT_EQ(registry.flush(), kRegSuccess);
}

TEST(WindowsEraBackup, IsShownVerifiedAndRestoredByTheCommands) {
    test::DemoCli demo;
    const fs::path backup = demo.dir / "old.qob";
    const std::string body = "<html>Viele Gr\xC3\xBC\xC3\x9F"
                             "e</html>";
    test::makeZip(backup,
                  {{kAnsiSignature, body, false, true, ZIP_EM_TRAD_PKWARE, kAnsiPassword},
                   {"quirebox.dat",
                    infoText("K\xF6ln-PC", "F\xFCr M\xFCllerPS$QBXZeile 2", kAnsiSignature, "00001000000"),
                    false, true, ZIP_EM_TRAD_PKWARE, kAnsiPassword}});
    const fs::path passwordFile = demo.dir / "pw";
    test::writeBytes(passwordFile, kPassword + "\n");
    const std::string pw = passwordFile.string();

    std::string output;
    ASSERT_EQ(qob(demo, {"info", "--password-file", pw, backup.string()}, output), 0) << output;
    EXPECT_NE(output.find("Computer: K\xC3\xB6ln-PC\n"), std::string::npos) << output;
    EXPECT_NE(output.find("Description: F\xC3\xBCr M\xC3\xBCller\nZeile 2\n"), std::string::npos) << output;
    EXPECT_NE(output.find("BackupSignatures=" + kSignature + "\n"), std::string::npos) << output;

    ASSERT_EQ(qob(demo, {"verify", "--password-file", pw, backup.string()}, output), 0) << output;
    test::writeBytes(demo.dir / "wrong", "Kase\n");
    EXPECT_EQ(
        qob(demo, {"verify", "--password-file", (demo.dir / "wrong").string(), backup.string()}, output), 1);
    EXPECT_NE(output.find("wrong password"), std::string::npos) << output;

    ASSERT_EQ(qob(demo,
                  {"restore", backup.string(), "--profile", "Outlook", "--items", "001000000",
                   "--password-file", pw},
                  output),
              0)
        << output;
    const fs::path restored = findFile(demo.prefix / "drive_c", kSignature);
    ASSERT_FALSE(restored.empty()) << output;
    EXPECT_EQ(test::readBytes(restored), body);
    EXPECT_TRUE(findFile(demo.prefix / "drive_c", kAnsiSignature).empty());
}

TEST(WindowsEraBackup, TextsFollowTheTargetSystemsCodePage) {
    test::DemoCli demo;
    const fs::path backup = demo.dir / "ru.qob";
    // "Привет" in Windows-1251, and a value this program wrote (UTF-8) beside it.
    const std::string ansi = "\xCF\xF0\xE8\xE2\xE5\xF2";
    const std::string utf8 = "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82";
    test::makeZip(
        backup, {{ansi + ".htm", "x", false, true},
                 {"quirebox.dat", infoText("PC-" + utf8, ansi, ansi + ".htm", "00001000000"), false, true}});
    std::string output;
    // Without a code page in the prefix: Windows-1252.
    ASSERT_EQ(qob(demo, {"info", backup.string()}, output), 0) << output;
    EXPECT_NE(output.find("Description: \xC3\x8F\xC3\xB0"), std::string::npos) << output;
    setAnsiCodePage(demo.prefix, "1251");
    ASSERT_EQ(qob(demo, {"info", backup.string()}, output), 0) << output;
    EXPECT_NE(output.find("Computer: PC-" + utf8 + "\n"), std::string::npos) << output;
    EXPECT_NE(output.find("Description: " + utf8 + "\n"), std::string::npos) << output;
    EXPECT_NE(output.find("BackupSignatures=" + utf8 + ".htm\n"), std::string::npos) << output;
    ASSERT_EQ(qob(demo, {"restore", backup.string(), "--profile", "Outlook", "--items", "001000000"}, output),
              0)
        << output;
    EXPECT_FALSE(findFile(demo.prefix / "drive_c", utf8 + ".htm").empty());
}

TEST(WindowsEraBackup, AlteredOrInvalidBackupsAreRefusedByEveryCommand) {
    test::DemoCli demo;
    test::writeBytes(demo.dir / "pw", "pw\n");
    const std::string pw = (demo.dir / "pw").string();
    const std::string info = infoText("PC", "d", "Evil.htm", "00001000000");
    struct Case {
        std::string what;
        std::vector<ZipEntrySpec> entries;
        std::string named; // in every command's refusal
    };
    const std::vector<Case> cases = {
        {"a plain entry swapped into a protected backup",
         {{"Evil.htm", "<html>evil</html>"}, {"quirebox.dat", info, false, false, ZIP_EM_AES_256, "pw"}},
         "\"Evil.htm\""},
        {"an entry of a weaker strength",
         {{"Evil.htm", "<html>x</html>", false, false, ZIP_EM_AES_128, "pw"},
          {"quirebox.dat", info, false, false, ZIP_EM_AES_256, "pw"}},
         "\"Evil.htm\""},
        {"item flags with a character other than 0 and 1",
         {{"Evil.htm", "x"}, {"quirebox.dat", infoText("PC", "d", "Evil.htm", "0000100000x")}},
         "nvalid"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const fs::path backup = demo.dir / "bad.qob";
        test::makeZip(backup, c.entries);
        for (const std::vector<std::string>& command :
             {std::vector<std::string>{"info", "--password-file", pw, backup.string()},
              std::vector<std::string>{"verify", "--password-file", pw, backup.string()},
              std::vector<std::string>{"restore", backup.string(), "--profile", "Outlook", "--items",
                                       "001000000", "--password-file", pw}}) {
            SCOPED_TRACE(command[0]);
            std::string output;
            if (command[0] == "verify" && c.named == "nvalid") {
                continue; // verify checks entries, not the information file's values
            }
            EXPECT_EQ(qob(demo, command, output), 1) << output;
            EXPECT_NE(output.find(c.named), std::string::npos) << output;
        }
        EXPECT_TRUE(findFile(demo.prefix / "drive_c", "Evil.htm").empty());
    }
}

} // namespace
} // namespace qob
