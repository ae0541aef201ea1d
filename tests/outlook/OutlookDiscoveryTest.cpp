#include "outlook/OutlookDiscovery.h"
#include "DemoPlatform.h"

#include <gtest/gtest.h>

namespace qob::test {
namespace {

TEST(OutlookDiscovery, VersionTextMapsThroughTheGenerationTable) {
    struct Case {
        const char* text;
        const char* name;
        const char* version;
    };
    for (Case c :
         {Case{"8.0", "Outlook 97", "8.0"}, Case{"9.0", "Outlook 2000", "9.0"},
          Case{"10.0", "Outlook 2002(XP)", "10.0"}, Case{"11.0", "Outlook 2003", "11.0"},
          Case{"12.0", "Outlook 2007", "12.0"}, Case{"14.0", "Outlook 2010", "14.0"},
          Case{"15.0", "Outlook 2013", "15.0"}, Case{"16.0", "Outlook 2016", "16.0"}, Case{"17.0", "", ""}}) {
        std::string version;
        EXPECT_EQ(outlookNameForVersion(c.text, version), c.name) << c.text;
        EXPECT_EQ(version, c.version) << c.text;
    }
    // An unknown text leaves a version found earlier alone.
    std::string version = "14.0";
    EXPECT_EQ(outlookNameForVersion("17.0", version), "");
    EXPECT_EQ(version, "14.0");
}

TEST(OutlookDiscovery, VersionComesFromTheRegistry) {
    {
        DemoPlatform p;
        AppState state;
        EXPECT_EQ(getOutlookVersion(p.registry, state), "Outlook 2013");
        EXPECT_EQ(state.officeVersion, "15.0");
    }
    {
        MemoryRegistryStore store;
        FakeDialogs dialogs;
        Registry registry(store, dialogs, "t");
        AppState state;
        EXPECT_EQ(getOutlookVersion(registry, state), kNoOutlook);
        EXPECT_EQ(state.officeVersion, "");
        EXPECT_EQ(profilesRootKeyFor(state.officeVersion), kOlderProfilesRootKey);

        // Several generations present: the newest known one wins.
        store.makeKey("HKEY_CURRENT_USER\\Software\\Microsoft\\Office\\11.0\\Outlook");
        store.putString("HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Office\\14.0\\Outlook\\InstallRoot", "Path",
                        "C:\\");
        EXPECT_EQ(getOutlookVersion(registry, state), "Outlook 2010");
        EXPECT_EQ(state.officeVersion, "14.0");
    }
    {
        // Only Outlook's App Paths entry: the folder name tells the generation.
        MemoryRegistryStore store;
        FakeDialogs dialogs;
        Registry registry(store, dialogs, "t");
        store.putString(
            "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\OUTLOOK.EXE", "",
            "C:\\Program Files\\Microsoft Office\\OFFICE12\\OUTLOOK.EXE");
        AppState state;
        EXPECT_EQ(getOutlookVersion(registry, state), "Outlook 2007");
        EXPECT_EQ(state.officeVersion, "12.0");
    }
    {
        // Outlook 2016 to 365: only 16.0 keys (its own, or left beside those of an upgraded 2013),
        // or only its App Paths entry.
        for (int layout = 0; layout < 3; ++layout) {
            MemoryRegistryStore store;
            FakeDialogs dialogs;
            Registry registry(store, dialogs, "t");
            if (layout == 0) {
                store.makeKey("HKEY_CURRENT_USER\\Software\\Microsoft\\Office\\16.0\\Outlook\\Profiles\\A");
            } else if (layout == 1) {
                store.makeKey("HKEY_CURRENT_USER\\Software\\Microsoft\\Office\\15.0\\Outlook");
                store.makeKey("HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Microsoft\\Office\\16.0\\Outlook\\"
                              "InstallRoot");
            } else {
                store.putString("HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App "
                                "Paths\\OUTLOOK.EXE",
                                "Path", "C:\\Program Files\\Microsoft Office\\root\\Office16\\");
            }
            AppState state;
            EXPECT_EQ(getOutlookVersion(registry, state), "Outlook 2016") << layout;
            EXPECT_EQ(state.officeVersion, "16.0") << layout;
            EXPECT_TRUE(isOffice12OrLater(state.officeVersion));
            EXPECT_TRUE(dialogs.messages.empty());
        }
    }
    {
        // A newer, unknown generation: "" and the version stays empty (older profiles root key).
        MemoryRegistryStore store;
        FakeDialogs dialogs;
        Registry registry(store, dialogs, "t");
        store.putString(
            "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\OUTLOOK.EXE", "",
            "C:\\Program Files\\Microsoft Office\\Office17\\OUTLOOK.EXE");
        AppState state;
        EXPECT_EQ(getOutlookVersion(registry, state), "");
        EXPECT_EQ(state.officeVersion, "");
        EXPECT_TRUE(dialogs.messages.empty());
    }
}

TEST(OutlookDiscovery, ProfilesRootKeyByVersion) {
    EXPECT_EQ(profilesRootKeyFor("15.0"),
              "HKEY_CURRENT_USER\\Software\\Microsoft\\Office\\15.0\\Outlook\\Profiles");
    EXPECT_EQ(profilesRootKeyFor("16.0"),
              "HKEY_CURRENT_USER\\Software\\Microsoft\\Office\\16.0\\Outlook\\Profiles");
    EXPECT_EQ(profilesRootKeyFor("14.0"), kOlderProfilesRootKey);
    EXPECT_EQ(profilesRootKeyFor("8.0"), kOlderProfilesRootKey);
}

TEST(OutlookDiscovery, LoadProfilesSkipsBlankNamesAndFlagsNone) {
    DemoPlatform p;
    AppState state;
    state.profilesRootKey = p.demo.profilesRootKey;
    p.store.makeKey(p.demo.profilesRootKey + "\\   ");
    p.store.makeKey(p.demo.profilesRootKey + "\\" + std::string("\0\0", 2));
    loadProfiles(p.registry, state);
    EXPECT_EQ(state.profileList, (std::vector<std::string>{"Outlook", "Second"}));
    EXPECT_FALSE(state.noProfile);

    state.profilesRootKey = p.demo.olderProfilesRootKey;
    loadProfiles(p.registry, state);
    EXPECT_EQ(state.profileList, (std::vector<std::string>{"Legacy"}));

    // Missing root key, and a root holding only blank names.
    state.profilesRootKey = "HKEY_CURRENT_USER\\Software\\Nothing";
    loadProfiles(p.registry, state);
    EXPECT_TRUE(state.profileList.empty());
    EXPECT_TRUE(state.noProfile);
    p.store.makeKey("HKEY_CURRENT_USER\\Software\\Blank\\ ");
    state.profilesRootKey = "HKEY_CURRENT_USER\\Software\\Blank";
    state.noProfile = false;
    loadProfiles(p.registry, state);
    EXPECT_TRUE(state.noProfile);
}

TEST(OutlookDiscovery, StationeryFolderCopesWithSharedFilesDir) {
    MemoryRegistryStore store;
    FakeDialogs dialogs;
    Registry registry(store, dialogs, "t");
    const std::string shared = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Shared Tools";
    // Unreadable: no folder rather than "ErrorStationery".
    EXPECT_EQ(stationeryFolderFor(registry, "15.0", "C:\\users\\me"), "");
    store.putString(shared, "SharedFilesDir", "C:\\Common\\Shared");
    EXPECT_EQ(stationeryFolderFor(registry, "14.0", "C:\\users\\me"), "C:\\Common\\Shared\\Stationery");
    store.putString(shared, "SharedFilesDir", std::string("C:\\Common\\\0junk", 15));
    EXPECT_EQ(stationeryFolderFor(registry, "12.0", "C:\\users\\me"), "C:\\Common\\Stationery");
    EXPECT_EQ(stationeryFolderFor(registry, "16.0", "C:\\users\\me"), "C:\\Common\\Stationery");
    EXPECT_EQ(stationeryFolderFor(registry, "11.0", "C:\\users\\me"),
              "C:\\users\\me\\Application Data\\Microsoft\\Stationery");
}

TEST(OutlookDiscovery, BackupFolderFallsBackToProgramFolder) {
    TempDir dir;
    const auto program = dir / "program";
    std::filesystem::create_directories(dir / "backups");
    EXPECT_EQ(backupFolderFor("", program), program);
    EXPECT_EQ(backupFolderFor("0", program), program);
    EXPECT_EQ(backupFolderFor((dir / "missing").string(), program), program);
    EXPECT_EQ(backupFolderFor((dir / "backups").string(), program), dir / "backups");
    EXPECT_EQ(backupFolderFor((dir / "backups").string() + "/", program), dir / "backups");

    using namespace std::chrono;
    // 2026-03-05 12:00 local time.
    std::tm tm{};
    tm.tm_year = 126;
    tm.tm_mon = 2;
    tm.tm_mday = 5;
    tm.tm_hour = 12;
    tm.tm_isdst = -1;
    auto when = system_clock::from_time_t(std::mktime(&tm));
    EXPECT_EQ(defaultBackupName("Outlook", when), "qarch-Outlook-03-05-2026");
}

} // namespace
} // namespace qob::test
