// The hex notation of binary values, the search forms of a path, whole-byte replacement and the
// names a restore accepts.
#include "outlook/BinaryPath.h"
#include "FakeDialogs.h"
#include "MemoryRegistryStore.h"
#include "outlook/PathReaders.h"
#include "restore/RestoreNames.h"

#include <gtest/gtest.h>

namespace qob::test {
namespace {

TEST(BinaryPath, HexFormsAndReplacement) {
    EXPECT_EQ(wideToHexText("C:\\"), "43=0=3A=0=5C=0=");
    EXPECT_EQ(ansiToHexText("C:\\"), std::optional<std::string>("43=3A=5C="));
    EXPECT_EQ(ansiToHexText("\xC3\x9C"), std::optional<std::string>("DC="));     // Ü
    EXPECT_EQ(ansiToHexText("\xE2\x82\xAC"), std::optional<std::string>("80=")); // €
    EXPECT_EQ(ansiToHexText("\xD0\x96"), std::nullopt);                          // Ж: not in the code page

    MemoryRegistryStore store;
    FakeDialogs dialogs;
    Registry registry(store, dialogs, "t");
    const std::string key = "HKEY_CURRENT_USER\\P\\S";
    store.put(key, "v", kRegBinary, {0x00, 0x0A, 0xFF, 0x10});
    EXPECT_EQ(getBinaryValueHex(registry, key, "v"), "0=A=FF=10");
    EXPECT_EQ(getBinaryValueHex(registry, key, "V"), "Error"); // names compare exactly
    EXPECT_EQ(getBinaryValueHex(registry, key + "\\missing", "v"), "Error");

    // A match must be whole bytes and leave at least one byte after it.
    std::vector<std::uint8_t> data = {0x43, 0x30, 0x43, 0x30};
    EXPECT_EQ(replaceBytes(data, {0x43, 0x30}, {0x44}), 1u);
    EXPECT_EQ(data, (std::vector<std::uint8_t>{0x44, 0x43, 0x30}));
    // "3=0=" must not match inside "43=0=" as a text search of the hex form would.
    data = {0x43, 0x00, 0x01};
    EXPECT_EQ(replaceBytes(data, {0x03, 0x00}, {0x09, 0x00}), 0u);

    // Wide first; the value grows with the path; a missing value is not created.
    std::vector<std::uint8_t> id(4, 0x11);
    auto path = utf16leBytes("C:\\a.pst");
    id.insert(id.end(), path.begin(), path.end());
    id.insert(id.end(), {0, 0});
    store.put(key, "01020fff", kRegBinary, id);
    EXPECT_EQ(replaceBinaryPath(registry, key, "01020fff", "C:\\a.pst", "C:\\longer\\a.pst"), kRegSuccess);
    EXPECT_EQ(getBinaryPathWide(registry, key, "01020fff"), "C:\\longer\\a.pst");
    EXPECT_EQ(readBinaryValue(registry, key, "01020fff")->size(), id.size() + 14);
    EXPECT_EQ(replaceBinaryPath(registry, key, "absent", "C:\\a.pst", "D:\\b.pst"), kRegSuccess);
    EXPECT_FALSE(readBinaryValue(registry, key, "absent"));

    // A single-byte store entry ID (path at byte 53) keeps its form; a path the code page cannot
    // hold is refused and the value left as it was.
    std::vector<std::uint8_t> ansiId(53, 0);
    const std::string dll = "mspst.dll";
    std::copy(dll.begin(), dll.end(), ansiId.begin() + 22);
    const std::string oldPath = "C:\\Old\\Mail.pst";
    auto ansiWith = [&](const std::string& path) {
        std::vector<std::uint8_t> v = ansiId;
        v.insert(v.end(), path.begin(), path.end());
        v.push_back(0);
        return v;
    };
    store.put(key, "01020fff", kRegBinary, ansiWith(oldPath));
    EXPECT_EQ(replaceBinaryPath(registry, key, "01020fff", oldPath, "C:\\\xD0\x96\\Mail.pst"),
              kRegInvalidData);
    EXPECT_EQ(*readBinaryValue(registry, key, "01020fff"), ansiWith(oldPath));
    EXPECT_EQ(replaceBinaryPath(registry, key, "01020fff", oldPath, "C:\\New\\Mail \xC3\x9C.pst"),
              kRegSuccess);
    EXPECT_EQ(*readBinaryValue(registry, key, "01020fff"), ansiWith("C:\\New\\Mail \xDC.pst"));
}

TEST(RestoreNames, OnlyPlainFileNamesAreAccepted) {
    for (const char* ok : {"Outlook.pst",
                           "Archiv \xC3\x9C"
                           "bersicht.pst",
                           "a~2.pst", "noext", "CONSOLE.txt", "COM10", ".hidden"}) {
        EXPECT_TRUE(isSafeRestoreName(ok)) << ok;
    }
    for (const char* bad :
         {"",      ".",   "..",      "../x", "..\\x",   "a/b",  "a\\b",     "C:x",         "x:stream", "/abs",
          "\\abs", "CON", "con.txt", "Nul",  "AUX.htm", "com1", "LPT9.dat", "COM\xC2\xB9", "x..y",     "x.",
          "x ",    " x",  "a|b",     "a?b",  "a*b",     "a<b",  "a\"b",     "tab\tx"}) {
        EXPECT_FALSE(isSafeRestoreName(bad)) << bad;
    }
}

} // namespace
} // namespace qob::test
