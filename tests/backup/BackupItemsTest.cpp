// Path readers, entry names and the data-file handler's de-duplication.
#include "backup/BackupItems.h"
#include "backup/EntryNames.h"
#include "backup/PathReaders.h"
#include "frame/InfoFile.h"
#include "frame/OutlookDiscovery.h"

#include "DemoPlatform.h"
#include "ZipTools.h"

#include <gtest/gtest.h>

namespace qob {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

Bytes entryId(const std::u16string& path, bool wide, const Bytes& tail = {}) {
    Bytes b(kStoreEntryIdHeader, 0x41);
    b[0] = b[1] = b[2] = b[3] = 0;
    for (char16_t c : path) {
        if (wide) {
            b.push_back(static_cast<std::uint8_t>(c & 0xFF));
            b.push_back(static_cast<std::uint8_t>(c >> 8));
        } else {
            b.push_back(static_cast<std::uint8_t>(c));
        }
    }
    b.push_back(0);
    if (wide) {
        b.push_back(0);
    }
    b.insert(b.end(), tail.begin(), tail.end());
    return b;
}

TEST(PathReaders, DecodeUtf16AfterTheHeaderAndStopAtTheTerminator) {
    // U+0100 and U+4E00 have a zero byte: skipping zero bytes would garble them.
    std::u16string path = u"C:\\D\u0100ta\\\u4E00\u4E8C.pst";
    Bytes b = entryId(path, true, {'C', 0, ':', 0, '\\', 0, 'x', 0});
    EXPECT_EQ(decodeWidePath(b), "C:\\D\xC4\x80ta\\\xE4\xB8\x80\xE4\xBA\x8C.pst");
    EXPECT_EQ(decodeWidePath(entryId(u"\\\\server\\share\\a.pst", true)), "\\\\server\\share\\a.pst");
    // A surrogate pair.
    EXPECT_EQ(decodeWidePath(entryId(u"C:\\\U0001F600.pst", true)), "C:\\\xF0\x9F\x98\x80.pst");
    // Single-byte text read as UTF-16 finds no path; the ANSI reader does (Windows-1252).
    Bytes ansi = entryId(u"D:\\Alt\u00DC.pst", false);
    EXPECT_EQ(decodeWidePath(ansi), kPathError);
    EXPECT_EQ(decodeAnsiPath(ansi), "D:\\Alt\xC3\x9C.pst");
    EXPECT_EQ(decodeAnsiPath(entryId(u"C:\\a.pst", true)), kPathError);
    EXPECT_EQ(decodeWidePath(Bytes{}), kPathError);
    EXPECT_EQ(decodeWidePath(entryId(u"no path here", true)), kPathError);
    EXPECT_EQ(pathFromText(":\\x"), kPathError);
}

TEST(EntryNames, SameFileOnceOtherFilesNumbered) {
    test::TempDir dir;
    fs::create_directories(dir / "a");
    fs::create_directories(dir / "b");
    EntryNames names;
    EXPECT_EQ(names.claim(dir / "a" / "Archiv.pst", "Archiv.pst").name, "Archiv.pst");
    auto again = names.claim(dir / "a" / ".." / "a" / "Archiv.pst", "Archiv.pst");
    EXPECT_FALSE(again.isNew);
    EXPECT_EQ(again.name, "Archiv.pst");
    EXPECT_EQ(names.claim(dir / "b" / "ARCHIV.pst", "ARCHIV.pst").name, "ARCHIV~2.pst");
    EXPECT_EQ(names.claim(dir / "c" / "Archiv.pst", "Archiv.pst").name, "Archiv~3.pst");
    EXPECT_EQ(names.claim(dir / "a" / "noext", "noext").name, "noext");
    EXPECT_EQ(names.claim(dir / "b" / "noext", "noext").name, "noext~2");
    EXPECT_EQ(names.claim(dir / "a" / "quirebox.dat", "quirebox.dat").name, "quirebox~2.dat");
    EXPECT_EQ(EntryNames::numbered(".hidden", 2), ".hidden~2");
}

TEST(BackupItems, DataFilesSharingANameAreStoredApartAndListedWithTheirPaths) {
    test::DemoPlatform p;
    AppState state;
    state.profilesRootKey = p.demo.profilesRootKey;
    state.programFolder = p.programFolder;
    // A second Outlook.pst in another folder, and a second reference to the first one.
    const std::string other = p.demo.userProfileFolder + "\\Documents\\Outlook Files\\Outlook.pst";
    test::writeBytes(p.demo.hostPath(other), "other pst");
    auto addRef = [&](const std::string& sub, const std::string& path) {
        std::u16string wide(path.begin(), path.end());
        Bytes id = entryId(wide, true);
        RegHandle k = 0;
        ASSERT_EQ(p.store.createKey(RegRoot::CurrentUser,
                                    "Software\\Microsoft\\Office\\15.0\\Outlook\\Profiles\\Outlook\\" + sub,
                                    k),
                  kRegSuccess);
        ASSERT_EQ(p.store.setValue(k, "01020fff", kRegBinary, id), kRegSuccess);
        p.store.closeKey(k);
    };
    addRef("ffff0000000000000000000000000001", other);
    addRef("ffff0000000000000000000000000002", p.demo.stores[0].targetPath);

    test::TempDir out;
    Archive archive;
    ASSERT_TRUE(archive.createArchive(out / "x.qob"));
    std::vector<fs::path> scratch;
    fs::path info = p.programFolder / "info.tmp";
    BackupItems items(p.platform, state, archive, info, scratch);
    ASSERT_TRUE(items.backupDatas("Outlook"));
    EXPECT_FALSE(items.backupDatas("NoSuchProfile"));
    ASSERT_TRUE(archive.addFile(info, "quirebox.dat"));
    ASSERT_TRUE(archive.writeArchive());

    std::string datas = getINI("BackupDatas", info).value();
    EXPECT_EQ(datas, "Outlook.pst;Archiv \xC3\x9C"
                     "bersicht.pst;quire@example.com.ost;Outlook~2.pst");
    std::string paths = getINI("BackupDatasPaths", info).value();
    EXPECT_NE(paths.find("Outlook~2.pst<" + other), std::string::npos);
    EXPECT_NE(paths.find("Outlook.pst<" + p.demo.stores[0].targetPath + "|"), std::string::npos);

    Archive reader;
    ASSERT_TRUE(reader.openArchive(out / "x.qob"));
    EXPECT_EQ(reader.entryCount(), 5);
    auto entry = reader.findEntry("Outlook~2.pst");
    ASSERT_TRUE(entry);
    ASSERT_TRUE(entry->extractToFile(out / "check"));
    EXPECT_EQ(test::readBytes(out / "check"), "other pst");
}

} // namespace
} // namespace qob
