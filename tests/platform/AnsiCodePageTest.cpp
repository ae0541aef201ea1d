// The target system's ANSI code page and the conversions the Windows-era backups are read with.
#include "platform/AnsiCodePage.h"
#include "MemoryRegistryStore.h"
#include "platform/TextEncoding.h"

#include <gtest/gtest.h>

namespace qob {
namespace {

TEST(AnsiCodePage, IsReadFromTheTargetSystemWithWindows1252ForAnythingUnusable) {
    struct Case {
        const char* key; // "" = no key at all
        std::uint32_t type;
        std::string value;
        std::uint32_t expected;
    };
    const std::vector<Case> cases = {
        {"", kRegSz, "", 1252},
        {"CurrentControlSet", kRegSz, "1251", 1251},
        {"ControlSet001", kRegSz, "932", 932}, // a store that does not follow the link
        {"CurrentControlSet", kRegSz, "1250", 1250},
        {"CurrentControlSet", kRegSz, "65001", 1252}, // UTF-8 is no ANSI page
        {"CurrentControlSet", kRegSz, "12a", 1252},
        {"CurrentControlSet", kRegSz, "99999", 1252}, // no such page
        {"CurrentControlSet", kRegSz, "", 1252},
        {"CurrentControlSet", kRegDword, "1251", 1252},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.key) + " " + c.value);
        test::MemoryRegistryStore store;
        if (*c.key) {
            RegHandle key = 0;
            ASSERT_EQ(store.createKey(RegRoot::LocalMachine,
                                      std::string("System\\") + c.key + "\\Control\\Nls\\CodePage", key),
                      kRegSuccess);
            ASSERT_EQ(
                store.setValue(key, "ACP", c.type, std::vector<std::uint8_t>(c.value.begin(), c.value.end())),
                kRegSuccess);
            store.closeKey(key);
        }
        EXPECT_EQ(targetAnsiCodePage(store), c.expected);
    }
}

TEST(AnsiCodePage, TextGoesBothWaysAndStoredTextPrefersUtf8) {
    using namespace textenc;
    struct Case {
        std::uint32_t page;
        std::string ansi, utf8;
    };
    const std::vector<Case> cases = {
        {1252, "K\xF6ln \x80 \x81", "K\xC3\xB6ln \xE2\x82\xAC \xC2\x81"}, // 0x81 is unassigned: C1
        {1251, "\xCF\xF0\xE8\xE2\xE5\xF2", "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82"},
        {932, "\x93\xFA\x96\x7B", "\xE6\x97\xA5\xE6\x9C\xAC"},
        {1250, "\x8A", "\xC5\xA0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.page);
        EXPECT_TRUE(isKnownCodePage(c.page));
        EXPECT_EQ(ansiToUtf8(c.ansi, c.page), c.utf8);
        EXPECT_EQ(utf8ToAnsi(c.utf8, c.page), c.ansi);
        EXPECT_EQ(storedTextToUtf8(c.ansi, c.page), c.utf8);
        EXPECT_EQ(storedTextToUtf8(c.utf8, c.page), c.utf8); // ours, as written
    }
    // Characters the page has no byte for, text that is not UTF-8, and pages that do not exist.
    EXPECT_FALSE(utf8ToAnsi("\xE6\x97\xA5", 1252));
    EXPECT_FALSE(utf8ToAnsi("\xF0\x9F\x98\x80", 1252));
    EXPECT_FALSE(utf8ToAnsi("K\xF6ln", 1252));
    EXPECT_FALSE(utf8ToAnsi("\xD0\x9F", 99999));
    EXPECT_FALSE(ansiToUtf8("\x81", 932)); // a lead byte without its trail
    EXPECT_FALSE(isKnownCodePage(0));
    EXPECT_FALSE(isKnownCodePage(65001));
    // A double-byte page that does not decode falls back to Windows-1252, never to nothing.
    EXPECT_EQ(storedTextToUtf8("\x81", 932), "\xC2\x81");
    EXPECT_EQ(utf8ToAnsi("", 1251), "");
}

} // namespace
} // namespace qob
