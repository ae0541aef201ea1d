#include "DemoPlatform.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

namespace qob::test {
namespace {

std::vector<std::uint8_t> binaryValue(MemoryRegistryStore& store, Registry& registry, std::string keyPath,
                                      const std::string& name) {
    RegRoot root = registry.parseKeyPath(keyPath);
    RegHandle h = 0;
    if (store.openKey(root, keyPath, false, h) != kRegSuccess) {
        return {};
    }
    RegValue v;
    RegResult r = store.queryValue(h, name, v);
    store.closeKey(h);
    EXPECT_EQ(r, kRegSuccess) << keyPath << " " << name;
    EXPECT_EQ(v.type, kRegBinary);
    return v.data;
}

std::vector<std::uint8_t> utf16(const std::u16string& s) {
    std::vector<std::uint8_t> out;
    for (char16_t c : s) {
        out.push_back(static_cast<std::uint8_t>(c & 0xFF));
        out.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    return out;
}

TEST(DemoTargetSystem, LaysOutPrefixFilesAndLinks) {
    DemoPlatform p;
    const DemoTargetSystem& d = p.demo;
    const auto prefix = d.prefix;
    for (const char* reg : {"user.reg", "system.reg", "userdef.reg"}) {
        std::ifstream in(prefix / reg);
        std::string first;
        std::getline(in, first);
        EXPECT_EQ(first, "WINE REGISTRY Version 2") << reg;
    }
    EXPECT_EQ(std::filesystem::read_symlink(prefix / "dosdevices" / "c:"), "../drive_c");
    EXPECT_EQ(std::filesystem::read_symlink(prefix / "dosdevices" / "z:"), "/");
    EXPECT_TRUE(std::filesystem::is_directory(prefix / "dosdevices" / "c:" / "users" / "quire" / "AppData"));

    ASSERT_EQ(d.storesOf("Outlook").size(), 3u);
    ASSERT_EQ(d.storesOf("Second").size(), 1u);
    ASSERT_EQ(d.storesOf("Legacy").size(), 1u);
    for (const DemoStore& s : d.stores) {
        EXPECT_EQ(std::filesystem::file_size(d.hostPath(s.targetPath)), s.size) << s.targetPath;
    }
    EXPECT_EQ(std::filesystem::file_size(d.hostPath(d.largeFile)), 300u * 1024u);
    // One store outside the local data folder, with a non-ASCII name.
    const std::string archive = d.storesOf("Outlook")[1].targetPath;
    EXPECT_EQ(archive.rfind(d.localDataFolder, 0), std::string::npos);
    EXPECT_NE(archive.find("Archiv \xC3\x9C"
                           "bersicht.pst"),
              std::string::npos);
    EXPECT_TRUE(std::filesystem::exists(d.hostPath(d.rulesFile)));
    EXPECT_TRUE(std::filesystem::exists(d.hostPath(d.addressBook)));
    EXPECT_TRUE(std::filesystem::exists(d.hostPath(d.stationeryFolder + "\\Ribbon.htm")));
    EXPECT_TRUE(std::filesystem::is_directory(d.hostPath(d.signaturesFolder + "\\Work_files")));
}

TEST(DemoTargetSystem, StoresReferencesAsOutlookDoes) {
    DemoPlatform p;
    const DemoTargetSystem& d = p.demo;

    // Wide store: 54-byte header, then the UTF-16LE path and a terminating NUL character.
    const DemoStore archive = d.storesOf("Outlook")[1];
    auto entry = binaryValue(p.store, p.registry, archive.serviceKey, "01020fff");
    std::u16string path16 = u"C:\\users\\quire\\Documents\\Outlook Files\\Archiv \u00DCbersicht.pst";
    auto expected = utf16(path16);
    ASSERT_EQ(entry.size(), 54 + expected.size() + 2);
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), entry.begin() + 54));
    EXPECT_EQ(entry[entry.size() - 1], 0);
    EXPECT_EQ(entry[entry.size() - 2], 0);
    auto pstPath = binaryValue(p.store, p.registry, archive.serviceKey, "001f6700");
    EXPECT_EQ(pstPath.size(), 520u);
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), pstPath.begin()));

    // Single-byte store of the older profile: the path starts at byte 53, where the Unicode form
    // keeps the NUL of an empty single-byte path.
    EXPECT_EQ(entry[53], 0);
    const DemoStore legacy = d.storesOf("Legacy")[0];
    EXPECT_FALSE(legacy.wide);
    auto old = binaryValue(p.store, p.registry, legacy.serviceKey, "01020fff");
    ASSERT_EQ(old.size(), 53 + legacy.targetPath.size() + 1);
    EXPECT_EQ(std::string(old.begin() + 53, old.end() - 1), legacy.targetPath);
    EXPECT_EQ(std::string(old.begin() + 22, old.begin() + 31), "mspst.dll");
    auto ansiPath = binaryValue(p.store, p.registry, legacy.serviceKey, "001e6700");
    EXPECT_EQ(std::string(ansiPath.begin(), ansiPath.end() - 1), legacy.targetPath);

    // Each store's entry ID differs (its own UID), so references can be told apart.
    auto first = binaryValue(p.store, p.registry, d.stores[0].serviceKey, "01020fff");
    EXPECT_NE(std::vector<std::uint8_t>(first.begin(), first.begin() + 54),
              std::vector<std::uint8_t>(entry.begin(), entry.begin() + 54));

    EXPECT_EQ(p.registry.getStringValue(d.profilesRootKey + "\\Outlook\\6c2fa05dbe714badf8f6071829304b56",
                                        "001e6600"),
              d.addressBook);
    EXPECT_TRUE(
        p.registry.keyExists(d.profilesRootKey + "\\Second\\9375CFF0413111d3B88A00104B2A6676\\00000005"));
    EXPECT_EQ(p.registry.getStringValue("HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion",
                                        "CurrentVersion"),
              "6.1");
    EXPECT_GE(p.store.flushCount, 1);
}

TEST(DemoTargetSystem, RegistryWriteRefusedIsReported) {
    DemoPlatform p(false);
    p.store.refuseWrites = true;
    EXPECT_THROW(p.demo.writeRegistry(p.store), std::runtime_error);
}

} // namespace
} // namespace qob::test

#include "forms/MainForm.h"
#include "platform/wine/WinePrefixRegistry.h"
#include "platform/wine/WineSystemServices.h"
#include "platform/wine/WineTargetFileSystem.h"

namespace qob::test {
namespace {

// The demo saved as real registry files, read back through the Wine backends, gives the main form
// what it found in memory.
TEST(DemoTargetSystem, CreatedPrefixLoadsThroughWineBackends) {
    TempDir dir;
    DemoTargetSystem demo = DemoTargetSystem::create(dir / "prefix");
    WinePrefixRegistry store(demo.prefix);
    ASSERT_TRUE(store.loadErrors().empty());
    EXPECT_TRUE(store.loadWarnings().empty());
    FakeDialogs dialogs;
    Registry registry(store, dialogs, kApplicationTitle);
    WineTargetFileSystem files(demo.prefix);
    WineSystemServices system(demo.prefix, store);
    std::filesystem::create_directories(dir / "program");
    TargetContext platform{{store, files, system, dialogs, dir / "program", demo.prefix}, registry};
    MainForm form(platform);
    ASSERT_TRUE(form.formLoad());
    EXPECT_EQ(form.state().officeVersion, "15.0");
    EXPECT_EQ(form.state().computerName, demo.computerName);
    EXPECT_EQ(form.state().windowsVersion, "6.1");
    EXPECT_EQ(form.state().userProfileFolder, demo.userProfileFolder);
    EXPECT_EQ(form.cbSource.items, demo.profiles);
    EXPECT_EQ(form.state().signaturesFolder, demo.signaturesFolder);
    for (std::size_t i : {0u, 1u, 2u, 3u, 5u, 6u, 7u, 8u}) {
        EXPECT_TRUE(form.backupItem[i].enabled) << i;
    }
    EXPECT_TRUE(files.fileExists(demo.storesOf("Outlook")[1].targetPath));
    EXPECT_TRUE(dialogs.messages.empty());
}

} // namespace
} // namespace qob::test
