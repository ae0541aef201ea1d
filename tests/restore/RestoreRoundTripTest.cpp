// Backups of one demo profile restored into another profile, on the same machine and on a fresh
// one: the registry trees and the files are compared with what the restore must have changed.
#include "RestoreFixture.h"
#include "ZipTools.h"
#include "forms/OpenBackup.h"
#include "forms/RestoreRun.h"
#include "outlook/BinaryPath.h"
#include "outlook/PathReaders.h"
#include "restore/RestoreItems.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>

namespace qob::test {
namespace {

namespace fs = std::filesystem;

std::string upper(std::string s) {
    for (char& c : s) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return s;
}

std::string serviceOf(const DemoStore& s) {
    return upper(s.serviceKey.substr(s.serviceKey.rfind('\\')));
}

std::vector<std::uint8_t> withPath(const std::vector<std::uint8_t>& header, const std::string& path) {
    std::vector<std::uint8_t> out = header;
    auto p = utf16leBytes(path);
    out.insert(out.end(), p.begin(), p.end());
    out.push_back(0);
    out.push_back(0);
    return out;
}

// What profile "Outlook"'s tree must look like after a restore points its stores into `localData`;
// `renamed` gives the restored name of a file that had to be written beside one in use.
RegistryDump expectedAfterRestore(const RegistryDump& before, const DemoTargetSystem& demo,
                                  const std::string& localData,
                                  const std::map<std::string, std::string>& renamed = {}) {
    RegistryDump expected = before;
    auto restoredName = [&](const std::string& name) {
        auto it = renamed.find(name);
        return it == renamed.end() ? name : it->second;
    };
    for (auto& [key, value] : expected) {
        if (key.size() > 9 && key.compare(key.size() - 9, 9, "|001e6600") == 0) {
            std::string text(value.second.begin(), value.second.end());
            for (const auto& [from, to] : renamed) {
                if (auto at = text.find("\\" + from); at != std::string::npos) {
                    text.replace(at + 1, from.size(), to);
                }
            }
            value.second.assign(text.begin(), text.end());
        }
    }
    for (const DemoStore& s : demo.storesOf("Outlook")) {
        const std::string key = serviceOf(s);
        const std::string newPath =
            localData + "\\" + restoredName(s.targetPath.substr(s.targetPath.rfind('\\') + 1));
        auto& id = expected.at(key + "|01020fff").second;
        id = withPath(std::vector<std::uint8_t>(id.begin(), id.begin() + 54), newPath);
        auto& buffer = expected.at(key + "|001f6700").second;
        // The fixed 520-byte buffer keeps its trailing zeros; it grows or shrinks with the path.
        const std::size_t tail = buffer.size() - utf16leBytes(s.targetPath).size();
        buffer = utf16leBytes(newPath);
        buffer.resize(buffer.size() + tail, 0);
    }
    expected.erase("\\0A0D020000000000C000000000000046|1102039b");
    expected.erase("\\0A0D020000000000C000000000000046|001e023d");
    expected.erase("\\9375CFF0413111D3B88A00104B2A6676\\00000005|Delivery Store EntryID");
    return expected;
}

TEST(RestoreRoundTrip, ProfileRestoredIntoAnotherProfileOfTheSameMachine) {
    RestoreWorld w;
    const DemoTargetSystem& d = w.demo;
    const std::string outlookKey = d.profilesRootKey + "\\Outlook";
    const RegistryDump outlookBefore = dumpTree(w.store, outlookKey);
    const RegistryDump softwareBefore = dumpTree(w.store, "HKEY_CURRENT_USER\\Software");
    const auto filesBefore = snapshotFiles(d.driveFolder());

    const fs::path qob = w.dir / "outlook.qob";
    writeBackup(qob, backupOfProfile(w, "Outlook"));
    // Outlook's rules change after the backup: restoring its backup into Second must not revert
    // them, neither through the rules item nor through the preferences folder that holds them too.
    const std::string outlookRules = "users/quire/AppData/Roaming/Microsoft/Outlook/Outlook.rwz";
    std::ofstream(d.driveFolder() / outlookRules, std::ios::binary | std::ios::trunc) << "newer rules";
    // Likewise its mail: Outlook's live data file must not be replaced by the backup's older copy.
    const std::string outlookPst = "users/quire/AppData/Local/Microsoft/Outlook/Outlook.pst";
    std::ofstream(d.driveFolder() / outlookPst, std::ios::binary | std::ios::trunc) << "newer mail";
    ASSERT_EQ(openBackupFile(*w.form, w.archive, qob), OpenResult::Opened);
    for (const auto& box : w.form->restoreItem) {
        EXPECT_TRUE(box.enabled) << box.caption;
    }
    w.target("Second");
    w.tickRestore({0, 1, 2, 3, 4, 5, 6, 7, 8});
    const RestoreOutcome outcome = runRestore(*w.form, w.archive);
    ASSERT_TRUE(outcome.ran);
    EXPECT_TRUE(outcome.allSucceeded()) << joined(outcome.problems);
    EXPECT_EQ(outcome.items.size(), 11u);

    // Registry: Second now holds Outlook's tree with the stores pointing into the local data
    // folder and the cached store values gone; every other key is as it was.
    // Outlook's own data files and address book are in use on this machine: the restored copies are
    // written beside them, and only Second points at the copies.
    const std::map<std::string, std::string> renamed = {{"Outlook.pst", "Outlook~2.pst"},
                                                        {"quire@example.com.ost", "quire@example.com~2.ost"},
                                                        {"mailbox.pab", "mailbox~2.pab"}};
    EXPECT_EQ(dumpTree(w.store, d.profilesRootKey + "\\Second"),
              expectedAfterRestore(outlookBefore, d, d.localDataFolder, renamed));
    EXPECT_EQ(dumpTree(w.store, outlookKey), outlookBefore);
    RegistryDump softwareAfter = dumpTree(w.store, "HKEY_CURRENT_USER\\Software");
    const std::string secondPrefix = upper("\\Microsoft\\Office\\15.0\\Outlook\\Profiles\\Second");
    auto withoutSecond = [&](RegistryDump dump) {
        for (auto it = dump.begin(); it != dump.end();) {
            it = it->first.rfind(secondPrefix, 0) == 0 ? dump.erase(it) : std::next(it);
        }
        return dump;
    };
    EXPECT_EQ(withoutSecond(softwareAfter), withoutSecond(softwareBefore));

    // Files: the data file from the Documents folder now also lies in the local data folder, the
    // rules became Second's; Outlook keeps its own rules file; nothing else changed, no scratch
    // file is left anywhere.
    auto expectedFiles = filesBefore;
    const std::string archiv = "Archiv \xC3\x9C"
                               "bersicht.pst";
    expectedFiles["users/quire/AppData/Local/Microsoft/Outlook/" + archiv] =
        filesBefore.at("users/quire/Documents/Outlook Files/" + archiv);
    for (const auto& [from, to] : renamed) {
        expectedFiles["users/quire/AppData/Local/Microsoft/Outlook/" + to] =
            filesBefore.at("users/quire/AppData/Local/Microsoft/Outlook/" + from);
    }
    expectedFiles["users/quire/AppData/Roaming/Microsoft/Outlook/Second.RWZ"] = filesBefore.at(outlookRules);
    expectedFiles[outlookRules] = "newer rules";
    expectedFiles[outlookPst] = "newer mail";
    EXPECT_EQ(snapshotFiles(d.driveFolder()), expectedFiles);
    EXPECT_EQ(listFolder(w.programFolder()), (std::set<std::string>{"brlog.dat"}));

    // Every rewritten reference names a file that exists.
    for (const std::string& sub : w.registry.getSubKeys(d.profilesRootKey + "\\Second")) {
        const std::string path =
            getBinaryPathWide(w.registry, d.profilesRootKey + "\\Second\\" + sub, "01020fff");
        if (path != "Error") {
            EXPECT_TRUE(w.files->fileExists(path)) << path;
        }
    }
}

TEST(RestoreRoundTrip, ProfileRestoredOnAFreshMachineCreatesTheLocalDataFolder) {
    RestoreWorld a;
    // Content that only machine A has, so the comparison sees where each file came from.
    writeBytes(a.host(a.demo.stores[0].targetPath), "A's own mailbox");
    writeBytes(a.host(a.demo.signaturesFolder + "\\Work.txt"), "A's signature");
    const RegistryDump outlookBefore = dumpTree(a.store, a.demo.profilesRootKey + "\\Outlook");
    const fs::path qob = a.dir / "outlook.qob";
    writeBackup(qob, backupOfProfile(a, "Outlook"));

    RestoreWorld b;
    fs::remove_all(b.host(b.demo.userProfileFolder + "\\AppData\\Local\\Microsoft"));
    const auto filesBefore = snapshotFiles(b.demo.driveFolder());
    ASSERT_EQ(openBackupFile(*b.form, b.archive, qob), OpenResult::Opened);
    b.target("Second");
    b.tickRestore({0, 1, 2, 4});
    const RestoreOutcome outcome = runRestore(*b.form, b.archive);
    EXPECT_TRUE(outcome.allSucceeded()) << joined(outcome.problems);

    RegistryDump expected = expectedAfterRestore(outlookBefore, a.demo, b.demo.localDataFolder);
    // The address book's reference follows its file to B's folders (on Linux both machines' drive
    // C is "C:", so the text stays the same).
    for (auto& [key, value] : expected) {
        if (key.ends_with("|001e6600")) {
            std::string text(value.second.begin(), value.second.end());
            text.replace(0, a.demo.driveRoot.size(), b.demo.driveRoot);
            value.second.assign(text.begin(), text.end());
        }
    }
    EXPECT_EQ(dumpTree(b.store, b.demo.profilesRootKey + "\\Second"), expected);
    const std::string local = "users/quire/AppData/Local/Microsoft/Outlook/";
    const auto filesA = snapshotFiles(a.demo.driveFolder());
    auto expectedFiles = filesBefore;
    for (const std::string& name :
         {std::string("Outlook.pst"), std::string("quire@example.com.ost"), std::string("mailbox.pab")}) {
        expectedFiles[local + name] = filesA.at(local + name);
    }
    const std::string archiv = "Archiv \xC3\x9C"
                               "bersicht.pst";
    expectedFiles[local + archiv] = filesA.at("users/quire/Documents/Outlook Files/" + archiv);
    expectedFiles["users/quire/AppData/Roaming/Microsoft/Outlook/Second.RWZ"] =
        filesA.at("users/quire/AppData/Roaming/Microsoft/Outlook/Outlook.rwz");
    for (const std::string& name : a.demo.signatureFiles) {
        const std::string rel = "users/quire/AppData/Roaming/Microsoft/Signatures/" + name;
        expectedFiles[rel] = filesA.at(rel);
    }
    EXPECT_EQ(snapshotFiles(b.demo.driveFolder()), expectedFiles);
    EXPECT_EQ(readFile(b.host(b.demo.localDataFolder + "\\Outlook.pst")), "A's own mailbox");
}

TEST(RestoreRoundTrip, SingleByteReferencesAreRewrittenThroughTheAnsiForm) {
    RestoreWorld w;
    AppState& state = w.form->state();
    state.profilesRootKey = w.demo.olderProfilesRootKey;
    const DemoStore legacy = w.demo.storesOf("Legacy").front();
    BackupSpec spec = minimalSpec("01000000000");
    spec.entries.push_back({"Legacy.pst", "legacy data"});
    addItemLine(spec, "BackupDatas", "Legacy.pst");
    const fs::path qob = w.dir / "legacy.qob";
    writeBackup(qob, spec);
    ASSERT_EQ(openBackupFile(*w.form, w.archive, qob), OpenResult::Opened);

    RestoreContext ctx(*w.platform, state, w.archive);
    ASSERT_TRUE(restoreDatas(ctx, "Legacy")) << joined(ctx.problems);
    auto id = readBinaryValue(w.registry, legacy.serviceKey, "01020fff");
    ASSERT_TRUE(id);
    const std::string expectedPath = w.demo.localDataFolder + "\\Legacy.pst";
    // Same place, same form: the single-byte path right after the 53-byte head.
    std::vector<std::uint8_t> expected(id->begin(), id->begin() + kStorePathOffset);
    expected.insert(expected.end(), expectedPath.begin(), expectedPath.end());
    expected.push_back(0);
    EXPECT_EQ(*id, expected);
    EXPECT_FALSE(readBinaryValue(w.registry, legacy.serviceKey, "001e6700"));
    EXPECT_EQ(readFile(w.host(expectedPath)), "legacy data");
    // The original single-byte file is untouched.
    EXPECT_NE(readFile(w.host(legacy.targetPath)), "legacy data");
}

// A single-byte reference cannot take a path outside its code page: it is left naming its old file
// and reported, while the profile's other references are still rewritten.
TEST(RestoreRoundTrip, ASingleByteReferenceThatCannotHoldTheNewPathIsReportedAndKept) {
    RestoreWorld w;
    AppState& state = w.form->state();
    state.profilesRootKey = w.demo.olderProfilesRootKey;
    state.userProfileFolder = "C:\\users\\\xD0\x96"
                              "enya"; // Ж: not in Windows-1252
    const DemoStore legacy = w.demo.storesOf("Legacy").front();
    const auto before = readBinaryValue(w.registry, legacy.serviceKey, "01020fff");
    const std::string wideKey = w.demo.olderProfilesRootKey + "\\Legacy\\66666666666666666666666666666666";
    auto wideId = std::vector<std::uint8_t>(before->begin(), before->begin() + kStorePathOffset);
    wideId.push_back(0);
    w.store.put(wideKey, "01020fff", kRegBinary, withPath(wideId, "D:\\Old\\New.pst"));
    BackupSpec spec = minimalSpec("01000000000");
    spec.entries = {{"Legacy.pst", "legacy data"}, {"New.pst", "newer data"}};
    addItemLine(spec, "BackupDatas", "Legacy.pst;New.pst");
    const fs::path qob = w.dir / "legacy.qob";
    writeBackup(qob, spec);
    ASSERT_EQ(openBackupFile(*w.form, w.archive, qob), OpenResult::Opened);

    RestoreContext ctx(*w.platform, state, w.archive);
    EXPECT_FALSE(restoreDatas(ctx, "Legacy"));
    ASSERT_EQ(ctx.problems.size(), 1u);
    EXPECT_NE(ctx.problems[0].find("single-byte form"), std::string::npos) << ctx.problems[0];
    EXPECT_EQ(readBinaryValue(w.registry, legacy.serviceKey, "01020fff"), before);
    EXPECT_EQ(getDataFilePath(w.registry, wideKey), restoreLocalDataFolder(state) + "\\New.pst");
}

// Two data files of one bare name (backed up as "a.pst" and "a~2.pst") go back to the references
// recorded for them; a reference to a file the backup does not hold is left alone.
TEST(RestoreRoundTrip, DataFileReferencesFollowTheRecordedPathsOrTheBareName) {
    for (bool withPaths : {true, false}) {
        SCOPED_TRACE(withPaths ? "with BackupDatasPaths" : "older backup");
        RestoreWorld w;
        const std::string profileKey = w.demo.profilesRootKey + "\\Second";
        const std::vector<std::uint8_t> header(54, 0x11);
        const std::vector<std::pair<std::string, std::string>> refs = {
            {"11111111111111111111111111111111", "C:\\one\\a.pst"},
            {"22222222222222222222222222222222", "D:\\two\\a.pst"},
            {"33333333333333333333333333333333", "C:\\three\\b.pst"}};
        for (const auto& [sub, path] : refs) {
            w.store.put(profileKey + "\\" + sub, "01020fff", kRegBinary, withPath(header, path));
        }
        BackupSpec spec = minimalSpec("01000000000");
        spec.entries = {{"a.pst", "first"}, {"a~2.pst", "second"}};
        addItemLine(spec, "BackupDatas", "a.pst;a~2.pst");
        if (withPaths) {
            addItemLine(spec, "BackupDatasPaths", "a.pst<C:\\one\\a.pst|a~2.pst<D:\\two\\a.pst");
        }
        const fs::path qob = w.dir / "dup.qob";
        writeBackup(qob, spec);
        ASSERT_EQ(openBackupFile(*w.form, w.archive, qob), OpenResult::Opened);
        RestoreContext ctx(*w.platform, w.form->state(), w.archive);
        ASSERT_TRUE(restoreDatas(ctx, "Second")) << joined(ctx.problems);

        const std::string local = w.demo.localDataFolder;
        auto pathOf = [&](const std::string& sub) {
            return getBinaryPathWide(w.registry, profileKey + "\\" + sub, "01020fff");
        };
        EXPECT_EQ(pathOf(refs[0].first), local + "\\a.pst");
        EXPECT_EQ(pathOf(refs[1].first), local + (withPaths ? "\\a~2.pst" : "\\a.pst"));
        EXPECT_EQ(pathOf(refs[2].first), "C:\\three\\b.pst");
        EXPECT_EQ(readFile(w.host(local + "\\a~2.pst")), "second");
    }
}

// Characters whose UTF-16 code unit has a zero low byte (U+0100, U+4E00) must survive the reading
// of the old reference, or the reference would not be recognised and keep naming the old file.
TEST(RestoreRoundTrip, ReferencesToANameWithZeroLowBytesAreRewritten) {
    RestoreWorld w;
    const std::string profileKey = w.demo.profilesRootKey + "\\Second";
    const std::string key = profileKey + "\\44444444444444444444444444444444";
    const std::string name = "\xC4\x80"
                             "bc \xE4\xB8\x80\xE4\xB8\xAD\xE6\x96\x87.pst"; // Ābc 一中文.pst
    const std::string oldPath = w.demo.userProfileFolder + "\\Documents\\" + name;
    auto demoId = readBinaryValue(w.registry, w.demo.stores[0].serviceKey, "01020fff");
    ASSERT_TRUE(demoId);
    const std::vector<std::uint8_t> header(demoId->begin(), demoId->begin() + 54);
    w.store.put(key, "01020fff", kRegBinary, withPath(header, oldPath));
    std::vector<std::uint8_t> buffer = utf16leBytes(oldPath);
    buffer.resize(520, 0);
    w.store.put(key, "001f6700", kRegBinary, buffer);

    BackupSpec spec = minimalSpec("01000000000");
    spec.entries = {{name, "unicode mailbox"}};
    addItemLine(spec, "BackupDatas", name);
    addItemLine(spec, "BackupDatasPaths", name + "<" + oldPath);
    const fs::path qob = w.dir / "unicode.qob";
    writeBackup(qob, spec);
    ASSERT_EQ(openBackupFile(*w.form, w.archive, qob), OpenResult::Opened);
    RestoreContext ctx(*w.platform, w.form->state(), w.archive);
    ASSERT_TRUE(restoreDatas(ctx, "Second")) << joined(ctx.problems);

    const std::string newPath = w.demo.localDataFolder + "\\" + name;
    EXPECT_EQ(readFile(w.host(newPath)), "unicode mailbox");
    EXPECT_EQ(getBinaryPathWide(w.registry, key, "01020fff"), newPath);
    EXPECT_EQ(*readBinaryValue(w.registry, key, "01020fff"), withPath(header, newPath));
    EXPECT_EQ(getBinaryPathWide(w.registry, key, "001f6700"), newPath);
    auto rewritten = readBinaryValue(w.registry, key, "001f6700");
    ASSERT_TRUE(rewritten);
    EXPECT_EQ(rewritten->size(), 520 + utf16leBytes(newPath).size() - utf16leBytes(oldPath).size());
}

} // namespace
} // namespace qob::test
