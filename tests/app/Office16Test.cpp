// Outlook 2016, 2019, 2021 and Microsoft 365 all keep Office 16.0's keys with the 2013 layout: a
// prefix holding only those must work like a 2013 one, and backups must travel between the
// generations in both directions.
#include "TestPaths.h"
#include "app/cli/Cli.h"
#include "backup/EarlierBackup.h"
#include "demo/DemoTargetSystem.h"
#include "platform/wine/WinePrefixRegistry.h"
#include "registry/Registry.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

namespace qob {
namespace {

namespace fs = std::filesystem;

std::string optionsKeyOf(const std::string& office) {
    return "HKEY_CURRENT_USER\\Software\\Microsoft\\Office\\" + office + "\\Outlook\\Options\\Mail";
}

struct Machines {
    test::TempDir dir;
    std::ostringstream out, err;
    Machines() {
        fs::create_directories(dir / "home");
        ::setenv("QUIRE_HOME", (dir / "home").c_str(), 1);
    }
    ~Machines() { ::unsetenv("QUIRE_HOME"); }
    fs::path make(const std::string& name, const std::string& office) {
        const fs::path prefix = dir / name;
        EXPECT_EQ(qob(prefix, {"demo-prefix", "--office", office, prefix.string()}), 0) << err.str();
        return prefix;
    }
    int qob(const fs::path& prefix, std::vector<std::string> args) {
        out.str("");
        err.str("");
        args.insert(args.begin(), {"--prefix", prefix.string()});
        return cli::runCli(args, out, err);
    }
    // Reads (or, with `value`, writes) the options value that marks whose options a profile has.
    static std::string marker(const fs::path& prefix, const std::string& office,
                              const char* value = nullptr) {
        WinePrefixRegistry store(prefix);
        SilentDialogs dialogs;
        Registry registry(store, dialogs, "t");
        if (value) {
            EXPECT_EQ(registry.setStringValue(optionsKeyOf(office), "QuireMarker", value), kRegSuccess);
            EXPECT_EQ(store.flush(), kRegSuccess);
        }
        return registry.getStringValue(optionsKeyOf(office), "QuireMarker");
    }
};

TEST(Office16, APrefixWithOnlyOffice16KeysIsOutlook2016Everywhere) {
    Machines m;
    const fs::path p16 = m.make("p16", "16.0");

    ASSERT_EQ(m.qob(p16, {"sysinfo"}), 0) << m.err.str();
    EXPECT_NE(m.out.str().find("Outlook:          Outlook 2016 (Office 16.0)\n"), std::string::npos)
        << m.out.str();
    EXPECT_NE(
        m.out.str().find("reg query HKEY_CURRENT_USER\\Software\\Microsoft\\Office\\16.0\\Outlook\\Profiles\n"
                         "\\Outlook\n\\Second\n"),
        std::string::npos)
        << m.out.str();
    ASSERT_EQ(m.qob(p16, {"profiles"}), 0) << m.err.str();
    EXPECT_EQ(m.out.str(), "Outlook\nSecond\n");

    // Without --items: every item the profile has, the options of 16.0 among them; a whole backup.
    const fs::path backup = m.dir / "b16.qob";
    ASSERT_EQ(m.qob(p16, {"backup", "--profile", "Outlook", backup.string()}), 0)
        << m.out.str() << m.err.str();
    const auto info =
        storedInfoValues(backup, "", m.dir.path(), {"Outlookversion", "BackupItem", "BackupConfigsetting"});
    ASSERT_TRUE(info);
    EXPECT_EQ(info->at("Outlookversion"), "Outlook 2016");
    EXPECT_EQ(info->at("BackupItem"), "11111101111"); // no address book: 16.0 has none
    EXPECT_FALSE(info->at("BackupConfigsetting").empty());
    ASSERT_EQ(m.qob(p16, {"info", backup.string()}), 0) << m.err.str();
    EXPECT_NE(m.out.str().find("Outlook 2016"), std::string::npos) << m.out.str();
}

TEST(Office16, BackupsTravelBetween2010Or2013And2016BothWays) {
    Machines m;
    const fs::path p16 = m.make("p16", "16.0");
    for (const std::string older : {"15.0", "14.0"}) {
        SCOPED_TRACE("Office " + older);
        const fs::path pOld = m.make("p" + older, older);
        // Outlook 2010 keeps its profiles beside the older ones; its main profile is "Outlook" too.
        Machines::marker(pOld, older, ("from " + older).c_str());
        Machines::marker(p16, "16.0", "from 16.0");

        // Older → 2016: the profile, accounts and data files go into the 16.0 profile, the
        // options into the 16.0 options key.
        const fs::path fromOld = m.dir / ("from" + older + ".qob");
        ASSERT_EQ(m.qob(pOld, {"backup", "--profile", "Outlook", "--items", "110001000", fromOld.string()}),
                  0)
            << m.out.str() << m.err.str();
        ASSERT_EQ(m.qob(p16, {"restore", fromOld.string(), "--profile", "Second", "--items", "110001000"}), 0)
            << m.out.str() << m.err.str();
        EXPECT_NE(m.out.str().find("The Restore was Completed!"), std::string::npos) << m.out.str();
        EXPECT_EQ(Machines::marker(p16, "16.0"), "from " + older);
        ASSERT_EQ(m.qob(p16, {"profiles", "--verbose"}), 0) << m.err.str();
        const std::string listing = m.out.str();
        const std::size_t second = listing.find("\nSecond\n");
        ASSERT_NE(second, std::string::npos) << listing;
        EXPECT_NE(listing.find("Archiv \xC3\x9C"
                               "bersicht.pst",
                               second),
                  std::string::npos)
            << listing;
        EXPECT_EQ(listing.find("(missing)", second), std::string::npos) << listing;

        // 2016 → older: the same the other way.
        Machines::marker(p16, "16.0", "from 16.0");
        const fs::path from16 = m.dir / ("from16to" + older + ".qob");
        ASSERT_EQ(m.qob(p16, {"backup", "--profile", "Outlook", "--items", "110001000", from16.string()}), 0)
            << m.out.str() << m.err.str();
        ASSERT_EQ(m.qob(pOld, {"restore", from16.string(), "--profile", "Second", "--items", "110001000"}), 0)
            << m.out.str() << m.err.str();
        EXPECT_EQ(Machines::marker(pOld, older), "from 16.0");
        EXPECT_EQ(Machines::marker(p16, "16.0"), "from 16.0");
    }
}

} // namespace
} // namespace qob
