#include "archive/Archive.h"

#include "PstData.h"
#include "TestPaths.h"
#include "ZipTools.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sys/resource.h>

namespace qob {
namespace {

namespace fs = std::filesystem;
using test::listFolder;
using test::mixedBytes;
using test::readBytes;
using test::TempDir;
using test::writeBytes;

const std::string kPassword = "s3cr3t pässwörd";

struct Recorder {
    std::vector<std::string> added, extracted;
    std::vector<int> progress;
    std::vector<Status> finished;
    void attach(Archive& a) {
        a.events().fileAdded = [this](const std::string& n) { added.push_back(n); };
        a.events().fileExtracted = [this](const std::string& n) { extracted.push_back(n); };
        a.events().writeProgress = [this](int p) { progress.push_back(p); };
        a.events().writeFinished = [this](const Status& s) { finished.push_back(s); };
    }
};

bool toolPresent(const std::string& tool) {
    return std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) == 0;
}

TEST(Archive, RoundTripProtectedAndUnprotected) {
    for (bool protect : {false, true}) {
        SCOPED_TRACE(protect ? "protected" : "unprotected");
        TempDir dir;
        fs::create_directories(dir / "src" / "sub");
        const std::vector<std::pair<std::string, std::string>> files = {
            {"Outlook.pst", bench::pstLikeBytes(3 * 1024 * 1024 + 4321, 7)},
            {"Archiv.pst", mixedBytes(700 * 1024, 8)},
            {"Übersicht ä.txt", "Grüße\r\n"},
            {"empty.dat", ""},
            {"quirebox.dat", "BackupComputer=PC\r\nBackupItem=00000000000\r\n"},
        };
        Archive zip1;
        Recorder rec;
        rec.attach(zip1);
        const fs::path target = dir / "backup.qob";
        ASSERT_TRUE(zip1.createArchive(target));
        for (const auto& [name, data] : files) {
            writeBytes(dir / "src" / name, data);
            ASSERT_TRUE(zip1.addFiles(dir / "src" / name)) << name;
        }
        zip1.setProtected(protect);
        zip1.setWritePassword(kPassword);
        Status written = zip1.writeArchive();
        ASSERT_TRUE(written) << written.message;
        ASSERT_EQ(rec.finished.size(), 1u);
        EXPECT_TRUE(rec.finished[0].ok);
        EXPECT_EQ(rec.added.size(), files.size());
        EXPECT_FALSE(zip1.isOpen());
        EXPECT_EQ(listFolder(dir.path()), (std::set<std::string>{"backup.qob", "src"}));

        EXPECT_EQ(zip1.isPasswordProtected(target), protect);
        ASSERT_TRUE(zip1.openArchive(target));
        ASSERT_EQ(zip1.entryCount(), static_cast<int>(files.size()));
        auto list = zip1.entries();
        for (size_t i = 0; i < files.size(); ++i) {
            EXPECT_EQ(list[i].name, files[i].first); // add order is entry order; quirebox.dat last
            EXPECT_EQ(list[i].size, files[i].second.size());
            EXPECT_EQ(list[i].encrypted, protect);
            EXPECT_FALSE(list[i].symlink);
        }
        EXPECT_LT(list[0].compressedSize, list[0].size);

        if (protect) {
            zip1.setReadPassword("wrong password");
            EXPECT_FALSE(zip1.verifyPassword());
            zip1.setReadPassword("");
            EXPECT_FALSE(zip1.verifyPassword());
            Status refused = zip1.findEntry("Outlook.pst")->extractTo(dir / "src" / "sub");
            EXPECT_FALSE(refused);
            EXPECT_NE(refused.message.find("Outlook.pst"), std::string::npos) << refused.message;
            EXPECT_TRUE(listFolder(dir / "src" / "sub").empty());
            zip1.setReadPassword(kPassword);
        }
        EXPECT_TRUE(zip1.verifyPassword());
        fs::create_directories(dir / "out");
        for (const auto& [name, data] : files) {
            auto entry = zip1.findEntry(name);
            ASSERT_TRUE(entry) << name;
            Status s = entry->extractTo(dir / "out");
            ASSERT_TRUE(s) << s.message;
            EXPECT_EQ(readBytes(dir / "out" / name), data) << name;
        }
        EXPECT_TRUE(zip1.findEntry("QUIREBOX.DAT")); // found without regard to case
        EXPECT_FALSE(zip1.findEntry("missing.pst"));
        EXPECT_EQ(rec.extracted.size(), files.size());
        EXPECT_EQ(listFolder(dir / "out").size(), files.size()); // no temporary files left
        EXPECT_TRUE(zip1.verify());

        // Other tools read what we write: 7-Zip every archive, UnZip the unprotected ones (Debian's
        // UnZip has no AES).
        if (toolPresent("7z")) {
            std::string cmd = "7z t " + std::string(protect ? "'-p" + kPassword + "' " : "") + "'" +
                              target.string() + "' >/dev/null 2>&1";
            EXPECT_EQ(std::system(cmd.c_str()), 0) << cmd;
        } else {
            std::printf("7z is missing: archive not cross-checked\n");
        }
        if (!protect && toolPresent("unzip")) {
            std::string cmd = "unzip -tq '" + target.string() + "' >/dev/null 2>&1";
            EXPECT_EQ(std::system(cmd.c_str()), 0) << cmd;
        }
    }
}

// 7-Zip writes AES entries without a CRC (the authentication code stands for it); a backup protected
// there, or damaged in its code, must read as such: whole, or refused by name.
TEST(Archive, ReadsAesEntriesThatOtherToolsWroteAndChecksTheirCode) {
    if (!toolPresent("7z")) {
        GTEST_SKIP() << "7z is missing";
    }
    TempDir dir;
    const std::string password = "Backup-2024"; // 7z reads a non-ASCII argument only under a UTF-8 locale
    const std::string data = mixedBytes(3 * 1024 * 1024 + 7, 5);
    writeBytes(dir / "Outlook.pst", data);
    writeBytes(dir / "tiny.txt", "hi");
    const fs::path zip = dir / "seven.zip";
    const std::string cmd = "cd '" + dir.path().string() + "' && 7z a -tzip -mem=AES256 '-p" + password +
                            "' seven.zip Outlook.pst tiny.txt >/dev/null 2>&1";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
    const std::string good = readBytes(zip);
    for (bool damaged : {false, true}) {
        SCOPED_TRACE(damaged ? "damaged code" : "whole");
        std::string bytes = good;
        if (damaged) {
            // The entry's 10-byte authentication code ends right before the next local header.
            const std::size_t next = bytes.find("PK\x03\x04", 4);
            ASSERT_NE(next, std::string::npos);
            bytes[next - 4] = static_cast<char>(bytes[next - 4] ^ 0x10);
        }
        writeBytes(zip, bytes);
        Archive zip1;
        ASSERT_TRUE(zip1.openArchive(zip));
        zip1.setReadPassword(password);
        fs::remove_all(dir / "out");
        fs::create_directories(dir / "out");
        Status big = zip1.findEntry("Outlook.pst")->extractTo(dir / "out");
        Status small = zip1.findEntry("tiny.txt")->extractTo(dir / "out");
        if (!damaged) {
            ASSERT_TRUE(big) << big.message;
            ASSERT_TRUE(small) << small.message;
            EXPECT_EQ(readBytes(dir / "out" / "Outlook.pst"), data);
            EXPECT_EQ(readBytes(dir / "out" / "tiny.txt"), "hi");
        } else {
            // 7-Zip stores the entries in name order: the first one's code is the one damaged.
            const bool bigFirst = good.find("Outlook.pst") < good.find("tiny.txt");
            const Status& bad = bigFirst ? big : small;
            EXPECT_FALSE(bad);
            EXPECT_NE(bad.message.find(bigFirst ? "\"Outlook.pst\"" : "\"tiny.txt\""), std::string::npos)
                << bad.message;
            EXPECT_FALSE(fs::exists(dir / "out" / (bigFirst ? "Outlook.pst" : "tiny.txt")));
        }
    }
}

TEST(Archive, ProgressFollowsBytesNotEntries) {
    TempDir dir;
    Archive zip1;
    Recorder rec;
    rec.attach(zip1);
    ASSERT_TRUE(zip1.createArchive(dir / "p.qob"));
    for (int i = 0; i < 10; ++i) {
        std::string name = "small" + std::to_string(i) + ".txt";
        writeBytes(dir / name, mixedBytes(2000, i + 1));
        ASSERT_TRUE(zip1.addFiles(dir / name));
    }
    writeBytes(dir / "big.pst", mixedBytes(6 * 1024 * 1024, 99));
    ASSERT_TRUE(zip1.addFiles(dir / "big.pst"));
    ASSERT_TRUE(zip1.writeArchive());
    ASSERT_FALSE(rec.progress.empty());
    EXPECT_EQ(rec.progress.back(), 100);
    // Equal shares per entry would put the bar at 90 % before the big file even starts.
    for (size_t i = 1; i < rec.progress.size(); ++i) {
        EXPECT_GT(rec.progress[i], rec.progress[i - 1]);
        EXPECT_LE(rec.progress[i] - rec.progress[i - 1], 5) << "jump at event " << i;
    }
    EXPECT_GE(rec.progress.size(), 50u);
}

TEST(Archive, FailedWritesKeepTheEarlierBackup) {
    TempDir dir;
    const fs::path target = dir / "keep.qob";
    writeBytes(dir / "a.pst", mixedBytes(300 * 1024, 1));
    writeBytes(dir / "b.pst", mixedBytes(300 * 1024, 2));
    Archive zip1;
    Recorder rec;
    rec.attach(zip1);
    ASSERT_TRUE(zip1.createArchive(target));
    ASSERT_TRUE(zip1.addFiles(dir / "a.pst"));
    ASSERT_TRUE(zip1.writeArchive());
    const std::string before = readBytes(target);
    const std::set<std::string> folderBefore = listFolder(dir.path());

    // A source removed after it was added.
    writeBytes(dir / "gone.pst", mixedBytes(1000, 3));
    ASSERT_TRUE(zip1.createArchive(target));
    ASSERT_TRUE(zip1.addFiles(dir / "a.pst"));
    ASSERT_TRUE(zip1.addFiles(dir / "gone.pst"));
    fs::remove(dir / "gone.pst");
    Status s = zip1.writeArchive();
    EXPECT_FALSE(s);
    EXPECT_NE(s.message.find("gone.pst"), std::string::npos) << s.message;
    EXPECT_EQ(readBytes(target), before);
    EXPECT_EQ(listFolder(dir.path()), folderBefore);
    ASSERT_FALSE(rec.finished.empty());
    EXPECT_FALSE(rec.finished.back().ok);

    // A source that shrinks or grows between adding and writing must not give a short entry.
    for (std::size_t newSize : {std::size_t(100 * 1024), std::size_t(400 * 1024)}) {
        ASSERT_TRUE(zip1.createArchive(target));
        ASSERT_TRUE(zip1.addFiles(dir / "b.pst"));
        writeBytes(dir / "b.pst", mixedBytes(newSize, 2));
        s = zip1.writeArchive();
        EXPECT_FALSE(s);
        EXPECT_NE(s.message.find("b.pst"), std::string::npos) << s.message;
        EXPECT_EQ(readBytes(target), before);
        EXPECT_EQ(listFolder(dir.path()), folderBefore);
    }

    // Nothing added: libzip would delete the target; we refuse and keep it.
    ASSERT_TRUE(zip1.createArchive(target));
    EXPECT_FALSE(zip1.writeArchive());
    EXPECT_EQ(readBytes(target), before);

    // Protection without a password.
    ASSERT_TRUE(zip1.createArchive(target));
    ASSERT_TRUE(zip1.addFiles(dir / "a.pst"));
    zip1.setProtected(true);
    zip1.setWritePassword("");
    EXPECT_FALSE(zip1.writeArchive());
    EXPECT_EQ(readBytes(target), before);
    zip1.setProtected(false);

    // Target folder missing, unreadable source, write without create.
    s = zip1.createArchive(dir / "no-such-folder" / "x.qob");
    EXPECT_FALSE(s);
    EXPECT_NE(s.message.find("no-such-folder"), std::string::npos) << s.message;
    ASSERT_TRUE(zip1.createArchive(target));
    EXPECT_FALSE(zip1.addFiles(dir / "missing.pst"));
    EXPECT_FALSE(zip1.addFiles(dir.path())); // a folder is not a file
    zip1.closeArchive();
    size_t finishedBefore = rec.finished.size();
    EXPECT_FALSE(zip1.writeArchive());
    EXPECT_EQ(rec.finished.size(), finishedBefore + 1); // a waiting caller still hears the end
    EXPECT_EQ(readBytes(target), before);
    EXPECT_EQ(listFolder(dir.path()), folderBefore);
}

TEST(Archive, DuplicateEntryNamesAreRefused) {
    TempDir dir;
    fs::create_directories(dir / "one");
    fs::create_directories(dir / "two");
    writeBytes(dir / "one" / "Outlook.pst", "first");
    writeBytes(dir / "two" / "outlook.PST", "second");
    Archive zip1;
    ASSERT_TRUE(zip1.createArchive(dir / "d.qob"));
    ASSERT_TRUE(zip1.addFiles(dir / "one" / "Outlook.pst"));
    EXPECT_TRUE(zip1.hasEntry("Outlook.pst"));
    EXPECT_TRUE(zip1.hasEntry("OUTLOOK.pst"));
    EXPECT_FALSE(zip1.hasEntry("Outlook2.pst"));
    Status s = zip1.addFiles(dir / "two" / "outlook.PST");
    EXPECT_FALSE(s);
    EXPECT_NE(s.message.find("already holds"), std::string::npos) << s.message;
    ASSERT_TRUE(zip1.addFile(dir / "two" / "outlook.PST", "outlook(2).PST"));
    EXPECT_FALSE(zip1.addFile(dir / "two" / "outlook.PST", "../evil.pst")); // not a bare name
    EXPECT_FALSE(zip1.addFile(dir / "two" / "outlook.PST", "a\\b.pst"));
    ASSERT_TRUE(zip1.writeArchive());
    ASSERT_TRUE(zip1.openArchive(dir / "d.qob"));
    EXPECT_EQ(zip1.entryCount(), 2);
}

// A backup clears what killed backups left in its folder, whatever name they were writing (the
// default and automatic names are dated, so a leftover is rarely met under its own name again),
// but only files of our own hidden naming that no live run holds: never the user's files, however
// they are named or whatever they hold, and never a restore's files waiting for their commit.
TEST(Archive, ABackupClearsOnlyOurOwnLeftoversInItsFolder) {
    TempDir dir;
    writeBytes(dir / "a.pst", "data");
    const std::vector<std::string> leftovers = {".t.qob.qobtmp-abc123", ".mail-2026-12-01.qob.qobtmp-zz99zz",
                                                ".other.qob.qobtmp-000000"};
    writeBytes(dir / leftovers[0], "");
    writeBytes(dir / leftovers[1], std::string("PK\x03\x04\x14\x00", 6) + "half an entry");
    writeBytes(dir / leftovers[2], "a whole zip, killed before its rename");
    // The user's own files that merely look like one, empty or broken-zip-looking ones included.
    Archive copy;
    ASSERT_TRUE(copy.createArchive(dir / "t.qob.backup"));
    ASSERT_TRUE(copy.addFiles(dir / "a.pst"));
    ASSERT_TRUE(copy.writeArchive());
    const std::vector<std::string> others = {"t.qob.abc123",
                                             "t.qob.zz99zz",
                                             "t.qob.broken",
                                             "t.qob.abc12",
                                             "other.qob.abc123",
                                             "t.qob.201611",
                                             "t.qob.backup",
                                             "t.qob.qobtmp-abc123",
                                             ".t.qob.qobtmp-abc1234",
                                             ".t.qob.qobtmp-ab-123",
                                             ".Outlook.pst.qobnew-abc123",
                                             ".live.qob.qobtmp-Live12"};
    for (const auto& n : others) {
        if (n == "t.qob.abc123") {
            writeBytes(dir / n, "");
        } else if (n == "t.qob.zz99zz" || n == "t.qob.broken") {
            writeBytes(dir / n, std::string("PK\x03\x04\x14\x00", 6) + "half an entry");
        } else if (n != "t.qob.backup") {
            writeBytes(dir / n, "keep");
        }
    }
    // A backup of another name that still runs holds its file.
    const int liveFd = ::open((dir / ".live.qob.qobtmp-Live12").c_str(), O_RDONLY);
    ASSERT_EQ(::flock(liveFd, LOCK_EX), 0);
    const std::string earlierCopy = readBytes(dir / "t.qob.backup");
    fs::create_directories(dir / ".t.qob.qobtmp-dir123");
    Archive zip1;
    ASSERT_TRUE(zip1.createArchive(dir / "t.qob"));
    ASSERT_TRUE(zip1.addFiles(dir / "a.pst"));
    ASSERT_TRUE(zip1.writeArchive());
    ::close(liveFd);
    EXPECT_EQ(readBytes(dir / "t.qob.backup"), earlierCopy);
    auto names = listFolder(dir.path());
    for (const auto& n : leftovers) {
        EXPECT_EQ(names.count(n), 0u) << n;
    }
    for (const auto& n : others) {
        EXPECT_EQ(names.count(n), 1u) << n;
    }
    EXPECT_EQ(readBytes(dir / "t.qob.abc123"), "");
    EXPECT_EQ(names.count(".t.qob.qobtmp-dir123"), 1u);
}

TEST(Archive, ATargetThatIsOneOfItsOwnFilesIsNotReplaced) {
    // qob backup ... Outlook.pst: the data file would be renamed away under a zip of itself.
    TempDir dir;
    writeBytes(dir / "Outlook.pst", "years of mail");
    fs::create_symlink(dir / "Outlook.pst", dir / "link.pst");
    for (const char* source : {"Outlook.pst", "link.pst"}) {
        Archive zip1;
        ASSERT_TRUE(zip1.createArchive(dir / "Outlook.pst"));
        ASSERT_TRUE(zip1.addFiles(dir / source));
        Status s = zip1.writeArchive();
        EXPECT_FALSE(s) << source;
        EXPECT_NE(s.message.find("Outlook.pst"), std::string::npos) << s.message;
        EXPECT_EQ(readBytes(dir / "Outlook.pst"), "years of mail") << source;
    }
    EXPECT_EQ(listFolder(dir.path()), (std::set<std::string>{"Outlook.pst", "link.pst"}));
}

TEST(Archive, AnEntryHoldingMoreThanItsRecordedSizeStopsAtThatSize) {
    // The free-space check of a restore trusts the recorded size: a crafted entry that records 16
    // bytes and unpacks to 1 MiB must not get to write the megabyte.
    TempDir dir;
    const std::uint32_t realSize = 1234567; // 87 D6 12 00: found only in the two size fields
    test::makeZip(dir / "lie.qob", {{"big.pst", std::string(realSize, 'a')}});
    test::patchBytes(dir / "lie.qob", std::string("\x87\xD6\x12\x00", 4), std::string("\x10\x00\x00\x00", 4));
    Archive zip1;
    ASSERT_TRUE(zip1.openArchive(dir / "lie.qob"));
    auto entry = zip1.findEntry("big.pst");
    ASSERT_TRUE(entry);
    ASSERT_EQ(entry->info().size, 16u);
    auto extractUnderAFileSizeLimit = [&] {
        // Writing past 64 KiB fails with EFBIG: the extraction must have stopped before.
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{};
        limit.rlim_cur = limit.rlim_max = 64 * 1024;
        ::setrlimit(RLIMIT_FSIZE, &limit);
        Status s = entry->extractToFile(dir / "big.pst");
        std::fprintf(stderr, "%s\n", s.message.c_str());
        std::exit(!s && s.message.find("more than") != std::string::npos ? 0 : 1);
    };
    EXPECT_EXIT(extractUnderAFileSizeLimit(), ::testing::ExitedWithCode(0), "");
    EXPECT_FALSE(fs::exists(dir / "big.pst"));
    EXPECT_EQ(listFolder(dir.path()), std::set<std::string>{"lie.qob"});
}

TEST(Archive, DamagedEntriesFailExtractAndVerify) {
    for (bool protect : {false, true}) {
        SCOPED_TRACE(protect ? "protected" : "unprotected");
        TempDir dir;
        writeBytes(dir / "mail.pst", mixedBytes(400 * 1024, 5));
        writeBytes(dir / "quirebox.dat", "BackupItem=01000000000\r\n");
        Archive zip1;
        ASSERT_TRUE(zip1.createArchive(dir / "bad.qob"));
        ASSERT_TRUE(zip1.addFiles(dir / "mail.pst"));
        ASSERT_TRUE(zip1.addFiles(dir / "quirebox.dat"));
        zip1.setProtected(protect);
        zip1.setPassword(kPassword);
        ASSERT_TRUE(zip1.writeArchive());
        test::flipByteInEntry(dir / "bad.qob", "mail.pst");

        fs::create_directories(dir / "out");
        writeBytes(dir / "out" / "mail.pst", "the user's current file");
        ASSERT_TRUE(zip1.openArchive(dir / "bad.qob"));
        EXPECT_TRUE(zip1.verifyPassword()); // the info entry is intact
        Status s = zip1.findEntry("mail.pst")->extractTo(dir / "out");
        EXPECT_FALSE(s);
        EXPECT_NE(s.message.find("mail.pst"), std::string::npos) << s.message;
        EXPECT_NE(s.message.find("damaged"), std::string::npos) << s.message;
        EXPECT_EQ(readBytes(dir / "out" / "mail.pst"), "the user's current file");
        EXPECT_EQ(listFolder(dir / "out"), std::set<std::string>{"mail.pst"});
        Status v = zip1.verify();
        EXPECT_FALSE(v);
        EXPECT_NE(v.message.find("mail.pst"), std::string::npos) << v.message;
        EXPECT_EQ(v.message.find("quirebox.dat"), std::string::npos) << v.message;
    }
}

TEST(Archive, AnExtractionClearsWhatAKilledOneLeftOfTheSameFile) {
    TempDir dir;
    writeBytes(dir / "mail.pst", "mail");
    Archive zip1;
    ASSERT_TRUE(zip1.createArchive(dir / "a.qob"));
    ASSERT_TRUE(zip1.addFiles(dir / "mail.pst"));
    ASSERT_TRUE(zip1.writeArchive());
    fs::create_directories(dir / "out");
    writeBytes(dir / "out" / ".mail.pst.qobtmp-Ab3dE9", "half of an earlier restore");
    writeBytes(dir / "out" / ".other.pst.qobtmp-Ab3dE9", "another file's, still being written");
    writeBytes(dir / "out" / ".mail.pst.qobtmp-notes", "not one of ours");
    ASSERT_TRUE(zip1.openArchive(dir / "a.qob"));
    ASSERT_TRUE(zip1.findEntry("mail.pst")->extractTo(dir / "out"));
    EXPECT_EQ(listFolder(dir / "out"),
              (std::set<std::string>{"mail.pst", ".other.pst.qobtmp-Ab3dE9", ".mail.pst.qobtmp-notes"}));
}

TEST(Archive, ARestoredFileKeepsTheModeAndOwnerOfTheOneItReplaces) {
    TempDir dir;
    writeBytes(dir / "mail.pst", "backed-up mail");
    writeBytes(dir / "new.pst", "a new file");
    Archive zip1;
    ASSERT_TRUE(zip1.createArchive(dir / "a.qob"));
    ASSERT_TRUE(zip1.addFiles(dir / "mail.pst"));
    ASSERT_TRUE(zip1.addFiles(dir / "new.pst"));
    ASSERT_TRUE(zip1.writeArchive());
    const fs::path out = dir / "out";
    fs::create_directories(out);
    writeBytes(out / "mail.pst", "current mail");
    ASSERT_EQ(::chmod((out / "mail.pst").c_str(), 0600), 0);
    const bool root = ::geteuid() == 0;
    if (root) {
        // As root in another user's prefix: the files must stay that user's.
        ASSERT_EQ(::chown(out.c_str(), 4321, 4321), 0);
        ASSERT_EQ(::chown((out / "mail.pst").c_str(), 4321, 4321), 0);
    }
    ASSERT_TRUE(zip1.openArchive(dir / "a.qob"));
    ASSERT_TRUE(zip1.findEntry("mail.pst")->extractTo(out));
    ASSERT_TRUE(zip1.findEntry("new.pst")->extractTo(out));
    struct stat replaced {};
    struct stat created {};
    ASSERT_EQ(::stat((out / "mail.pst").c_str(), &replaced), 0);
    ASSERT_EQ(::stat((out / "new.pst").c_str(), &created), 0);
    EXPECT_EQ(readBytes(out / "mail.pst"), "backed-up mail");
    EXPECT_EQ(replaced.st_mode & 07777, 0600u) << "a private mail file stays private";
    if (root) {
        EXPECT_EQ(replaced.st_uid, 4321u);
        EXPECT_EQ(created.st_uid, 4321u);
        EXPECT_EQ(created.st_gid, 4321u);
    }
}

TEST(Archive, HostileArchivesAreHandled) {
    TempDir dir;
    test::makeZip(dir / "h.qob", {{"a.txt", "first"},
                                  {"b.txt", "second"},
                                  {"link.pst", "/etc/passwd", true},
                                  {"../escape.txt", "x"},
                                  {"sub/inner.txt", "y"}});
    // Two entries of one name, as the earlier program could write: the first one wins.
    test::patchBytes(dir / "h.qob", "b.txt", "a.txt");
    Archive zip1;
    EXPECT_FALSE(zip1.isPasswordProtected(dir / "h.qob"));
    ASSERT_TRUE(zip1.openArchive(dir / "h.qob"));
    fs::create_directories(dir / "out");
    auto first = zip1.findEntry("a.txt");
    ASSERT_TRUE(first);
    EXPECT_EQ(first->info().index, 0u);
    ASSERT_TRUE(first->extractTo(dir / "out"));
    EXPECT_EQ(readBytes(dir / "out" / "a.txt"), "first");

    auto link = zip1.findEntry("link.pst");
    ASSERT_TRUE(link);
    EXPECT_TRUE(link->info().symlink);
    Status s = link->extractTo(dir / "out");
    EXPECT_FALSE(s);
    EXPECT_NE(s.message.find("symbolic link"), std::string::npos) << s.message;
    EXPECT_FALSE(zip1.findEntry("../escape.txt")->extractTo(dir / "out"));
    EXPECT_FALSE(zip1.findEntry("sub/inner.txt")->extractTo(dir / "out"));
    EXPECT_EQ(listFolder(dir / "out"), std::set<std::string>{"a.txt"});
    EXPECT_FALSE(fs::exists(dir / "escape.txt"));

    // Not an archive at all.
    writeBytes(dir / "junk.qob", "this is not a zip file");
    EXPECT_FALSE(zip1.isPasswordProtected(dir / "junk.qob"));
    s = zip1.openArchive(dir / "junk.qob");
    EXPECT_FALSE(s);
    EXPECT_NE(s.message.find("junk.qob"), std::string::npos) << s.message;
    EXPECT_FALSE(zip1.findEntry("a.txt"));
    EXPECT_FALSE(zip1.verifyPassword());
}

TEST(Archive, HelpersAnswer) {
    TempDir dir;
    auto free = Archive::freeSpace(dir.path());
    ASSERT_TRUE(free);
    EXPECT_GT(*free, 0u);
    EXPECT_FALSE(Archive::freeSpace(dir / "missing"));
    EXPECT_TRUE(Archive::isSafeEntryName("Übersicht.pst"));
    for (const char* bad : {"", ".", "..", "a/b", "a\\b", "C:x.pst", "bad\x01name", "\xff\xfe.pst"}) {
        EXPECT_FALSE(Archive::isSafeEntryName(bad)) << bad;
    }
    Archive zip1;
    EXPECT_FALSE(zip1.setCompressionLevel(10));
    EXPECT_TRUE(zip1.setCompressionLevel(0));
    EXPECT_EQ(zip1.compressionLevel(), 0);
}

} // namespace
} // namespace qob

namespace qob {
namespace {

// A power loss right after the rename must not cost both backups: the new file is flushed while
// the old one is still in place, the folder after the rename. The empty start of another live
// write to the same name is not taken for a killed write's leftover.
TEST(Archive, ANewBackupIsOnDiskBeforeItReplacesTheOldOne) {
    TempDir dir;
    writeBytes(dir / "a.pst", mixedBytes(64 * 1024, 3));
    const fs::path target = dir / "t.qob";
    Archive old;
    ASSERT_TRUE(old.createArchive(target));
    ASSERT_TRUE(old.addFiles(dir / "a.pst"));
    ASSERT_TRUE(old.writeArchive());
    ::chmod(target.c_str(), 0640);
    const std::string oldBytes = readBytes(target);

    const fs::path live = dir / "t.qob.Live12";
    writeBytes(live, "");
    const int liveFd = ::open(live.c_str(), O_RDONLY);
    ASSERT_EQ(::flock(liveFd, LOCK_EX), 0);

    std::vector<std::string> seen; // per flush: what was flushed, and whether the old backup was still there
    Archive zip1;
    zip1.setSyncFunction([&](int fd) {
        struct stat st {};
        ::fstat(fd, &st);
        seen.push_back(std::string(S_ISDIR(st.st_mode) ? "folder" : "file") +
                       (readBytes(target) == oldBytes ? ":old" : ":new"));
        return ::fsync(fd);
    });
    writeBytes(dir / "b.pst", "more mail");
    ASSERT_TRUE(zip1.createArchive(target));
    ASSERT_TRUE(zip1.addFiles(dir / "a.pst"));
    ASSERT_TRUE(zip1.addFiles(dir / "b.pst"));
    ASSERT_TRUE(zip1.writeArchive());
    ::close(liveFd);

    EXPECT_EQ(seen, (std::vector<std::string>{"file:old", "folder:new"}));
    EXPECT_EQ(fs::status(target).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_TRUE(fs::exists(live));
    EXPECT_EQ(listFolder(dir.path()), (std::set<std::string>{"a.pst", "b.pst", "t.qob", "t.qob.Live12"}));
    ASSERT_TRUE(zip1.openArchive(target));
    EXPECT_TRUE(zip1.verify());
}

} // namespace
} // namespace qob
