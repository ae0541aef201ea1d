#include "RegistryFixture.h"

#include <algorithm>

namespace qob::test {
namespace {

class RegistryExport : public RegistryFixture {};

// Enumerates values in the order they were first written, as Windows does, so that the example
// of the format can be reproduced exactly.
class InsertionOrderStore : public MemoryRegistryStore {
public:
    std::vector<std::string> order;
    RegResult setValue(RegHandle key, const std::string& name, std::uint32_t type,
                       const std::vector<std::uint8_t>& data) override {
        order.push_back(name);
        return MemoryRegistryStore::setValue(key, name, type, data);
    }
    RegResult enumValue(RegHandle key, std::uint32_t index, RegValue& out) override {
        std::uint32_t seen = 0;
        for (const std::string& name : order) {
            if (queryValue(key, name, out) == kRegSuccess && seen++ == index) {
                return kRegSuccess;
            }
        }
        return kRegNoMoreItems;
    }
};

TEST_F(RegistryExport, WritesTheSixLineExampleByteForByte) {
    InsertionOrderStore ordered;
    Registry r(ordered, dialogs, "Quire Outlook Backup");
    RegHandle h;
    ASSERT_EQ(ordered.createKey(RegRoot::CurrentUser, "Software\\Quire", h), kRegSuccess);
    ordered.setValue(h, "Name", kRegSz, {'I', 'n', 'b', 'o', 'x'});
    ordered.setValue(h, "Count", kRegDword, {5, 0, 0, 0});
    ordered.setValue(h, "Data", kRegBinary, {1, 2, 255});
    ordered.closeKey(h);
    ASSERT_EQ(ordered.createKey(RegRoot::CurrentUser, "Software\\Quire\\Sub", h), kRegSuccess);
    const std::string path = "%TEMP%\\x";
    ordered.setValue(h, "Path", kRegExpandSz, {path.begin(), path.end()});
    ordered.closeKey(h);

    r.exportKey(kTop, "", dir / "out.txt");
    EXPECT_EQ(readFile(dir / "out.txt"), "\\\r\n"
                                         "\"Name\"= sz:Inbox\r\n"
                                         "\"Count\"= dw:5\r\n"
                                         "\"Data\"=bin:1,2,255\r\n"
                                         "\\Sub\r\n"
                                         "\"Path\"=esz:%TEMP%\\x\r\n");
    EXPECT_EQ(ordered.openHandles(), 0);
    EXPECT_TRUE(dialogs.messages.empty());

    // The in-memory store enumerates sorted, like Wine: the same lines in that order.
    store.putString(kTop, "Name", "Inbox");
    store.putDword(kTop, "Count", 5);
    store.put(kTop, "Data", kRegBinary, {1, 2, 255});
    store.putString(kTop + "\\Sub", "Path", "%TEMP%\\x", kRegExpandSz);
    EXPECT_EQ(exportText(kTop), "\\\r\n\"Count\"= dw:5\r\n\"Data\"=bin:1,2,255\r\n\"Name\"= sz:Inbox\r\n"
                                "\\Sub\r\n\"Path\"=esz:%TEMP%\\x\r\n");
}

TEST_F(RegistryExport, ValueEdgeCases) {
    store.makeKey(kTop + "\\Empty");
    EXPECT_EQ(exportText(kTop + "\\Empty"), "\\\r\n");

    store.putString(kTop, "", "default");
    store.put(kTop, "a sz nul", kRegSz, {0});
    store.put(kTop, "b bin empty", kRegBinary, {});
    store.putDword(kTop, "c minus one", 0xFFFFFFFFu);
    store.putDword(kTop, "d min", 0x80000000u);
    store.put(kTop, "e multi", kRegMultiSz, {'x', 0, 0});
    store.put(kTop, "f qword", kRegQword, {1, 0, 0, 0, 0, 0, 0, 0});
    store.put(kTop, "g short dword", kRegDword, {1, 1});
    store.put(kTop, "h after skipped", kRegSz, {'o', 'k', 0});
    store.put(kTop, "i none", kRegNone, {});
    EXPECT_EQ(exportText(kTop), "\\\r\n"
                                "\"\"= sz:default\r\n"
                                "\"a sz nul\"= sz:\r\n"
                                "\"b bin empty\"=bin:\r\n"
                                "\"c minus one\"= dw:-1\r\n"
                                "\"d min\"= dw:-2147483648\r\n"
                                "\"e multi\"=raw:7:120,0,0\r\n"
                                "\"f qword\"=raw:11:1,0,0,0,0,0,0,0\r\n"
                                "\"g short dword\"= dw:257\r\n"
                                "\"h after skipped\"= sz:ok\r\n"
                                "\"i none\"=raw:0:\r\n"
                                "\\Empty\r\n");
}

TEST_F(RegistryExport, LargeBinaryIsWrittenWhole) {
    std::vector<std::uint8_t> data(5000);
    for (std::size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<std::uint8_t>(i * 7);
    }
    store.put(kTop, "Big", kRegBinary, data);
    std::string text = exportText(kTop);
    const std::string prefix = "\\\r\n\"Big\"=bin:";
    ASSERT_TRUE(text.starts_with(prefix));
    ASSERT_TRUE(text.ends_with("\r\n"));
    std::string numbers = text.substr(prefix.size(), text.size() - prefix.size() - 2);
    EXPECT_EQ(std::count(numbers.begin(), numbers.end(), ','), 4999);
    EXPECT_TRUE(numbers.ends_with("," + std::to_string(static_cast<std::uint8_t>(4999 * 7))));
}

TEST_F(RegistryExport, ReplacesAnExistingFileAndOrdersDepthFirst) {
    writeFile(dir / "out.txt", "old content that is much longer than the export\r\n");
    store.putString(kTop + "\\B", "v", "b");
    store.putString(kTop + "\\A\\Deep", "v", "deep");
    store.putString(kTop + "\\A", "v", "a");
    EXPECT_EQ(exportText(kTop), "\\\r\n"
                                "\\A\r\n"
                                "\"v\"= sz:a\r\n"
                                "\\A\\Deep\r\n"
                                "\"v\"= sz:deep\r\n"
                                "\\B\r\n"
                                "\"v\"= sz:b\r\n");
}

TEST_F(RegistryExport, UnreadableKeyGivesItsLineOnlyAndSiblingsFollow) {
    store.putString(kTop + "\\A", "v", "a");
    store.putString(kTop + "\\B", "v", "hidden");
    store.putString(kTop + "\\B\\Child", "v", "hidden too");
    store.putString(kTop + "\\C", "v", "c");
    store.unopenable.insert(kTop + "\\B");
    EXPECT_EQ(exportText(kTop), "\\\r\n"
                                "\\A\r\n"
                                "\"v\"= sz:a\r\n"
                                "\\B\r\n"
                                "\\C\r\n"
                                "\"v\"= sz:c\r\n");
    EXPECT_EQ(store.openHandles(), 0);
}

TEST_F(RegistryExport, OverlongNamesAreLeftOutAloneAndNamed) {
    const std::string longName(260, 'n');
    store.putString(kTop, "a", "kept");
    store.putString(kTop, "m" + std::string(258, 'x'), "259 chars kept"); // 259 characters
    store.putString(kTop, longName, "left out");
    store.putString(kTop, "z", "after it, kept");
    store.makeKey(kTop + "\\k1");
    store.makeKey(kTop + "\\" + longName);
    store.makeKey(kTop + "\\z1");
    const std::vector<std::string> leftOut = reg.exportKey(kTop, "", dir / "out.txt");
    std::string text = readFile(dir / "out.txt");
    EXPECT_NE(text.find("\"a\"= sz:kept"), std::string::npos);
    EXPECT_NE(text.find("259 chars kept"), std::string::npos);
    EXPECT_EQ(text.find("left out"), std::string::npos);
    EXPECT_NE(text.find("after it, kept"), std::string::npos);
    EXPECT_NE(text.find("\\k1\r\n"), std::string::npos);
    EXPECT_NE(text.find("\\z1\r\n"), std::string::npos);
    EXPECT_EQ(leftOut, (std::vector<std::string>{
                           kTop + "\\" + longName + ": the name is longer than 259 characters",
                           kTop + "\\" + longName + ": the key name is longer than 259 characters"}));
    // Characters, not bytes: 200 two-byte characters are within the limit.
    std::string wide;
    for (int i = 0; i < 200; ++i) {
        wide += "\xC3\xA9";
    }
    store.putString(kTop + "\\W", wide, "wide kept");
    EXPECT_NE(exportText(kTop + "\\W").find("wide kept"), std::string::npos);
}

// Lines the import would refuse or misread are left out, each named; every other value and key is
// written, and the file imports.
TEST_F(RegistryExport, ValuesAndKeysTheTextCannotCarryAreLeftOutAndNamed) {
    struct Bad {
        std::string name;
        std::uint32_t type;
        std::string data;
        std::string why;
    };
    const std::string breaks = "its text holds a line break, which the registry text cannot carry";
    const std::string misread =
        "its name would be read back as another value (it holds \"=\" and a type marker)";
    const std::vector<Bad> bad = {
        {"Signature", kRegSz, "Regards\r\nQuire", breaks},
        {"Note", kRegExpandSz, "one\ntwo", breaks},
        {"Lone CR", kRegSz, "a\rb", breaks},
        {"two\r\nlines", kRegDword, "\x01\0\0\0",
         "its name holds a line break, which the registry text cannot carry"},
        {"x=bin", kRegSz, "1", misread},
        {"y\"= sz:z", kRegSz, "2", misread},
    };
    store.putString(kTop, "Plain", "kept");
    store.putString(kTop, "a=b", "kept, its name holds \"=\"");
    store.putString(kTop + "\\Sub", "Deep", "kept");
    const std::string good = store.dump(kTop);
    for (const Bad& b : bad) {
        store.put(kTop, b.name, b.type, std::vector<std::uint8_t>(b.data.begin(), b.data.end()));
    }
    store.putString(kTop + "\\Bad\nKey\\Below", "v", "left out with its key");

    std::vector<std::string> expected;
    expected.push_back(kTop +
                       "\\Bad<LF>Key: the key name holds a line break, which the registry text cannot carry");
    std::vector<std::string> values;
    for (const Bad& b : bad) {
        values.push_back(kTop + "\\" + (b.name == "two\r\nlines" ? "two<CR><LF>lines" : b.name) + ": " +
                         b.why);
    }
    std::vector<std::string> leftOut = reg.exportKey(kTop, "", dir / "out.txt");
    std::sort(leftOut.begin(), leftOut.end());
    expected.insert(expected.end(), values.begin(), values.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(leftOut, expected);

    ASSERT_TRUE(reg.importKey("HKEY_USERS\\Copy", dir / "out.txt").ok);
    EXPECT_EQ(store.dump("HKEY_USERS\\Copy"), good);
}

TEST_F(RegistryExport, MalformedPathAndUnwritableFile) {
    std::string text = exportText("HKEY_CURRENT_USER\\Software\\");
    EXPECT_EQ(text, "\\\r\n");
    ASSERT_EQ(dialogs.messages.size(), 2u); // once for the values, once for the subkeys
    EXPECT_EQ(dialogs.messages[0].text, "Incorrect Format:\n\nHKEY_CURRENT_USER\\Software\\");
    EXPECT_EQ(dialogs.messages[0].title, "Quire Outlook Backup");
    EXPECT_EQ(dialogs.messages[0].buttons, MsgButtons::Ok);

    store.putString(kTop, "v", "x");
    EXPECT_THROW(reg.exportKey(kTop, "", dir / "no such folder" / "out.txt"), std::runtime_error);
    EXPECT_EQ(store.openHandles(), 0);
}

TEST_F(RegistryExport, ExportValuesAndNestedCallsAppend) {
    store.putString(kTop, "v", "x");
    writeFile(dir / "out.txt", "first\r\n");
    reg.exportValues(kTop, dir / "out.txt");
    reg.exportKey(kTop, "\\Rel", dir / "out.txt");
    EXPECT_EQ(readFile(dir / "out.txt"), "first\r\n\"v\"= sz:x\r\n\\Rel\r\n\"v\"= sz:x\r\n");
}

} // namespace
} // namespace qob::test
