// Path readers, entry names and the data-file handler's de-duplication.
#include "backup/BackupItems.h"
#include "archive/EntryNames.h"
#include "backup/BackupSession.h"
#include "outlook/OutlookDiscovery.h"
#include "outlook/PathReaders.h"
#include "settings/InfoFile.h"

#include "DemoPlatform.h"
#include "ZipTools.h"

#include <gtest/gtest.h>

namespace qob {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

// The 53-byte head of a store entry ID naming `dll` as its provider.
Bytes storeHead(const std::string& dll = "mspst.dll") {
    Bytes b(kStorePathOffset, 0);
    for (std::size_t i = 4; i < 20; ++i) {
        b[i] = static_cast<std::uint8_t>(0xA0 + i);
    }
    std::copy(dll.begin(), dll.end(), b.begin() + 22);
    for (std::size_t i = 36; i < 52; ++i) {
        b[i] = static_cast<std::uint8_t>(0x40 + i);
    }
    return b;
}

// A PST store entry ID as Outlook writes it: the head, then the single-byte path from byte 53, or
// (Unicode form) an empty single-byte path and the UTF-16LE path from byte 54.
Bytes entryId(const std::u16string& path, bool wide, const Bytes& tail = {}) {
    Bytes b = storeHead();
    if (wide) {
        b.push_back(0);
    }
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

Bytes withText(Bytes head, const std::string& text) {
    head.insert(head.end(), text.begin(), text.end());
    head.push_back(0);
    return head;
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
    // The old single-byte reading drops zero bytes, so it finds a plain path in wide text too.
    EXPECT_EQ(decodeAnsiPath(entryId(u"C:\\a.pst", true)), "C:\\a.pst");
    EXPECT_EQ(decodeWidePath(Bytes{}), kPathError);
    EXPECT_EQ(decodeWidePath(entryId(u"no path here", true)), kPathError);
    EXPECT_EQ(pathFromText(":\\x"), kPathError);
}

TEST(PathReaders, EachLayoutIsReadWhereItKeepsThePath) {
    Bytes bare = entryId(u"C:\\Mail\\a.pst", true);
    bare.erase(bare.begin(), bare.begin() + kStoreEntryIdHeader);
    bare.resize(520, 0);
    Bytes oddHead(kStoreEntryIdHeader, 0x11);
    auto wideHere = entryId(u"D:\\x\\b.pst", true);
    oddHead.insert(oddHead.end(), wideHere.begin() + kStoreEntryIdHeader, wideHere.end());
    Bytes textHead(kStoreEntryIdHeader, 'A');
    textHead[0] = 0;
    struct Case {
        const char* what;
        Bytes bytes;
        std::string path;             // what the data-file reading finds
        std::optional<PathForm> form; // where the layout puts it, if it is located
        std::size_t offset;
        bool namesFile;
    };
    const std::vector<Case> cases = {
        {"single-byte form at 53", entryId(u"C:\\Mail\\Alt\u00DC.pst", false), "C:\\Mail\\Alt\xC3\x9C.pst",
         PathForm::Ansi, 53, true},
        {"single-byte network path", entryId(u"\\\\srv\\share\\a.pst", false), "\\\\srv\\share\\a.pst",
         PathForm::Ansi, 53, true},
        {"Unicode form at 54", entryId(u"C:\\Mail\\\u4E00.pst", true), "C:\\Mail\\\xE4\xB8\x80.pst",
         PathForm::Wide, 54, true},
        {"bare path buffer", bare, "C:\\Mail\\a.pst", PathForm::Wide, 0, true},
        {"unknown head, UTF-16LE after 54 bytes", oddHead, "D:\\x\\b.pst", PathForm::Wide, 54, true},
        {"unknown head, single-byte text: the old reading", withText(textHead, "D:\\y.pst"), "D:\\y.pst",
         std::nullopt, 0, true},
        {"server mailbox: no file", withText(storeHead("EMSMDB.DLL"), "/o=Org/ou=Site/cn=me"), kPathError,
         std::nullopt, 0, false},
        {"PST head without a path", withText(storeHead(), "garbage"), kPathError, std::nullopt, 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(dataFilePathOf(c.bytes), c.path);
        EXPECT_EQ(namesDataFile(c.bytes), c.namesFile);
        auto at = locatePath(c.bytes);
        ASSERT_EQ(at.has_value(), c.form.has_value());
        if (at) {
            EXPECT_EQ(at->path, c.path);
            EXPECT_EQ(at->form, *c.form);
            EXPECT_EQ(at->offset, c.offset);
        }
    }
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

// A PST kept from the ANSI era is stored; a PST reference that names no readable path is named as
// not stored; a server mailbox (no file) is neither.
TEST(BackupItems, AnsiEraStoresAreStoredAndUnreadableReferencesNamed) {
    test::DemoPlatform p;
    AppState state;
    state.profilesRootKey = p.demo.profilesRootKey;
    state.programFolder = p.programFolder;
    const std::string old97 = p.demo.userProfileFolder + "\\Documents\\Outlook Files\\Mail 97.pst";
    test::writeBytes(p.demo.hostPath(old97), "ansi era pst");
    const std::string second = p.demo.profilesRootKey + "\\Second\\";
    std::u16string old16(old97.begin(), old97.end());
    p.store.put(second + "a0000000000000000000000000000001", "01020fff", kRegBinary, entryId(old16, false));
    p.store.put(second + "a0000000000000000000000000000002", "01020fff", kRegBinary,
                withText(storeHead(), "unreadable"));
    p.store.put(second + "a0000000000000000000000000000003", "01020fff", kRegBinary,
                withText(storeHead("emsmdb.dll"), "/o=Org"));

    test::TempDir out;
    Archive archive;
    ASSERT_TRUE(archive.createArchive(out / "x.qob"));
    std::vector<fs::path> scratch;
    const fs::path info = p.programFolder / "info.tmp";
    BackupItems items(p.platform, state, archive, info, scratch);
    ASSERT_TRUE(items.backupDatas("Second"));
    EXPECT_EQ(getINI("BackupDatas", info).value(), "Second.pst;Mail 97.pst");
    EXPECT_NE(getINI("BackupDatasPaths", info).value().find("Mail 97.pst<" + old97), std::string::npos);
    ASSERT_EQ(items.notStored().size(), 1u);
    EXPECT_EQ(items.notStored()[0],
              second + "a0000000000000000000000000000002: the data file reference \"01020fff\" holds no path "
                       "that could be read");
}

// A profile value whose line the registry text cannot carry is named once, though the profile's
// key and its accounts key both hold it; the rest of the profile is exported.
TEST(BackupItems, ProfileValuesTheTextCannotCarryAreNamedOnce) {
    test::DemoPlatform p;
    AppState state;
    state.profilesRootKey = p.demo.profilesRootKey;
    state.programFolder = p.programFolder;
    const std::string account =
        p.demo.profilesRootKey + "\\Second\\9375CFF0413111d3B88A00104B2A6676\\00000002";
    p.store.putString(account, "Signature", "Best regards\r\nQuire");

    test::TempDir out;
    Archive archive;
    ASSERT_TRUE(archive.createArchive(out / "x.qob"));
    std::vector<fs::path> scratch;
    BackupItems items(p.platform, state, archive, p.programFolder / "info.tmp", scratch);
    ASSERT_TRUE(items.backupConfig("Second"));
    ASSERT_TRUE(items.backupAccounts("Second"));
    EXPECT_EQ(items.notStored(),
              (std::vector<std::string>{account + "\\Signature: its text holds a line break, which the "
                                                  "registry text cannot carry"}));
    ASSERT_EQ(scratch.size(), 2u);
    const std::string text = test::readBytes(scratch[0]);
    EXPECT_EQ(text.find("Best regards"), std::string::npos);
    EXPECT_NE(text.find("\"IMAP Server\"=bin:"), std::string::npos);
}

// The read-back check must read what the disk holds: the new file's cached pages are dropped
// before it is read.
TEST(BackupSession, TheCheckReadsTheBackupFromTheDisk) {
    test::DemoPlatform p;
    AppState state;
    state.profilesRootKey = p.demo.profilesRootKey;
    state.programFolder = p.programFolder;
    test::TempDir out;
    std::vector<fs::path> dropped;
    Archive archive;
    archive.setCacheDropFunction([&](const fs::path& file) { dropped.push_back(file); });
    BackupSession session(p.platform, state, archive);
    ASSERT_TRUE(session.begin(out / "b.qob", InfoHeader{}));
    ASSERT_TRUE(session.run(ItemKind::Config, "Outlook"));
    BackupSession::Result result = session.write(std::nullopt, true);
    ASSERT_TRUE(result.written) << result.written.message;
    EXPECT_TRUE(dropped.empty());
    session.check(result, std::nullopt, ArchiveEvents{});
    EXPECT_TRUE(result.check) << result.check.message;
    EXPECT_EQ(dropped, std::vector<fs::path>{out / "b.qob"});
}

} // namespace
} // namespace qob
