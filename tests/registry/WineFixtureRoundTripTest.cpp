#include "RegistryFixture.h"
#include "platform/wine/WineRegistryFile.h"
#include "platform/wine/WineRegistryText.h"

namespace qob::test {
namespace {

bool isStringType(std::uint32_t type) {
    return type == kRegSz || type == kRegExpandSz || type == kRegMultiSz;
}

// Copies a loaded Wine hive into the in-memory store as the "A" registry functions would show it:
// names and strings as UTF-8, strings with one terminating NUL.
void copyTree(const wine::WineRegistryKey& key, const std::string& keyPath, MemoryRegistryStore& store) {
    store.makeKey(keyPath);
    for (const wine::WineRegistryValue& value : key.values()) {
        std::vector<std::uint8_t> data = value.data;
        if (isStringType(value.type)) {
            std::u16string units;
            for (std::size_t i = 0; i + 1 < value.data.size(); i += 2) {
                units += static_cast<char16_t>(value.data[i] | (value.data[i + 1] << 8));
            }
            if (!units.empty() && units.back() == u'\0') {
                units.pop_back();
            }
            std::string text = wine::toUtf8(units);
            data.assign(text.begin(), text.end());
        }
        store.put(keyPath, wine::toUtf8(value.name), value.type, data);
    }
    for (const auto& child : key.subkeys()) {
        copyTree(*child, keyPath + "\\" + wine::toUtf8(child->name()), store);
    }
}

class WineFixtureRoundTrip : public RegistryFixture {};

TEST_F(WineFixtureRoundTrip, RealUserRegSurvivesExportAndImport) {
    wine::WineRegistryLoadResult loaded;
    wine::WineRegistryFile hive = wine::WineRegistryFile::load(fixture("user.reg"), 0, loaded);
    ASSERT_TRUE(loaded.ok) << loaded.error;
    copyTree(hive.root(), "HKEY_CURRENT_USER", store);
    const std::string profile =
        "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows Messaging Subsystem\\"
        "Profiles\\Outlook\\abc123";
    ASSERT_TRUE(reg.keyExists(profile));

    const std::string original = exportText("HKEY_CURRENT_USER\\Software");
    ASSERT_NE(original.find("\\Microsoft\\Windows NT\\CurrentVersion"), std::string::npos);

    // Into another root, then back over the original: every carried line is the same.
    ASSERT_TRUE(reg.importKey("HKEY_USERS\\Copy", dir / "out.txt").ok);
    EXPECT_EQ(exportText("HKEY_USERS\\Copy"), original);
    reg.exportKey("HKEY_USERS\\Copy", "", dir / "copy.txt");
    Status s = reg.importKey("HKEY_CURRENT_USER\\Software", dir / "copy.txt");
    ASSERT_TRUE(s.ok) << s.message;
    EXPECT_EQ(exportText("HKEY_CURRENT_USER\\Software"), original);
    EXPECT_EQ(store.openHandles(), 0);
    EXPECT_TRUE(dialogs.messages.empty());
}

} // namespace
} // namespace qob::test
