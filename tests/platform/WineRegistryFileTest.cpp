#include "platform/wine/WineRegistryFile.h"
#include "platform/wine/WineRegistryText.h"

#include "TestPaths.h"

#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

namespace qob::wine {
namespace {

std::string readAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

std::vector<std::uint8_t> utf16z(std::u16string_view s) {
    std::vector<std::uint8_t> out;
    for (char16_t c : s) {
        out.push_back(static_cast<std::uint8_t>(c & 0xff));
        out.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    out.push_back(0);
    out.push_back(0);
    return out;
}

const WineRegistryKey* keyAt(const WineRegistryFile& file, std::initializer_list<std::u16string_view> path) {
    const WineRegistryKey* key = &file.root();
    for (auto name : path) {
        key = key->findSubkey(name);
        if (!key)
            return nullptr;
    }
    return key;
}

TEST(WineRegistryFileTest, FilesWrittenByWineSaveBackToTheSameBytes) {
    for (const char* name :
         {"user.reg", "system.reg", "userdef.reg", "user-api-edgecases.reg", "hand-edit-resaved.reg"}) {
        SCOPED_TRACE(name);
        const std::string original = readAll(test::fixture(name));
        WineRegistryLoadResult result;
        const auto file = WineRegistryFile::parse(original, name, 1, result);
        ASSERT_TRUE(result.ok) << result.error;
        EXPECT_TRUE(result.warnings.empty());
        EXPECT_EQ(file.arch(), "win64");
        EXPECT_EQ(file.serialize(), original);
    }
}

TEST(WineRegistryFileTest, HandEditLoadsAsWineLoadsIt) {
    const std::string input = readAll(test::fixture("hand-edit-input.reg"));
    // The time Wine gave the section without one while it loaded this file.
    const std::uint64_t wineLoadTime = 0x1dd8682777f12e6ull;
    WineRegistryLoadResult result;
    const auto file = WineRegistryFile::parse(input, "user.reg", wineLoadTime, result);
    ASSERT_TRUE(result.ok) << result.error;

    // Same complaints, same lines as the wineserver printed.
    std::istringstream stderrText(readAll(test::fixture("hand-edit-wine-stderr.txt")));
    std::vector<std::string> expected;
    for (std::string line; std::getline(stderrText, line);)
        expected.push_back(line);
    EXPECT_EQ(result.warnings, expected);

    // And the same file when saved, sorted and normalised, times included. (The fixture was cut
    // out of a longer file and so ends in a blank line that Wine wrote before the next section.)
    std::string resaved = readAll(test::fixture("hand-edit-resaved.reg"));
    ASSERT_EQ(resaved.substr(resaved.size() - 2), "\n\n");
    resaved.pop_back();
    EXPECT_EQ(file.serialize(), resaved);

    const auto* edited = keyAt(file, {u"software", u"QUIREHAND", u"edited"});
    ASSERT_NE(edited, nullptr);
    auto value = [&](std::u16string_view name) { return edited->findValue(name); };
    ASSERT_NE(value(u"Esc"), nullptr);
    EXPECT_EQ(value(u"Esc")->data, utf16z(u"a\\b \"q\" caf\u00e9 \u20acA tab\there nl\nend octAB unkq"));
    EXPECT_EQ(value(u"rawutf8")->data, utf16z(u"caf\u00e9 \u00fc \u20ac"));
    EXPECT_EQ(value(u"MultiHex")->type, 7u);
    EXPECT_EQ(value(u"MultiStr")->data, utf16z(std::u16string(u"a\0b\0\0", 5)));
    EXPECT_EQ(value(u"Bin")->data, (std::vector<std::uint8_t>{1, 2, 3, 4, 5}));
    EXPECT_EQ(value(u"Dw")->data, (std::vector<std::uint8_t>{0x2a, 0, 0, 0}));
    EXPECT_EQ(value(u"DwUpper")->data, (std::vector<std::uint8_t>{0xef, 0xbe, 0xad, 0xde}));
    EXPECT_EQ(value(u"Qw")->type, 11u);
    EXPECT_EQ(value(u"NoTerm")->data, (std::vector<std::uint8_t>{0x41, 0, 0x42, 0}));
    EXPECT_EQ(value(u"StrTag")->type, 1u);
    EXPECT_EQ(value(u"Exp")->type, 2u);
    EXPECT_EQ(value(u"")->data, utf16z(u"hand default"));
    EXPECT_EQ(edited->modified, 0x1da1e3e0f5e1c00ull) << "#time wins over the seconds";

    const auto* bad = keyAt(file, {u"Software", u"QuireHand", u"Bad"});
    ASSERT_NE(bad, nullptr);
    EXPECT_EQ(bad->values().size(), 4u) << "the line with the malformed name is dropped";
    ASSERT_NE(bad->findValue(u"badhex"), nullptr);
    EXPECT_EQ(bad->findValue(u"badhex")->type, 0u);
    EXPECT_TRUE(bad->findValue(u"badhex")->data.empty());
    EXPECT_EQ(bad->modified, secondsToFileTime(1700000000));

    EXPECT_NE(keyAt(file, {u"SoftwareQuireHandSingleBackslash"}), nullptr);
    EXPECT_EQ(keyAt(file, {u"Software", u"QuireHand", u"NoTime"})->modified, wineLoadTime);
    const auto* classy = keyAt(file, {u"Software", u"QuireHand", u"Classy"});
    ASSERT_TRUE(classy->className.has_value());
    EXPECT_EQ(*classy->className, std::u16string(u"MyClass\0", 8));
}

TEST(WineRegistryFileTest, RefusesFilesWithAWrongHeaderOrArchitecture) {
    struct Case {
        std::string text;
        std::string errorStart;
    };
    const Case cases[] = {
        {"WINE REGISTRY Version 3\n[A] 1\n", "user.reg:1: not a Wine registry file"},
        {"", "user.reg:1: not a Wine registry file"},
        {"\xff\xfeW\0I\0", "user.reg:1: not a Wine registry file"},
        {"WINE REGISTRY Version 2\n#arch=win65\n[A] 1\n", "user.reg:2: Unknown architecture '#arch=win65'"},
        {"WINE REGISTRY Version 2\n#arch=win32\n#arch=win64\n", "user.reg:3: Mismatched architecture"},
    };
    for (const auto& c : cases) {
        WineRegistryLoadResult result;
        WineRegistryFile::parse(c.text, "user.reg", 1, result);
        EXPECT_FALSE(result.ok);
        EXPECT_EQ(result.error.rfind(c.errorStart, 0), 0u) << result.error;
    }
    WineRegistryLoadResult crlf;
    const auto file = WineRegistryFile::parse(
        "WINE REGISTRY Version 2\r\n#arch=win32\r\n\r\n[A] 5\r\n\"v\"=\"x\"\r\n", "user.reg", 1, crlf);
    EXPECT_TRUE(crlf.ok) << crlf.error;
    EXPECT_EQ(file.arch(), "win32");
    EXPECT_EQ(file.root().findSubkey(u"A")->findValue(u"v")->data, utf16z(u"x"));
}

TEST(WineRegistryFileTest, OddLinesAreReadTheWayTheServerReadsThem) {
    const std::string text = "WINE REGISTRY Version 2\n"
                             "\"early\"=\"x\"\n"                      // 2: value without key
                             "[A\\\\\\\\B\\\\] 7 trailing words\n"    // empty components collapse
                             "\"bad\xff utf8\"=\"caf\xc3\xa9\xc3\"\n" // invalid bytes dropped
                             "[A\\\\C]\n"
                             "#time=zz\n"
                             "@ = dword:123456789\n"
                             "\"t\"=hex():00\n"
                             "\"dup\"=\"1\"\n"
                             "\"DUP\"=\"2\"\n"
                             "[a\\\\b] 9\n"
                             "\"more\"=\"same key, other case\"\n"
                             "[Broken\n"
                             "\"lost\"=\"x\"\n"
                             "[A\\\\B]\n"
                             "\"hexEnd\"=hex:01,\\\n"; // continuation at the end of the file
    WineRegistryLoadResult result;
    const auto file = WineRegistryFile::parse(text, "system.reg", 42, result);
    ASSERT_TRUE(result.ok);
    const std::vector<std::string> expected = {
        "system.reg:2: Value without key '\"early\"=\"x\"'",
        "system.reg:13: Malformed key '[Broken'",
        "system.reg:14: Value without key '\"lost\"=\"x\"'",
        "system.reg:16: Malformed value '\"hexEnd\"=hex:01,\\'",
    };
    EXPECT_EQ(result.warnings, expected);
    const auto* b = keyAt(file, {u"A", u"B"});
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->modified, secondsToFileTime(7));
    EXPECT_EQ(b->findValue(u"bad utf8")->data, utf16z(u"caf\u00e9"));
    EXPECT_EQ(b->findValue(u"hexEnd")->type, 0u);
    EXPECT_TRUE(b->findValue(u"hexEnd")->data.empty());
    EXPECT_NE(b->findValue(u"more"), nullptr) << "a repeated section adds to the same key";
    const auto* c = keyAt(file, {u"a", u"c"});
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->modified, 42u) << "no number and an empty #time: the load time";
    EXPECT_EQ(c->findValue(u"")->data, (std::vector<std::uint8_t>{0x89, 0x67, 0x45, 0x23}));
    EXPECT_EQ(c->findValue(u"t")->type, 0u);
    EXPECT_EQ(c->values().size(), 3u);
    EXPECT_EQ(c->findValue(u"dup")->data, utf16z(u"2"));
    EXPECT_EQ(keyAt(file, {u"A"})->modified, secondsToFileTime(7))
        << "an implied parent takes its first child's time";
}

TEST(WineRegistryFileTest, AHexValueContinuedOnTheLastLinesSavesOnce) {
    // Found by fuzzing: the continuation lines of the file's last value were kept a second time
    // as the trailer, so a save added a stray "  00,02" line after the last section.
    const std::string header = "WINE REGISTRY Version 2\n"
                               ";; All keys relative to \\\\User\\\\S-1-5-21-0-0-0-1000\n";
    const std::string section = "\n[Software\\\\X] " + std::to_string(fileTimeToSeconds(0x1da0000000000000)) +
                                "\n#time=1da0000000000000\n\"001f6700\"=hex:43,00,3a,00,5c,00,";
    for (const std::string& tail : {std::string(), std::string("\n\n")}) {
        SCOPED_TRACE(tail.size());
        WineRegistryLoadResult result;
        const auto file =
            WineRegistryFile::parse(header + section + "\\\n  00,02\n" + tail, "user.reg", 42, result);
        ASSERT_TRUE(result.ok);
        EXPECT_TRUE(result.warnings.empty());
        EXPECT_EQ(keyAt(file, {u"Software", u"X"})->findValue(u"001f6700")->data,
                  (std::vector<std::uint8_t>{0x43, 0, 0x3a, 0, 0x5c, 0, 0, 2}));
        EXPECT_EQ(file.serialize(), header + section + "00,02\n" + tail);
    }
}

TEST(WineRegistryFileTest, WritesWhatTheServerWrites) {
    WineRegistryFile file(std::string(kUserRootPath), "win64", secondsToFileTime(100));
    EXPECT_EQ(file.serialize(), "WINE REGISTRY Version 2\n"
                                ";; All keys relative to REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000\n"
                                "\n#arch=win64\n"
                                "\n[] 100\n#time=19db1df10d94a00\n");
    auto* key = file.root().ensureSubkey(u"K[1]\u00e9");
    key->modified = secondsToFileTime(1);
    auto& s = key->ensureValue(u"s\"q");
    s.type = 1;
    s.data = utf16z(std::u16string(u"\u00e9a\u00e9g\x01"
                                   u"7\x01x\x1b\0",
                                   10));
    auto& odd = key->ensureValue(u"odd");
    odd.type = 1;
    odd.data = {0x41, 0x00, 0x42};
    auto& dw = key->ensureValue(u"dw");
    dw.type = 4;
    dw.data = {1, 2};
    auto& big = key->ensureValue(u"");
    big.type = 0xffff0007u;
    big.data.assign(30, 0xab);
    EXPECT_EQ(file.serialize().substr(file.header().size()),
              "\n[K\\[1\\]\\xe9] 1\n#time=19db1ded5d71680\n"
              "@=hex(ffff0007):ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,\\\n"
              "  ab,ab,ab,ab,ab,ab,ab,ab,ab\n"
              "\"dw\"=hex(4):01,02\n"
              "\"odd\"=hex(1):41,00,42\n"
              "\"s\\\"q\"=\"\\x00e9a\\xe9g\\0017\\1x\\e\\0\"\n");
}

TEST(WineRegistryFileTest, HexBytesAreReadAsTheServerReadsThem) {
    // Each byte is what strtoul(…, 16) reads there: one or two digits, more digits while the value
    // stays below 0x100, a "0x" prefix; a larger number makes the value malformed.
    struct Case {
        std::string data;
        std::vector<std::uint8_t> bytes; // empty: malformed
    };
    const Case cases[] = {
        {"hex:01,ff,A0", {0x01, 0xff, 0xa0}},
        {"hex:1,2f, 3 ,04", {0x01, 0x2f, 0x03, 0x04}},
        {"hex:012,03", {0x12, 0x03}},
        {"hex:0f0", {0xf0}},
        {"hex:0x1f,0X2", {0x1f, 0x02}},
        {"hex:ab cd", {0xab, 0xcd}},
        {"hex:1,\\\n  2", {0x01, 0x02}},
        {"hex:00,\\\n  0ff,\\\n  7", {0x00, 0xff, 0x07}},
        {"hex:100", {}},
        {"hex:00ff", {0xff}},
        {"hex:0100", {}},
        {"hex:0xg", {}},
        {"hex:12,34x", {}},
        // As many bytes as the line has room for: one digit each, every separator.
        {"hex:1,2,3,4,5,6,7,8,9", {1, 2, 3, 4, 5, 6, 7, 8, 9}},
        {"hex:a b c d e f", {10, 11, 12, 13, 14, 15}},
        {"hex:0", {0}},
        {"hex:ab,cd,", {0xab, 0xcd}},
        {"hex:ab,cd,\
1,2,3,4,5,6,7,8,9,a,b",
         {0xab, 0xcd, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}},
        {"hex:ab,\
  cd,  ef ,\
\
 01",
         {0xab, 0xcd, 0xef, 0x01}},
        {"hex:ab,cd,1ff", {}},
    };
    std::vector<Case> all(std::begin(cases), std::end(cases));
    Case longValue{"hex:", {}}; // many lines of two-digit bytes, as Wine writes them
    for (int i = 0; i < 3000; ++i) {
        static const char digits[] = "0123456789abcdef";
        longValue.data += std::string{digits[(i >> 4) & 15], digits[i & 15], ','};
        longValue.data += i % 25 == 24 ? "\\\n  " : "";
        longValue.bytes.push_back(static_cast<std::uint8_t>(i));
    }
    all.push_back(longValue);
    for (const auto& c : all) {
        SCOPED_TRACE(c.data.substr(0, 60));
        WineRegistryLoadResult result;
        const auto file = WineRegistryFile::parse("WINE REGISTRY Version 2\n[K] 1\n\"v\"=" + c.data + "\n",
                                                  "user.reg", 1, result);
        ASSERT_TRUE(result.ok);
        const auto* value = file.root().findSubkey(u"K")->findValue(u"v");
        ASSERT_NE(value, nullptr);
        EXPECT_EQ(value->data, c.bytes);
        EXPECT_EQ(value->type, c.bytes.empty() ? 0u : 3u);
        EXPECT_EQ(result.warnings.size(), c.bytes.empty() ? 1u : 0u);
    }
}

} // namespace
} // namespace qob::wine
