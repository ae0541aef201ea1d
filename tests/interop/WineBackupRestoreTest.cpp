// A whole backup and restore on a prefix booted by Wine, with a profile that Wine's own `reg add`
// wrote, checked afterwards through Wine itself.
#include "WinePrefixEnvironment.h"
#include "app/cli/Cli.h"

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

} // namespace
} // namespace qob
