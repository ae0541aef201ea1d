// Account keys hold values of types the registry text had no marker for (lists of strings, 64-bit
// numbers, typeless flags). A backup carries them and a restore gives them back exact, where the
// import used to delete them from the key it replaces.
#include "TestPaths.h"
#include "app/cli/Cli.h"
#include "demo/DemoTargetSystem.h"
#include "platform/wine/WinePrefixRegistry.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

namespace qob {
namespace {

namespace fs = std::filesystem;

struct Odd {
    std::string key; // below the accounts key
    std::string name;
    std::uint32_t type;
    std::vector<std::uint8_t> data;
};

const std::vector<Odd> kOdd = {
    {"", "Account Order", kRegMultiSz, {'0', '2', 0, '0', '5', 0, 0}},
    {"\\00000002", "Last Sync", kRegQword, {0x10, 0x32, 0x54, 0x76, 0x98, 0xBA, 0xDC, 0xFE}},
    {"\\00000002", "Flag", kRegNone, {}},
    {"\\00000002", "Servers \xC3\xA9", kRegMultiSz, {'i', 'm', 'a', 'p', 0, 0xC3, 0xA9, 0, 0}},
    {"\\00000002", "Big endian", kRegDwordBigEndian, {0, 0, 0, 7}},
    {"\\00000002", "Vendor type", 0x20004u, {1, 2, 3}},
};

std::string accountsKeyBelowRoot(const DemoTargetSystem& demo) {
    const std::string hkcu = "HKEY_CURRENT_USER\\";
    return demo.profilesRootKey.substr(hkcu.size()) + "\\Outlook\\9375CFF0413111d3B88A00104B2A6676";
}

TEST(AccountValueTypes, SurviveABackupAndRestoreExact) {
    test::TempDir dir;
    fs::create_directories(dir / "home");
    setenv("QUIRE_HOME", (dir / "home").c_str(), 1);
    const DemoTargetSystem demo = DemoTargetSystem::create(dir / "pfx");
    const std::string accounts = accountsKeyBelowRoot(demo);
    auto write = [&](const std::function<void(WinePrefixRegistry&, const Odd&, RegHandle)>& change) {
        WinePrefixRegistry registry(demo.prefix);
        for (const Odd& o : kOdd) {
            RegHandle key = 0;
            ASSERT_EQ(registry.createKey(RegRoot::CurrentUser, accounts + o.key, key), kRegSuccess);
            change(registry, o, key);
            registry.closeKey(key);
        }
        ASSERT_EQ(registry.flush(), kRegSuccess);
    };
    write([](WinePrefixRegistry& r, const Odd& o, RegHandle key) {
        ASSERT_EQ(r.setValue(key, o.name, o.type, o.data), kRegSuccess);
    });
    std::ostringstream out, err;
    auto qob = [&](std::vector<std::string> args) {
        out.str("");
        err.str("");
        args.insert(args.begin(), {"--prefix", demo.prefix.string()});
        return cli::runCli(args, out, err);
    };
    const fs::path backup = dir / "accounts.qob";
    ASSERT_EQ(qob({"backup", "--profile", "Outlook", "--items", "010000000", backup.string()}), 0)
        << err.str();

    // Since the backup: one value gone, the others changed in type and bytes.
    write([](WinePrefixRegistry& r, const Odd& o, RegHandle key) {
        if (o.type == kRegNone) {
            ASSERT_EQ(r.deleteValue(key, o.name), kRegSuccess);
        } else {
            ASSERT_EQ(r.setValue(key, o.name, kRegBinary, {0xEE}), kRegSuccess);
        }
    });
    ASSERT_EQ(qob({"restore", backup.string(), "--profile", "Outlook", "--items", "010000000"}), 0)
        << out.str() << err.str();

    WinePrefixRegistry registry(demo.prefix);
    for (const Odd& o : kOdd) {
        SCOPED_TRACE(o.name);
        RegHandle key = 0;
        ASSERT_EQ(registry.openKey(RegRoot::CurrentUser, accounts + o.key, false, key), kRegSuccess);
        RegValue value;
        ASSERT_EQ(registry.queryValue(key, o.name, value), kRegSuccess);
        EXPECT_EQ(value.type, o.type);
        EXPECT_EQ(value.data, o.data);
        registry.closeKey(key);
    }
    // The account the demo made is still whole beside them.
    RegHandle key = 0;
    ASSERT_EQ(registry.openKey(RegRoot::CurrentUser, accounts + "\\00000002", false, key), kRegSuccess);
    RegValue port;
    EXPECT_EQ(registry.queryValue(key, "IMAP Port", port), kRegSuccess);
    EXPECT_EQ(port.data, (std::vector<std::uint8_t>{0xE1, 0x03, 0, 0}));
    registry.closeKey(key);
    unsetenv("QUIRE_HOME");
}

} // namespace
} // namespace qob
