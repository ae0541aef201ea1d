// A whole backup and restore on a prefix booted by Wine, with a profile that Wine's own `reg add`
// wrote, checked afterwards through Wine itself.
#include "WinePrefixEnvironment.h"
#include "app/cli/Cli.h"
#include "archive/Archive.h"
#include "platform/wine/WinePrefixRegistry.h"

#include <gtest/gtest.h>

#include <fstream>
#include <random>

namespace qob {
namespace {

namespace fs = std::filesystem;
using Env = WinePrefixEnvironment;

const std::string kProfiles = "HKCU\\Software\\Microsoft\\Office\\15.0\\Outlook\\Profiles";
const std::string kStoreKey = "aaaabbbbccccddddeeeeffff00001111";

std::string hexOf(const std::string& bytes) {
    static const char* digits = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

// UTF-16LE of ASCII text with its terminating zero.
std::string wide(const std::string& ascii) {
    std::string out;
    for (char c : ascii) {
        out += c;
        out += '\0';
    }
    return out + std::string(2, '\0');
}

std::string readAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The Windows user folder Wine made for the Unix user running the tests.
fs::path userFolder() {
    for (const auto& entry : fs::directory_iterator(Env::prefix / "drive_c" / "users")) {
        if (entry.path().filename() != "Public" && entry.is_directory()) {
            return entry.path();
        }
    }
    return {};
}

int qob(std::vector<std::string> args, std::string& output) {
    std::ostringstream out, err;
    args.insert(args.begin(), {"--prefix", Env::prefix.string()});
    int rc = cli::runCli(args, out, err);
    output = out.str() + err.str();
    return rc;
}

TEST(WineBackupRestore, ProfileWrittenByWineIsBackedUpAndRestoredIntoAnother) {
    test::TempDir home;
    setenv("QUIRE_HOME", home.path().c_str(), 1);
    fs::path user = userFolder();
    ASSERT_FALSE(user.empty());
    const std::string winUser = user.filename().string();
    const std::string pstPath =
        "C:\\users\\" + winUser + "\\AppData\\Local\\Microsoft\\Outlook\\wine mail.pst";

    Env::startServer();
    const std::string source = "'" + kProfiles + "\\WineSource\\" + kStoreKey + "'";
    ASSERT_EQ(Env::wine("wine reg add " + source + " /v 01020fff /t REG_BINARY /d " +
                        hexOf(std::string(54, '\0') + wide(pstPath)) + " /f"),
              0)
        << Env::logText();
    ASSERT_EQ(
        Env::wine("wine reg add " + source + " /v 001f6700 /t REG_BINARY /d " + hexOf(wide(pstPath)) + " /f"),
        0);
    ASSERT_EQ(Env::wine("wine reg add '" + kProfiles +
                        "\\WineTarget\\0a0d020000000000c000000000000046' /v 00036601 "
                        "/t REG_BINARY /d 04000000 /f"),
              0);
    ASSERT_EQ(Env::wine("wine reg add 'HKCU\\Software\\Microsoft\\Office\\15.0\\Outlook\\Options\\Mail' /v "
                        "EditorPreference /t REG_DWORD /d 131072 /f"),
              0);

    // The restore must refuse while Wine's server owns the registry files.
    std::string output;
    fs::path backup = home.path() / "wine.qob";
    Env::stopServer();

    fs::path pst = user / "AppData" / "Local" / "Microsoft" / "Outlook" / "wine mail.pst";
    fs::create_directories(pst.parent_path());
    std::string data(1 << 20, '\0');
    std::mt19937 random(7);
    for (auto& c : data) {
        c = static_cast<char>(random());
    }
    std::ofstream(pst, std::ios::binary) << data;

    // The profile has no accounts key: choosing the accounts would (rightly) fail the command.
    ASSERT_EQ(qob({"backup", "--profile", "WineSource", "--items", "100001000", backup.string()}, output), 0)
        << output;
    if (std::system("command -v 7z >/dev/null 2>&1") == 0) {
        EXPECT_EQ(std::system(("7z t '" + backup.string() + "' >/dev/null 2>&1").c_str()), 0);
    }

    Env::startServer();
    EXPECT_EQ(qob({"restore", backup.string(), "--profile", "WineTarget"}, output), 1);
    EXPECT_NE(output.find("wineserver"), std::string::npos) << output;
    Env::stopServer();

    // Restoring over the source's own data file must leave it intact: move it away first, so the
    // restored copy is what the rewritten references point at.
    fs::rename(pst, home.path() / "original.pst");
    ASSERT_EQ(qob({"restore", backup.string(), "--profile", "WineTarget"}, output), 0) << output;
    ASSERT_TRUE(fs::exists(pst));
    EXPECT_EQ(readAll(pst), data);

    // Wine loads what we wrote without complaint and sees the target's reference to the restored file.
    fs::path exported = home.path() / "target.reg";
    ASSERT_EQ(Env::wine("wine reg export '" + kProfiles + "\\WineTarget' '" + exported.string() + "' /y"), 0)
        << Env::logText();
    Env::stopServer();
    std::string log = Env::logText();
    EXPECT_EQ(log.find("Malformed"), std::string::npos) << log;
    EXPECT_EQ(log.find("Unrecognized"), std::string::npos) << log;
    std::string text = readAll(exported);
    std::string expectedHex =
        hexOf(wide("C:\\users\\" + winUser + "\\AppData\\Local\\Microsoft\\Outlook\\wine mail.pst"));
    std::string exportedAscii;
    for (std::size_t i = 2; i < text.size(); i += 2) {
        exportedAscii += text[i];
    }
    // "wine reg export" wraps hex lines; join them before looking for the path.
    std::string joined;
    for (std::size_t i = 0; i < exportedAscii.size(); ++i) {
        if (exportedAscii[i] == '\\' && i + 1 < exportedAscii.size() && exportedAscii[i + 1] == '\r') {
            i += 2;
            while (i + 1 < exportedAscii.size() && exportedAscii[i + 1] == ' ') {
                ++i;
            }
            continue;
        }
        if (exportedAscii[i] != ',') {
            joined += exportedAscii[i];
        }
    }
    EXPECT_NE(joined.find("\"01020fff\"=hex:" + std::string(108, '0') + expectedHex), std::string::npos)
        << text;
}

// Wine 9 and later make new prefixes report Windows 10, and winecfg does so for older prefixes when
// the user picks it. The program then names the user's folders the older way ("Application Data"),
// which a Wine prefix does not have: the signatures must still be read from and written to AppData.
TEST(WineBackupRestore, APrefixSwitchedToWindows10KeepsUsingAppData) {
    test::TempDir home;
    setenv("QUIRE_HOME", home.path().c_str(), 1);
    const fs::path user = userFolder();
    ASSERT_FALSE(user.empty());
    const fs::path signatures = user / "AppData" / "Roaming" / "Microsoft" / "Signatures";
    fs::create_directories(signatures);
    std::ofstream(signatures / "Wine.htm", std::ios::binary) << "<p>Sent from Wine</p>";
    {
        WinePrefixRegistry registry(Env::prefix);
        RegHandle key = 0;
        ASSERT_EQ(registry.createKey(RegRoot::CurrentUser,
                                     "Software\\Microsoft\\Office\\15.0\\Outlook\\Profiles\\WineLayout\\"
                                     "0a0d020000000000c000000000000046",
                                     key),
                  kRegSuccess);
        ASSERT_EQ(registry.setValue(key, "00036601", kRegBinary, {4, 0, 0, 0}), kRegSuccess);
        registry.closeKey(key);
        ASSERT_EQ(registry.flush(), kRegSuccess) << registry.lastError();
    }

    std::string output;
    auto backupHoldsTheSignature = [&](const std::string& name) {
        const fs::path file = home.path() / name;
        EXPECT_EQ(qob({"backup", "--profile", "WineLayout", "--items", "001000000", file.string()}, output),
                  0)
            << output;
        Archive archive;
        if (!archive.openArchive(file))
            return false;
        for (const ArchiveEntryInfo& entry : archive.entries())
            if (entry.name == "Wine.htm")
                return true;
        return false;
    };
    EXPECT_TRUE(backupHoldsTheSignature("windows7.qob"));

    // The prefix is shared with the other tests: its registry goes back as it was afterwards.
    const fs::path saved = home.path() / "registry";
    fs::create_directories(saved);
    for (const char* file : {"system.reg", "user.reg", "userdef.reg"})
        fs::copy_file(Env::prefix / file, saved / file);
    ASSERT_EQ(Env::wine("wine winecfg -v win10"), 0) << Env::logText();
    Env::stopServer();
    ASSERT_EQ(qob({"sysinfo"}, output), 0) << output;
    EXPECT_NE(output.find("Windows version:  10.0"), std::string::npos) << output;
    EXPECT_TRUE(backupHoldsTheSignature("windows10.qob"));

    // What either backup holds goes back where Outlook reads it.
    for (const char* name : {"windows7.qob", "windows10.qob"}) {
        fs::remove_all(signatures);
        EXPECT_EQ(
            qob({"restore", (home.path() / name).string(), "--profile", "WineLayout", "--items", "001000000"},
                output),
            0)
            << name << ": " << output;
        EXPECT_EQ(readAll(signatures / "Wine.htm"), "<p>Sent from Wine</p>") << name;
        EXPECT_FALSE(fs::exists(user / "Application Data")) << name;
    }

    for (const char* file : {"system.reg", "user.reg", "userdef.reg"})
        fs::copy_file(saved / file, Env::prefix / file, fs::copy_options::overwrite_existing);
}

} // namespace
} // namespace qob
