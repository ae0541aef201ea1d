// Reading entries back through the inflating thread and its ring of blocks: every size around a
// block's edge, every kind of data, stored and deflated, protected or not; damage of each kind is
// reported with the entry's name and leaves no file behind.
#include "archive/EntryReader.h"
#include "archive/Archive.h"
#include "platform/PathText.h"

#include "TestPaths.h"
#include "ZipTools.h"

#include <gtest/gtest.h>

#include <zip.h>
#include <zlib.h>

#include <stdexcept>

namespace qob {
namespace {

namespace fs = std::filesystem;
using test::listFolder;
using test::readBytes;
using test::TempDir;
using test::writeBytes;

constexpr std::size_t kBlock = kEntryBlockSize;

std::string makeData(char kind, std::size_t size) {
    std::string out;
    out.reserve(size);
    std::uint32_t x = 2463534242u;
    while (out.size() < size) {
        if (kind == 'r') {
            x ^= x << 13;
            x ^= x >> 17;
            x ^= x << 5;
            out.push_back(static_cast<char>(x));
        } else if (kind == 't') {
            out += "From: user" + std::to_string(out.size() % 977) + "@example.com\r\nSubject: numbers\r\n";
        } else {
            out.push_back('\0');
        }
    }
    out.resize(size);
    return out;
}

std::string le32(std::uint32_t v) {
    return std::string{static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
                       static_cast<char>(v >> 24)};
}

std::uint32_t crcOf(const std::string& data) {
    return static_cast<std::uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
}

TEST(EntryReader, EverySizeAroundABlockRoundTrips) {
    const std::vector<std::size_t> sizes = {0, 1, kBlock - 1, kBlock, kBlock + 1, 4 * kBlock + 3};
    for (bool protect : {false, true}) {
        for (int level : {0, 6}) {
            SCOPED_TRACE(std::string(protect ? "protected" : "unprotected") + ", level " +
                         std::to_string(level));
            TempDir dir;
            fs::create_directories(dir / "in");
            fs::create_directories(dir / "out");
            std::vector<std::pair<std::string, std::string>> files;
            Archive zip1;
            ASSERT_TRUE(zip1.createArchive(dir / "a.qob"));
            for (char kind : {'t', 'r', 'z'}) {
                for (std::size_t size : sizes) {
                    const std::string name = std::string(1, kind) + std::to_string(size) + ".pst";
                    files.emplace_back(name, makeData(kind, size));
                    writeBytes(dir / "in" / name, files.back().second);
                    ASSERT_TRUE(zip1.addFiles(dir / "in" / name));
                }
            }
            zip1.setProtected(protect);
            zip1.setPassword("pw");
            ASSERT_TRUE(zip1.setCompressionLevel(level));
            ASSERT_TRUE(zip1.writeArchive());

            ASSERT_TRUE(zip1.openArchive(dir / "a.qob"));
            std::vector<int> percents;
            std::uint64_t lastDone = 0;
            zip1.events().extractProgress = [&](int p) { percents.push_back(p); };
            zip1.events().bytes = [&](const std::string&, std::uint64_t done, std::uint64_t) {
                lastDone = done;
            };
            for (const auto& [name, data] : files) {
                percents.clear();
                lastDone = 0;
                Status s = zip1.findEntry(name)->extractTo(dir / "out");
                ASSERT_TRUE(s) << name << ": " << s.message;
                EXPECT_TRUE(readBytes(dir / "out" / name) == data) << name;
                EXPECT_EQ(lastDone, data.size()) << name;
                if (!data.empty()) {
                    ASSERT_FALSE(percents.empty()) << name;
                    EXPECT_EQ(percents.back(), 100) << name;
                }
            }
            EXPECT_EQ(listFolder(dir / "out").size(), files.size()); // no temporary file left
            Status v = zip1.verify();
            EXPECT_TRUE(v) << v.message;
        }
    }
}

// An entry of `data`, with the given compression method; libzip writes it.
void zipWithMethod(const fs::path& file, const std::string& data, std::int32_t method) {
    int err = 0;
    zip_t* z = zip_open(qob::pathText(file).c_str(), ZIP_CREATE | ZIP_TRUNCATE, &err);
    zip_source_t* src = zip_source_buffer(z, data.data(), data.size(), 0);
    const zip_int64_t i = zip_file_add(z, "mail.pst", src, 0);
    if (i < 0 || zip_set_file_compression(z, static_cast<zip_uint64_t>(i), method, 0) != 0 ||
        zip_close(z) != 0) {
        throw std::runtime_error("cannot write the test archive");
    }
}

TEST(EntryReader, DamageIsReportedByNameAndLeavesNoFile) {
    const std::string data = makeData('t', 3 * kBlock) + makeData('r', kBlock / 2);
    struct Case {
        const char* what;
        std::function<void(const fs::path& zip, std::uint64_t compressedSize)> damage;
        const char* expected;
    };
    const std::vector<Case> cases = {
        {"a flipped byte in the deflate data",
         [](const fs::path& zip, std::uint64_t) { test::flipByteInEntry(zip, "mail.pst"); }, "damaged"},
        {"a wrong CRC",
         [&](const fs::path& zip, std::uint64_t) {
             test::patchBytes(zip, le32(crcOf(data)), le32(crcOf(data) ^ 0x100));
         },
         "CRC mismatch"},
        {"compressed data cut short",
         [](const fs::path& zip, std::uint64_t csize) {
             test::patchBytes(zip, le32(static_cast<std::uint32_t>(csize)),
                              le32(static_cast<std::uint32_t>(csize / 2)));
         },
         "ends before the entry does"},
        {"a larger size recorded",
         [&](const fs::path& zip, std::uint64_t) {
             test::patchBytes(zip, le32(static_cast<std::uint32_t>(data.size())),
                              le32(static_cast<std::uint32_t>(data.size() + 1)));
         },
         "bytes, not the"},
        {"a method this program does not read",
         [&](const fs::path& zip, std::uint64_t) { zipWithMethod(zip, data, ZIP_CM_BZIP2); },
         "compression method this program cannot read (method 12)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        const fs::path zip = dir / "bad.qob";
        test::makeZip(zip, {{"mail.pst", data}, {"quirebox.dat", "BackupItem=01000000000\r\n"}});
        Archive zip1;
        ASSERT_TRUE(zip1.openArchive(zip));
        const std::uint64_t csize = zip1.findEntry("mail.pst")->info().compressedSize;
        zip1.closeArchive();
        c.damage(zip, csize);

        fs::create_directories(dir / "out");
        ASSERT_TRUE(zip1.openArchive(zip));
        auto entry = zip1.findEntry("mail.pst");
        ASSERT_TRUE(entry);
        Status s = entry->extractTo(dir / "out");
        EXPECT_FALSE(s);
        EXPECT_NE(s.message.find("\"mail.pst\""), std::string::npos) << s.message;
        EXPECT_NE(s.message.find(c.expected), std::string::npos) << s.message;
        fs::path temp;
        EXPECT_FALSE(entry->extractToTemp(dir / "out" / "mail.pst", temp));
        EXPECT_TRUE(listFolder(dir / "out").empty());
        Status v = zip1.verify();
        EXPECT_FALSE(v);
        EXPECT_NE(v.message.find(c.expected), std::string::npos) << v.message;
    }
}

TEST(EntryReader, AProtectedEntryIsAuthenticatedToItsLastByte) {
    // The authentication code follows the deflate stream: an inflater that stops at the stream's
    // end never lets libzip compare it.
    TempDir dir;
    writeBytes(dir / "mail.pst", makeData('t', kBlock + 5));
    writeBytes(dir / "quirebox.dat", "BackupItem=01000000000\r\n");
    Archive zip1;
    ASSERT_TRUE(zip1.createArchive(dir / "a.qob"));
    ASSERT_TRUE(zip1.addFiles(dir / "mail.pst"));
    ASSERT_TRUE(zip1.addFiles(dir / "quirebox.dat"));
    zip1.setProtected(true);
    zip1.setPassword("pw");
    ASSERT_TRUE(zip1.writeArchive());
    std::string bytes = readBytes(dir / "a.qob");
    const std::size_t next = bytes.find("PK\x03\x04", 4); // quirebox.dat's header follows the code
    ASSERT_NE(next, std::string::npos);
    bytes[next - 1] = static_cast<char>(bytes[next - 1] ^ 1);
    writeBytes(dir / "a.qob", bytes);
    fs::create_directories(dir / "out");
    ASSERT_TRUE(zip1.openArchive(dir / "a.qob"));
    Status s = zip1.findEntry("mail.pst")->extractTo(dir / "out");
    EXPECT_FALSE(s);
    EXPECT_NE(s.message.find("\"mail.pst\""), std::string::npos) << s.message;
    EXPECT_TRUE(listFolder(dir / "out").empty());
}

TEST(EntryReader, ADamagedProtectedEntryFailsWhereverTheDamageIs) {
    // The protected data is decrypted on a thread ahead of the inflater: whichever block holds
    // the damage, the first, a middle one or the very last before the code, nothing is kept.
    struct Case {
        const char* what;
        char kind;
        std::size_t size;
        int level;
        double at; // where in the encrypted data, as a share; 1 = the code after it
    };
    const std::vector<Case> cases = {
        {"text, first byte", 't', 3 * kBlock, 6, 0.0},
        {"text, last byte", 't', 3 * kBlock, 6, 0.999999},
        {"text, the code", 't', 3 * kBlock, 6, 1.0},
        {"random, middle", 'r', 3 * kBlock + 7, 6, 0.5},
        {"random, last byte", 'r', 3 * kBlock + 7, 6, 0.999999},
        {"random stored, last byte", 'r', kBlock + 1, 0, 0.999999},
        {"random stored, the code", 'r', kBlock + 1, 0, 1.0},
        {"zeros, last byte", 'z', 5 * kBlock, 6, 0.999999},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        writeBytes(dir / "mail.pst", makeData(c.kind, c.size));
        Archive zip1;
        ASSERT_TRUE(zip1.createArchive(dir / "a.qob"));
        ASSERT_TRUE(zip1.addFiles(dir / "mail.pst"));
        zip1.setProtected(true);
        zip1.setPassword("pw");
        ASSERT_TRUE(zip1.setCompressionLevel(c.level));
        ASSERT_TRUE(zip1.writeArchive());
        ASSERT_TRUE(zip1.openArchive(dir / "a.qob"));
        const std::uint64_t stored = zip1.findEntry("mail.pst")->info().compressedSize;
        zip1.closeArchive();

        std::string bytes = readBytes(dir / "a.qob");
        const auto u16 = [&](std::size_t at) {
            return static_cast<std::size_t>(static_cast<unsigned char>(bytes[at]) |
                                            static_cast<unsigned char>(bytes[at + 1]) << 8);
        };
        const std::size_t data = 30 + u16(26) + u16(28) + 18; // after the salt and the verifier
        const std::size_t cipher = static_cast<std::size_t>(stored) - 18 - 10;
        const std::size_t at =
            c.at >= 1.0 ? data + cipher + 9 : data + static_cast<std::size_t>(cipher * c.at);
        ASSERT_LT(at, bytes.size());
        bytes[at] = static_cast<char>(bytes[at] ^ 0x20);
        writeBytes(dir / "a.qob", bytes);

        fs::create_directories(dir / "out");
        ASSERT_TRUE(zip1.openArchive(dir / "a.qob"));
        auto entry = zip1.findEntry("mail.pst");
        ASSERT_TRUE(entry);
        Status s = entry->extractTo(dir / "out");
        EXPECT_FALSE(s);
        EXPECT_NE(s.message.find("\"mail.pst\""), std::string::npos) << s.message;
        EXPECT_TRUE(listFolder(dir / "out").empty());
        EXPECT_FALSE(zip1.verify());
    }
}

TEST(EntryReader, AStopOrAThrowMidwayLeavesNothing) {
    TempDir dir;
    const std::string data = makeData('t', 6 * kBlock);
    test::makeZip(dir / "a.qob", {{"mail.pst", data}});
    fs::create_directories(dir / "out");
    Archive zip1;
    ASSERT_TRUE(zip1.openArchive(dir / "a.qob"));
    int asked = 0;
    zip1.events().stopRequested = [&] { return ++asked > 2; };
    Status s = zip1.findEntry("mail.pst")->extractTo(dir / "out");
    EXPECT_TRUE(s.cancelled) << s.message;
    EXPECT_TRUE(listFolder(dir / "out").empty());
    asked = 0;
    EXPECT_TRUE(zip1.verify().cancelled);
    zip1.events().stopRequested = nullptr;
    // A handler that throws leaves the same way: the inflating thread is stopped, nothing is kept.
    zip1.events().extractProgress = [](int percent) {
        if (percent > 20) {
            throw std::runtime_error("window closed");
        }
    };
    EXPECT_THROW(zip1.findEntry("mail.pst")->extractTo(dir / "out"), std::runtime_error);
    EXPECT_TRUE(listFolder(dir / "out").empty());
    zip1.events().extractProgress = nullptr;
    ASSERT_TRUE(zip1.findEntry("mail.pst")->extractTo(dir / "out")); // the reader is usable again
    EXPECT_TRUE(readBytes(dir / "out" / "mail.pst") == data);
}

TEST(EntryReader, TheCacheOfTheOpenArchiveIsDroppedOnRequest) {
    TempDir dir;
    test::makeZip(dir / "a.qob", {{"quirebox.dat", "BackupItem=01000000000\r\n"}});
    std::vector<fs::path> dropped;
    Archive zip1;
    zip1.setCacheDropFunction([&](const fs::path& file) { dropped.push_back(file); });
    zip1.dropCachedPages(); // nothing open: nothing to drop
    ASSERT_TRUE(zip1.openArchive(dir / "a.qob"));
    zip1.dropCachedPages();
    EXPECT_EQ(dropped, std::vector<fs::path>{dir / "a.qob"});
    Archive plain; // the real flush and drop, on a file that is in use
    ASSERT_TRUE(plain.openArchive(dir / "a.qob"));
    plain.dropCachedPages();
    EXPECT_TRUE(plain.verify());
}

} // namespace
} // namespace qob
