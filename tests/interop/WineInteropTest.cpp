// Our registry backend against the real Wine: what we write, Wine reads; what Wine writes, we read.
// One prefix is booted for the whole run. Every Wine command's output goes to a log file, never to
// a pipe: Wine's service processes keep inherited pipes open and would hang ctest.
#include "TestPaths.h"
#include "WinePrefixEnvironment.h"
#include "platform/wine/WinePrefixRegistry.h"
#include "platform/wine/WineRegistryText.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>

namespace qob {
namespace {

namespace fs = std::filesystem;

using Env = WinePrefixEnvironment;

std::vector<std::uint8_t> bytes(const std::string& s) {
    return {s.begin(), s.end()};
}
std::vector<std::uint8_t> withNul(const std::string& s) {
    auto b = bytes(s);
    b.push_back(0);
    return b;
}

// Values of one key in the UTF-16 text `wine reg export` writes, by name: the text after "=".
std::map<std::string, std::string> readRegeditExport(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::string raw((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::u16string units;
    for (std::size_t i = 2; i + 1 < raw.size(); i += 2) { // skip the BOM
        units.push_back(static_cast<char16_t>(static_cast<unsigned char>(raw[i]) |
                                              (static_cast<unsigned char>(raw[i + 1]) << 8)));
    }
    std::string text = wine::toUtf8(units);
    // Join continuation lines of hex data.
    std::string joined;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 2 < text.size() && text[i + 1] == '\r' && text[i + 2] == '\n') {
            i += 2;
            while (i + 1 < text.size() && text[i + 1] == ' ') {
                ++i;
            }
            continue;
        }
        joined.push_back(text[i]);
    }
    std::map<std::string, std::string> values;
    std::istringstream lines(joined);
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (line.size() > 1 && line[0] == '"') {
            auto end = line.find("\"=");
            values[line.substr(1, end - 1)] = line.substr(end + 2);
        } else if (line.rfind("@=", 0) == 0) {
            values[""] = line.substr(2);
        }
    }
    return values;
}

TEST(WineInterop, WineReadsWhatWeWrite) {
    std::vector<std::uint8_t> big(300);
    for (std::size_t i = 0; i < big.size(); ++i) {
        big[i] = static_cast<std::uint8_t>(i * 7);
    }
    {
        WinePrefixRegistry reg(Env::prefix);
        ASSERT_FALSE(reg.serverRunning());
        RegHandle key = 0;
        ASSERT_EQ(reg.createKey(RegRoot::CurrentUser, "Software\\QobInterop\\Ours", key), kRegSuccess);
        EXPECT_EQ(reg.setValue(key, "Plain", kRegSz, bytes("Inbox")), kRegSuccess);
        EXPECT_EQ(reg.setValue(key, "Accents", kRegSz, bytes("café ü € 中文")), kRegSuccess);
        EXPECT_EQ(reg.setValue(key, "Quote\"Back\\slash", kRegSz, bytes("a\"b\\c")), kRegSuccess);
        EXPECT_EQ(reg.setValue(key, "Empty", kRegSz, {}), kRegSuccess);
        EXPECT_EQ(reg.setValue(key, "Expand", kRegExpandSz, bytes("%USERPROFILE%\\x")), kRegSuccess);
        EXPECT_EQ(reg.setValue(key, "Bin", kRegBinary, {0x00, 0x01, 0x7f, 0x80, 0xff}), kRegSuccess);
        EXPECT_EQ(reg.setValue(key, "BigBin", kRegBinary, big), kRegSuccess);
        EXPECT_EQ(reg.setValue(key, "Dword", kRegDword, {0xff, 0xff, 0xff, 0xff}), kRegSuccess);
        EXPECT_EQ(reg.setValue(key, "Multi", kRegMultiSz, bytes(std::string("a\0b\0\0", 5))), kRegSuccess);
        EXPECT_EQ(reg.setValue(key, "", kRegSz, bytes("default")), kRegSuccess);
        reg.closeKey(key);
        ASSERT_EQ(reg.flush(), kRegSuccess) << reg.lastError();
    }

    fs::path out = Env::prefix.parent_path() / "ours.reg";
    ASSERT_EQ(Env::wine("wine reg export 'HKCU\\Software\\QobInterop\\Ours' '" + out.string() + "' /y"), 0)
        << Env::logText();
    Env::stopServer();
    std::string log = Env::logText();
    EXPECT_EQ(log.find("Malformed"), std::string::npos) << log;
    EXPECT_EQ(log.find("Unrecognized"), std::string::npos) << log;

    auto values = readRegeditExport(out);
    EXPECT_EQ(values["Plain"], "\"Inbox\"");
    EXPECT_EQ(values["Accents"], "\"café ü € 中文\"");
    EXPECT_EQ(values["Quote\\\"Back\\\\slash"], "\"a\\\"b\\\\c\"");
    EXPECT_EQ(values["Empty"], "\"\"");
    EXPECT_EQ(values["Expand"],
              "hex(2):25,00,55,00,53,00,45,00,52,00,50,00,52,00,4f,00,46,00,49,00,4c,00,45,00,"
              "25,00,5c,00,78,00,00,00");
    EXPECT_EQ(values["Bin"], "hex:00,01,7f,80,ff");
    std::string bigHex = "hex:";
    for (std::size_t i = 0; i < big.size(); ++i) {
        char buf[4];
        std::snprintf(buf, sizeof buf, "%02x", big[i]);
        bigHex += (i ? "," : "") + std::string(buf);
    }
    EXPECT_EQ(values["BigBin"], bigHex);
    EXPECT_EQ(values["Dword"], "dword:ffffffff");
    EXPECT_EQ(values["Multi"], "hex(7):61,00,00,00,62,00,00,00,00,00");
    EXPECT_EQ(values[""], "\"default\"");
}

TEST(WineInterop, WeReadWhatWineWrites) {
    const std::string key = "'HKCU\\Software\\QobInterop\\Theirs'";
    Env::startServer();
    ASSERT_EQ(Env::wine("wine reg add " + key + " /v Plain /t REG_SZ /d 'Inbox' /f"), 0) << Env::logText();
    ASSERT_EQ(Env::wine("wine reg add " + key + " /v Accents /t REG_SZ /d 'café ü € 中文' /f"), 0);
    ASSERT_EQ(Env::wine("wine reg add " + key + " /v Expand /t REG_EXPAND_SZ /d '%TEMP%\\x' /f"), 0);
    ASSERT_EQ(Env::wine("wine reg add " + key + " /v Bin /t REG_BINARY /d 00017f80ff /f"), 0);
    ASSERT_EQ(Env::wine("wine reg add " + key + " /v Dword /t REG_DWORD /d 4294967295 /f"), 0);
    ASSERT_EQ(Env::wine("wine reg add " + key + " /v Multi /t REG_MULTI_SZ /d 'a\\0b' /f"), 0);
    ASSERT_EQ(Env::wine("wine reg add " + key + " /ve /d 'default' /f"), 0);

    {
        // While Wine's server runs, it owns the files: we must refuse to write and touch nothing.
        WinePrefixRegistry reg(Env::prefix);
        ASSERT_TRUE(reg.serverRunning());
        auto before = fs::last_write_time(Env::prefix / "user.reg");
        RegHandle h = 0;
        RegResult rc = reg.createKey(RegRoot::CurrentUser, "Software\\QobInterop\\Refused", h);
        if (rc == kRegSuccess) {
            EXPECT_EQ(reg.setValue(h, "x", kRegSz, bytes("y")), kRegAccessDenied);
        } else {
            EXPECT_EQ(rc, kRegAccessDenied);
        }
        EXPECT_NE(reg.flush(), kRegSuccess);
        EXPECT_EQ(fs::last_write_time(Env::prefix / "user.reg"), before);
    }
    Env::stopServer();

    WinePrefixRegistry reg(Env::prefix);
    ASSERT_FALSE(reg.serverRunning());
    RegHandle h = 0;
    ASSERT_EQ(reg.openKey(RegRoot::CurrentUser, "software\\qobinterop\\THEIRS", false, h), kRegSuccess);
    auto read = [&](const std::string& name) {
        RegValue v;
        EXPECT_EQ(reg.queryValue(h, name, v), kRegSuccess) << name;
        return v;
    };
    RegValue v = read("Plain");
    EXPECT_EQ(v.type, kRegSz);
    EXPECT_EQ(v.data, withNul("Inbox"));
    v = read("Accents");
    EXPECT_EQ(v.data, withNul("café ü € 中文"));
    v = read("Expand");
    EXPECT_EQ(v.type, kRegExpandSz);
    EXPECT_EQ(v.data, withNul("%TEMP%\\x"));
    v = read("Bin");
    EXPECT_EQ(v.type, kRegBinary);
    EXPECT_EQ(v.data, (std::vector<std::uint8_t>{0x00, 0x01, 0x7f, 0x80, 0xff}));
    v = read("Dword");
    EXPECT_EQ(v.type, kRegDword);
    EXPECT_EQ(v.data, (std::vector<std::uint8_t>{0xff, 0xff, 0xff, 0xff}));
    v = read("Multi");
    EXPECT_EQ(v.type, kRegMultiSz);
    EXPECT_EQ(v.data.size(), 5u); // "a\0b\0" plus the one terminating NUL the store counts
    v = read("");
    EXPECT_EQ(v.data, withNul("default"));
}

} // namespace
} // namespace qob

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new qob::WinePrefixEnvironment);
    return RUN_ALL_TESTS();
}
