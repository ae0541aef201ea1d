#include "RegistryFixture.h"

namespace qob::test {
namespace {

class RegistryImport : public RegistryFixture {
protected:
    void fillSample(const std::string& top) {
        store.putString(top, "", "default");
        store.putString(top, "Name", "Inbox \xC3\xA9t\xC3\xA9");
        store.putString(top, "Empty", "");
        store.putString(top, "Path", "%TEMP%\\x", kRegExpandSz);
        store.putDword(top, "Neg", 0xFFFFFFFFu);
        store.put(top, "Data", kRegBinary, {1, 2, 255});
        store.put(top, "NoData", kRegBinary, {});
        store.putString(top + "\\Sub\\Deeper", "v", "deep");
        store.makeKey(top + "\\Lonely");
    }
};

TEST_F(RegistryImport, RoundTripIntoSameAndOtherPath) {
    fillSample(kTop);
    store.put(kTop, "Multi", kRegMultiSz, {'a', 0, 0}); // carried by a line of our own marker
    const std::string expected = store.dump(kTop);
    reg.exportKey(kTop, "", dir / "tree.txt");
    store.putString(kTop + "\\NotInFile", "x", "y");

    ASSERT_TRUE(reg.importKey(kTop, dir / "tree.txt").ok);
    EXPECT_EQ(store.dump(kTop), expected);

    const std::string other = "HKEY_LOCAL_MACHINE\\Elsewhere\\Copy";
    ASSERT_TRUE(reg.importKey(other, dir / "tree.txt").ok);
    EXPECT_EQ(store.dump(other), expected);
    EXPECT_EQ(store.openHandles(), 0);
    EXPECT_GE(store.flushCount, 2);
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(RegistryImport, LinesAndTheirValues) {
    store.putString(kTop + "\\Old", "gone", "x");
    Status s = importText(kTop, "\"before\"= sz:ignored\r\n"
                                "\\\r\n"
                                "\"\"= sz:the default\r\n"
                                "\"n\"= dw:-1\r\n"
                                "\"min\"= dw:-2147483648\r\n"
                                "\"b0\"=bin:\r\n"
                                "\"b3\"=bin: 1 ,2,255\r\n"
                                "\"q\"=qwd:1\r\n"
                                "\"s\"= sz:a=b \"c\"\r\n"
                                "\\A\\B\r\n"
                                "\"deep\"=esz:%X%\n" // LF alone is accepted too
                                "\\A\\B\r\n"         // repeated key line: harmless
                                "\"deep2\"= sz:\r\n");
    ASSERT_TRUE(s.ok) << s.message;
    EXPECT_EQ(store.dump(kTop), "[]\n"
                                "  \"\" type 1: 116 104 101 32 100 101 102 97 117 108 116 0\n"
                                "  \"b0\" type 3:\n"
                                "  \"b3\" type 3: 1 2 255\n"
                                "  \"min\" type 4: 0 0 0 128\n"
                                "  \"n\" type 4: 255 255 255 255\n"
                                "  \"s\" type 1: 97 61 98 32 34 99 34 0\n"
                                "[\\A]\n"
                                "[\\A\\B]\n"
                                "  \"deep\" type 2: 37 88 37 0\n"
                                "  \"deep2\" type 1: 0\n");

    ASSERT_TRUE(importText(kTop, "\\\r\n").ok);
    EXPECT_TRUE(store.exists(kTop));
    EXPECT_EQ(store.dump(kTop), "[]\n");
}

TEST_F(RegistryImport, NamesHoldingEqualsSignsComeBack) {
    store.putString(kTop, "a=b", "1");
    store.putString(kTop, "=lead", "2");
    store.putString(kTop, "q\"=x", "3");
    store.putDword(kTop, "plain", 4);
    reg.exportKey(kTop, "", dir / "tree.txt");
    const std::string before = store.dump(kTop);
    ASSERT_TRUE(reg.importKey("HKEY_USERS\\Copy", dir / "tree.txt").ok);
    EXPECT_EQ(store.dump("HKEY_USERS\\Copy"), before);
}

TEST_F(RegistryImport, MalformedFilesChangeNothingAndNameTheLine) {
    fillSample(kTop);
    const std::string before = store.dump("HKEY_CURRENT_USER");
    const int flushes = store.flushCount;
    struct Case {
        const char* text;
        const char* lineAndWhat;
    };
    const Case cases[] = {
        {"\\\r\n\"a\"= sz:x\r\nno equals sign\r\n", "line 3: the line is neither"},
        {"\\\r\n=x\r\n", "line 2: a value line must start"},
        {"\\\r\n\"=x\r\n", "line 2: a value line must start"},
        {"\\\r\n\"d\"= dw:12x\r\n", "line 2: the \"dw\" value \"d\" holds \"12x\""},
        {"\\\r\n\"d\"= dw:2147483648\r\n", "line 2: the \"dw\" value"},
        {"\\\r\n\"d\"= dw:\r\n", "line 2: the \"dw\" value"},
        {"\\\r\n\"b\"=bin:1,256\r\n", "line 2: the \"bin\" value \"b\" holds \"256\""},
        {"\\\r\n\"b\"=bin:1,,2\r\n", "line 2: the \"bin\" value"},
        {"\\\r\n\"b\"=bin:-1\r\n", "line 2: the \"bin\" value"},
        {"\\\r\n\\A\\\r\n", "line 2: the key line \"\\A\\\" has an empty key name"},
        {"\\\r\n\\A\\\\B\r\n", "line 2: the key line"},
        {"\\\r\n\r\n\\A\r\n", "line 2:"},
        {"", "holds no registry key"},
        {"\"v\"= sz:x\r\n", "holds no registry key"},
    };
    for (const Case& c : cases) {
        Status s = importText(kTop, c.text);
        EXPECT_FALSE(s.ok) << c.text;
        EXPECT_NE(s.message.find(c.lineAndWhat), std::string::npos) << s.message;
        EXPECT_NE(s.message.find((dir / "in.txt").string()), std::string::npos) << s.message;
    }
    EXPECT_FALSE(reg.importKey(kTop, dir / "missing.txt").ok);
    EXPECT_EQ(store.dump("HKEY_CURRENT_USER"), before);
    EXPECT_EQ(store.flushCount, flushes);
    EXPECT_EQ(store.openHandles(), 0);
}

// The format writes data verbatim, so a line break would split a value's line and the import would
// refuse the whole file. The export leaves such a value out and names it; the rest comes back.
TEST_F(RegistryImport, ALineBreakIsLeftOutOfTheExportAndTheRestRoundTrips) {
    store.putString(kTop, "a", "first\r\nsecond");
    store.putString(kTop, "b", "kept");
    store.putString(kTop + "\\Sub", "c", "kept too");
    const std::vector<std::string> leftOut = reg.exportKey(kTop, "", dir / "tree.txt");
    EXPECT_EQ(leftOut, (std::vector<std::string>{
                           kTop + "\\a: its text holds a line break, which the registry text cannot carry"}));
    store.putString(kTop, "b", "changed since");
    store.put(kTop, "a", kRegBinary, {});
    ASSERT_TRUE(reg.importKey(kTop, dir / "tree.txt").ok);
    EXPECT_EQ(store.dump(kTop), "[]\n"
                                "  \"b\" type 1: 107 101 112 116 0\n"
                                "[\\Sub]\n"
                                "  \"c\" type 1: 107 101 112 116 32 116 111 111 0\n");

    // A file whose line was split anyway (written by hand or by an older export) is refused whole.
    const std::string before = store.dump(kTop);
    Status s = importText(kTop, "\\\r\n\"b\"= sz:x\r\n\"a\"= sz:first\r\nsecond\r\n");
    EXPECT_FALSE(s.ok);
    EXPECT_NE(s.message.find("line 4"), std::string::npos) << s.message;
    EXPECT_EQ(store.dump(kTop), before);
}

TEST_F(RegistryImport, BadTargetsAreRefused) {
    store.putString("HKEY_CURRENT_USER\\Keep", "v", "x");
    const std::string before = store.dump("HKEY_CURRENT_USER");
    EXPECT_FALSE(importText("HKEY_CURRENT_USER", "\\\r\n").ok); // would empty the whole root
    EXPECT_FALSE(importText("HKEY_NOWHERE\\X", "\\\r\n").ok);
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_FALSE(importText("Software\\X", "\\\r\n").ok);
    EXPECT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(store.dump("HKEY_CURRENT_USER"), before);
}

TEST_F(RegistryImport, ReadsWindows1252Files) {
    // "café", "naïve €5" and a curly quote, as Western Windows wrote them.
    ASSERT_TRUE(importText(kTop, "\\\r\n\"caf\xE9\"= sz:na\xEFve \x80"
                                 "5 \x93q\x94\r\n")
                    .ok);
    EXPECT_EQ(reg.getStringValue(kTop, "caf\xC3\xA9"), "na\xC3\xAFve \xE2\x82\xAC"
                                                       "5 \xE2\x80\x9Cq\xE2\x80\x9D");
    // UTF-8 stays as it is.
    ASSERT_TRUE(importText(kTop, "\\\r\n\"caf\xC3\xA9\"= sz:\xE2\x82\xAC\r\n").ok);
    EXPECT_EQ(reg.getStringValue(kTop, "caf\xC3\xA9"), "\xE2\x82\xAC");
}

TEST_F(RegistryImport, AStringWithALoneSurrogateDoesNotRecodeTheWholeFile) {
    // A Wine prefix hands out a lone UTF-16 surrogate (an odd string some program stored) as its
    // three-byte form; that one value must not turn every other accented name into mojibake.
    store.putString(kTop, "caf\xC3\xA9", "na\xC3\xAFve");
    store.putString(kTop, "odd", "x\xED\xA0\x80y");
    reg.exportKey(kTop, "", dir / "tree.txt");
    const std::string expected = store.dump(kTop);
    ASSERT_TRUE(reg.importKey(kTop, dir / "tree.txt").ok);
    EXPECT_EQ(store.dump(kTop), expected);
    EXPECT_EQ(reg.getStringValue(kTop, "caf\xC3\xA9"), "na\xC3\xAFve");
}

TEST_F(RegistryImport, RefusedStoreLeavesTheTreeIntact) {
    fillSample(kTop);
    reg.exportKey(kTop, "", dir / "tree.txt");
    store.putString(kTop, "Extra", "still here");
    const std::string before = store.dump("HKEY_CURRENT_USER");
    store.refuseWrites = true;
    Status s = reg.importKey(kTop, dir / "tree.txt");
    EXPECT_FALSE(s.ok);
    // Said in the words of the system the program runs on: Wine's server, or Windows refusing.
#ifdef _WIN32
    EXPECT_NE(s.message.find("Windows refused the change to the registry"), std::string::npos) << s.message;
#else
    EXPECT_NE(s.message.find("wineserver is running"), std::string::npos) << s.message;
#endif
    EXPECT_NE(s.message.find("nothing was written"), std::string::npos) << s.message;
    EXPECT_EQ(store.dump("HKEY_CURRENT_USER"), before);
    EXPECT_EQ(store.openHandles(), 0);
}

// Starts refusing after a number of writes, as a store does when the wineserver starts mid-import.
class RefusingLaterStore : public MemoryRegistryStore {
public:
    int writesLeft = 1000;
    RegResult setValue(RegHandle key, const std::string& name, std::uint32_t type,
                       const std::vector<std::uint8_t>& data) override {
        if (--writesLeft < 0) {
            refuseWrites = true;
        }
        return MemoryRegistryStore::setValue(key, name, type, data);
    }
};

TEST_F(RegistryImport, RefusalPartwayIsReportedAndStopsTheImport) {
    RefusingLaterStore later;
    Registry r(later, dialogs, "Quire Outlook Backup");
    later.putString(kTop, "Old", "x");
    writeFile(dir / "in.txt", "\\\r\n\"a\"= sz:1\r\n\"b\"= sz:2\r\n\"c\"= sz:3\r\n");
    later.writesLeft = 2; // the probe and "a" pass, "b" is refused
    Status s = r.importKey(kTop, dir / "in.txt");
    EXPECT_FALSE(s.ok);
    EXPECT_NE(s.message.find("may be incomplete"), std::string::npos) << s.message;
    EXPECT_EQ(later.openHandles(), 0);
}

// Values of the types the four markers do not cover travel as "raw" lines: type code and bytes come
// back exact, beside the usual values, and the lines stay lines an older reader skips.
TEST_F(RegistryImport, ValuesOfEveryOtherTypeComeBackWithTypeAndBytesExact) {
    struct Odd {
        std::string name;
        std::uint32_t type;
        std::vector<std::uint8_t> data;
    };
    const std::vector<Odd> odd = {
        {"Multi", kRegMultiSz, {'a', 0, 'b', 'c', 0, 0}},
        {"Multi empty", kRegMultiSz, {0, 0}},
        {"Multi \xC3\xA9", kRegMultiSz, {0xC3, 0xA9, 0, 0}},
        {"Qword", kRegQword, {1, 2, 3, 4, 5, 6, 7, 0xFF}},
        {"None", kRegNone, {}},
        {"None with bytes", kRegNone, {0, 9}},
        {"Big endian", kRegDwordBigEndian, {0, 0, 1, 0}},
        {"Link", kRegLink, {'x', 0}},
        {"Vendor", 0x20000u, {7}},
        {"Top code", 0xFFFFFFFFu, {}},
        {"x=raw:1:2", kRegQword, {0, 0, 0, 0, 0, 0, 0, 1}}, // "=" and a marker in the name
    };
    store.putString(kTop, "Plain", "kept");
    for (const Odd& o : odd) {
        store.put(kTop, o.name, o.type, o.data);
        store.put(kTop + "\\Sub", o.name, o.type, o.data);
    }
    const std::string expected = store.dump(kTop);
    ASSERT_TRUE(reg.exportKey(kTop, "", dir / "tree.txt").empty());
    const std::string text = readFile(dir / "tree.txt");
    EXPECT_NE(text.find("\"Qword\"=raw:11:1,2,3,4,5,6,7,255\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\"None\"=raw:0:\r\n"), std::string::npos) << text;

    for (const Odd& o : odd) { // what a restore meets: the same names with other data, or none
        store.put(kTop, o.name, kRegBinary, {42});
        reg.deleteValue(kTop + "\\Sub", o.name);
    }
    ASSERT_TRUE(reg.importKey(kTop, dir / "tree.txt").ok);
    EXPECT_EQ(store.dump(kTop), expected);

    // The rule older readers follow: the first "=" ends the name, the three characters after it,
    // blanks trimmed, are the type, and a line of another type is skipped without a word. Their
    // reading of our file is the file without the raw lines.
    auto olderReading = [](const std::string& file) {
        std::vector<std::string> read;
        std::size_t pos = 0;
        while (pos < file.size()) {
            const std::size_t end = file.find("\r\n", pos);
            const std::string line = file.substr(pos, end - pos);
            pos = end + 2;
            if (line.starts_with('\\')) {
                read.push_back(line);
                continue;
            }
            const std::size_t eq = line.find('=');
            std::string type = line.substr(eq + 1, 3);
            type.erase(0, type.find_first_not_of(' '));
            if (type == "sz" || type == "esz" || type == "dw" || type == "bin") {
                read.push_back(line);
            }
        }
        return read;
    };
    reg.deleteKeyTree(kTop);
    store.putString(kTop, "Plain", "kept");
    store.makeKey(kTop + "\\Sub");
    ASSERT_TRUE(reg.exportKey(kTop, "", dir / "four.txt").empty());
    EXPECT_EQ(olderReading(text), olderReading(readFile(dir / "four.txt")));
    EXPECT_EQ(olderReading(text), (std::vector<std::string>{"\\", "\"Plain\"= sz:kept", "\\Sub"}));

    // A damaged raw line is refused like any other, naming its line, and nothing changes.
    for (const std::string bad : {"\"q\"=raw:11\r\n", "\"q\"=raw:x:1\r\n", "\"q\"=raw:4294967296:\r\n",
                                  "\"q\"=raw:11:1,256\r\n", "\"q\"=raw::1\r\n"}) {
        const std::string before = store.dump(kTop);
        Status s = importText(kTop, "\\\r\n" + bad);
        EXPECT_FALSE(s.ok) << bad;
        EXPECT_NE(s.message.find("line 2"), std::string::npos) << s.message;
        EXPECT_EQ(store.dump(kTop), before);
    }
}

} // namespace
} // namespace qob::test
