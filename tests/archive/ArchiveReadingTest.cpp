// What the archive reads besides its own backups: the Windows-era program's archives (ANSI names
// without the UTF-8 flag, traditional encryption with the password's ANSI bytes), every WinZip AES
// strength, and what it refuses at opening (overlapping entries, protection that is not whole).
#include "archive/Archive.h"
#include "archive/CentralDirectory.h"

#include "TestPaths.h"
#include "ZipTools.h"

#include <gtest/gtest.h>

#include <zip.h>
#include <zlib.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace qob {
namespace {

namespace fs = std::filesystem;
using test::makeZip;
using test::readBytes;
using test::TempDir;
using test::writeBytes;
using test::ZipEntrySpec;

bool toolPresent(const std::string& tool) {
    return std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) == 0;
}

TEST(ArchiveReading, WindowsEraNamesAndPasswordsAreReadInTheCodePage) {
    struct Case {
        std::uint32_t codePage;
        std::string ansiName, utf8Name;         // "Grüße.htm" and the like
        std::string ansiPassword, utf8Password; // bytes the key was made from / what the user types
    };
    const std::vector<Case> cases = {
        {1252,
         "Gr\xFC\xDF"
         "e.htm",
         "Gr\xC3\xBC\xC3\x9F"
         "e.htm",
         "K\xE4se", "K\xC3\xA4se"},
        {1251, "\xCF\xF0\xE8\xE2\xE5\xF2.htm", "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82.htm",
         "\xEF\xE0\xF0\xEE\xEB\xFC", "\xD0\xBF\xD0\xB0\xD1\x80\xD0\xBE\xD0\xBB\xD1\x8C"},
        {932, "\x93\xFA\x96\x7B.htm", "\xE6\x97\xA5\xE6\x9C\xAC.htm", "\x94\xE9\x96\xA7",
         "\xE7\xA7\x98\xE5\xAF\x86"},
    };
    // Traditional encryption, as the Windows-era program wrote; AES keyed the same way is read too.
    for (const std::uint16_t method : {std::uint16_t{ZIP_EM_TRAD_PKWARE}, std::uint16_t{ZIP_EM_AES_256}})
        for (const Case& c : cases) {
            SCOPED_TRACE("code page " + std::to_string(c.codePage) + ", method " + std::to_string(method));
            TempDir dir;
            const fs::path zip = dir / "old.qob";
            const std::string body = "<html>signature</html>";
            makeZip(zip,
                    {{c.ansiName, body, false, true, method, c.ansiPassword},
                     {"quirebox.dat", "BackupItem=00001000000\r\n", false, true, method, c.ansiPassword}});
            Archive archive;
            archive.setCodePage(c.codePage);
            EXPECT_TRUE(archive.isPasswordProtected(zip));
            Status opened = archive.openArchive(zip);
            ASSERT_TRUE(opened) << opened.message;
            ASSERT_EQ(archive.entries().size(), 2u);
            EXPECT_EQ(archive.entries()[0].name, c.utf8Name);
            EXPECT_EQ(archive.entries()[0].encryptionMethod, method);
            auto entry = archive.findEntry(c.utf8Name);
            ASSERT_TRUE(entry);

            archive.setReadPassword("wrong");
            EXPECT_FALSE(archive.verifyPassword());
            // The password as typed (UTF-8) fails its check; its bytes in the code page open it.
            archive.setReadPassword(c.utf8Password);
            ASSERT_TRUE(archive.verifyPassword());
            ASSERT_TRUE(entry->extractToFile(dir / "out.htm"));
            EXPECT_EQ(readBytes(dir / "out.htm"), body);

            // Read in another code page, the same password is wrong (and the name another one).
            Archive elsewhere;
            elsewhere.setCodePage(c.codePage == 1251 ? 1252 : 1251);
            ASSERT_TRUE(elsewhere.openArchive(zip));
            elsewhere.setReadPassword(c.utf8Password);
            EXPECT_FALSE(elsewhere.verifyPassword());
            EXPECT_FALSE(elsewhere.findEntry(c.utf8Name));
        }
}

TEST(ArchiveReading, EveryWinZipAesStrengthIsReadAndChecked) {
    if (!toolPresent("7z")) {
        GTEST_SKIP() << "7z is missing";
    }
    const std::string data = test::mixedBytes(300 * 1024 + 3, 9);
    // Bytes that do not compress: 7-Zip stores them, and a stored entry is where libzip checked
    // the AE-2 CRC of 0 (7-Zip writes AE-2 for every entry).
    std::string noise(200 * 1024, '\0');
    std::uint32_t x = 7;
    for (char& c : noise) {
        x ^= x << 13, x ^= x >> 17, x ^= x << 5;
        c = static_cast<char>(x);
    }
    for (const char* strength : {"AES128", "AES192", "AES256"}) {
        SCOPED_TRACE(strength);
        TempDir dir;
        writeBytes(dir / "Outlook.pst", data);
        writeBytes(dir / "tiny.txt", "hi");
        writeBytes(dir / "noise.bin", noise);
        const std::string cmd = "cd '" + dir.path().string() + "' && 7z a -tzip -mem=" + strength +
                                " -pSecret-1 s.zip Outlook.pst tiny.txt noise.bin >/dev/null 2>&1";
        ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
        const std::string good = readBytes(dir / "s.zip");
        for (bool damaged : {false, true}) {
            SCOPED_TRACE(damaged ? "damaged" : "whole");
            std::string bytes = good;
            if (damaged) {
                // A byte of the first entry's data: its authentication code no longer matches.
                bytes[bytes.find("PK\x03\x04", 4) - 200] ^= 0x01;
            }
            writeBytes(dir / "s.zip", bytes);
            Archive archive;
            ASSERT_TRUE(archive.openArchive(dir / "s.zip"));
            archive.setReadPassword("Secret-1");
            Status s = archive.verify();
            EXPECT_EQ(static_cast<bool>(s), !damaged) << s.message;
            if (!damaged) {
                ASSERT_TRUE(archive.findEntry("Outlook.pst")->extractToFile(dir / "out.pst"));
                EXPECT_EQ(readBytes(dir / "out.pst"), data);
                ASSERT_TRUE(archive.findEntry("tiny.txt")->extractToFile(dir / "out.txt"));
                EXPECT_EQ(readBytes(dir / "out.txt"), "hi");
                ASSERT_TRUE(archive.findEntry("noise.bin")->extractToFile(dir / "out.bin"));
                EXPECT_EQ(readBytes(dir / "out.bin"), noise);
                archive.setReadPassword("Secret-2");
                EXPECT_FALSE(archive.verifyPassword());
            }
        }
    }
}

TEST(ArchiveReading, CraftedDirectoriesAndMixedProtectionAreRefusedAtOpening) {
    const std::string pw = "pw";
    const std::string big(5000, 'x');
    struct Case {
        std::string what;
        std::vector<ZipEntrySpec> entries;
        int repeats = 0;          // copies of the first central record (overlapping entries)
        std::string refusalNames; // "" = opens
    };
    const std::vector<Case> cases = {
        {"plain", {{"a.htm", big}, {"quirebox.dat", "i"}}, 0, ""},
        {"all AES-256",
         {{"a.htm", big, false, false, ZIP_EM_AES_256, pw},
          {"quirebox.dat", "i", false, false, ZIP_EM_AES_256, pw}},
         0,
         ""},
        {"all traditional",
         {{"a.htm", big, false, false, ZIP_EM_TRAD_PKWARE, pw},
          {"quirebox.dat", "i", false, false, ZIP_EM_TRAD_PKWARE, pw}},
         0,
         ""},
        {"a plain entry in a protected backup",
         {{"a.htm", big}, {"quirebox.dat", "i", false, false, ZIP_EM_AES_256, pw}},
         0,
         "\"a.htm\""},
        {"another strength",
         {{"a.htm", big, false, false, ZIP_EM_AES_128, pw},
          {"quirebox.dat", "i", false, false, ZIP_EM_AES_256, pw}},
         0,
         "\"a.htm\""},
        {"another method",
         {{"a.htm", big, false, false, ZIP_EM_TRAD_PKWARE, pw},
          {"quirebox.dat", "i", false, false, ZIP_EM_AES_256, pw}},
         0,
         "\"a.htm\""},
        {"a plain information file beside protected entries",
         {{"a.htm", big, false, false, ZIP_EM_AES_256, pw}, {"quirebox.dat", "i"}},
         0,
         "\"quirebox.dat\""},
        {"61 entries on one stored block", {{"a.pst", big}, {"quirebox.dat", "i"}}, 60, "overlap"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        const fs::path zip = dir / "c.qob";
        makeZip(zip, c.entries);
        if (c.repeats > 0) {
            test::repeatFirstCentralRecord(zip, c.repeats);
        }
        Archive archive;
        Status s = archive.openArchive(zip);
        if (c.refusalNames.empty()) {
            EXPECT_TRUE(s) << s.message;
            EXPECT_TRUE(archive.openRefusal().empty());
            continue;
        }
        EXPECT_FALSE(s);
        EXPECT_NE(s.message.find(c.refusalNames), std::string::npos) << s.message;
        EXPECT_EQ(archive.openRefusal().empty(), false);
        EXPECT_FALSE(archive.isOpen());
        EXPECT_FALSE(archive.findEntry("a.htm"));
    }
}

TEST(ArchiveReading, NamesAreIndexedOnceForManyLookups) {
    // Tens of thousands of entries, each looked up by name: a list rebuilt per lookup took
    // minutes here (beyond the test time-out); the index, a second. Duplicates keep the first; other case
    // finds the exact name before another one.
    TempDir dir;
    std::vector<ZipEntrySpec> entries;
    constexpr int kCount = 50000;
    for (int i = 0; i < kCount; ++i) {
        entries.push_back({"e" + std::to_string(i) + ".txt", ""});
    }
    entries.push_back({"Mixed.TXT", "upper"});
    entries.push_back({"mixed.txt", "lower"});
    makeZip(dir / "many.zip", entries);
    Archive archive;
    ASSERT_TRUE(archive.openArchive(dir / "many.zip"));
    ASSERT_EQ(archive.entryCount(), kCount + 2);
    for (int i = 0; i < kCount; ++i) {
        auto e = archive.findEntry("E" + std::to_string(i) + ".TXT");
        ASSERT_TRUE(e);
        ASSERT_EQ(e->info().index, static_cast<std::uint64_t>(i));
    }
    EXPECT_EQ(archive.findEntry("mixed.txt")->info().index, static_cast<std::uint64_t>(kCount + 1));
    EXPECT_EQ(archive.findEntry("MIXED.txt")->info().index, static_cast<std::uint64_t>(kCount));
    EXPECT_FALSE(archive.findEntry("e50000.txt"));
}

TEST(ArchiveReading, ProtectedEntriesAreWrittenAeOneWithTheirCrcAndAeTwoBelowTwentyBytes) {
    TempDir dir;
    const std::vector<std::pair<std::string, std::string>> files = {{"empty.txt", ""},
                                                                    {"nineteen.txt", std::string(19, 'n')},
                                                                    {"twenty.txt", std::string(20, 't')},
                                                                    {"big.pst", test::mixedBytes(70000, 4)}};
    Archive archive;
    ASSERT_TRUE(archive.createArchive(dir / "p.qob"));
    archive.setProtected(true);
    archive.setWritePassword("pw");
    for (const auto& [name, data] : files) {
        writeBytes(dir / name, data);
        ASSERT_TRUE(archive.addFiles(dir / name));
    }
    ASSERT_TRUE(archive.writeArchive());

    const int fd = ::open((dir / "p.qob").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    std::string why;
    auto directory = readCentralDirectory(fd, why);
    ::close(fd);
    ASSERT_TRUE(directory) << why;
    ASSERT_EQ(directory->entries.size(), files.size());
    const std::string bytes = readBytes(dir / "p.qob");
    for (std::size_t i = 0; i < files.size(); ++i) {
        const CentralEntry& e = directory->entries[i];
        SCOPED_TRACE(files[i].first);
        const bool small = files[i].second.size() < 20;
        EXPECT_EQ(e.aesVersion, small ? 2 : 1);
        EXPECT_EQ(e.aesStrength, 3);
        const std::uint32_t crc = static_cast<std::uint32_t>(::crc32(
            0, reinterpret_cast<const unsigned char*>(files[i].second.data()), files[i].second.size()));
        EXPECT_EQ(e.crc, small ? 0u : crc);
        // The local header says the same.
        const std::size_t local = static_cast<std::size_t>(e.localOffset);
        const auto le32 = [&](std::size_t at) {
            return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at])) |
                   static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 1])) << 8 |
                   static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 2])) << 16 |
                   static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 3])) << 24;
        };
        EXPECT_EQ(le32(local + 14), e.crc);
        const std::size_t aesField = local + 30 + e.rawName.size();
        EXPECT_EQ(static_cast<unsigned char>(bytes[aesField + 4]), small ? 2 : 1);
    }

    // Other tools read both kinds.
    const std::string file = (dir / "p.qob").string();
    if (toolPresent("7z")) {
        EXPECT_EQ(std::system(("7z t -ppw '" + file + "' >/dev/null 2>&1").c_str()), 0);
    }
    if (toolPresent("bsdtar")) {
        for (const auto& [name, data] : files) {
            const std::string cmd = "bsdtar -xOf '" + file + "' --passphrase pw " + name + " 2>/dev/null";
            std::string out;
            if (FILE* p = ::popen(cmd.c_str(), "r")) {
                char buf[4096];
                for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) {
                    out.append(buf, n);
                }
                EXPECT_EQ(::pclose(p), 0) << cmd;
            }
            EXPECT_EQ(out, data) << name;
        }
    }
    if (toolPresent("python3")) {
        // Python's zipfile lists a protected archive (it cannot decrypt WinZip AES).
        const std::string py =
            "python3 -c \"import zipfile,sys; z=zipfile.ZipFile(sys.argv[1]); "
            "assert [i.filename for i in z.infolist()]==['empty.txt','nineteen.txt',"
            "'twenty.txt','big.pst']; assert all(i.flag_bits & 1 for i in z.infolist())\" '" +
            file + "'";
        EXPECT_EQ(std::system(py.c_str()), 0) << py;
    }

    // Unprotected, every tool reads and checks every entry.
    Archive plain;
    ASSERT_TRUE(plain.createArchive(dir / "u.qob"));
    for (const auto& entry : files) {
        ASSERT_TRUE(plain.addFiles(dir / entry.first));
    }
    ASSERT_TRUE(plain.writeArchive());
    const std::string unprotected = (dir / "u.qob").string();
    if (toolPresent("python3")) {
        const std::string py =
            "python3 -c \"import zipfile,sys; assert zipfile.ZipFile(sys.argv[1]).testzip() is None\" '" +
            unprotected + "'";
        EXPECT_EQ(std::system(py.c_str()), 0) << py;
    }
    if (toolPresent("bsdtar")) {
        fs::create_directories(dir / "x");
        EXPECT_EQ(std::system(("bsdtar -xf '" + unprotected + "' -C '" + (dir / "x").string() + "'").c_str()),
                  0);
        for (const auto& [name, data] : files) {
            EXPECT_EQ(readBytes(dir / "x" / name), data) << name;
        }
    }
    if (toolPresent("unzip")) {
        EXPECT_EQ(std::system(("unzip -tq '" + unprotected + "' >/dev/null 2>&1").c_str()), 0);
    }
}

} // namespace
} // namespace qob
