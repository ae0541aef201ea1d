// The archive writer against libzip (the reader the restore uses), 7-Zip and UnZip: layout, AES,
// Zip64 (with a lowered threshold, since real 4 GiB entries are too slow for a test), cancel.
#include "archive/ZipWriter.h"
#include "archive/Archive.h"
#include "archive/WinZipAes.h"

#include "TestPaths.h"
#include "ZipTools.h"

#include <gtest/gtest.h>

#include <zip.h>
#include <zlib.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace qob {
namespace {

namespace fs = std::filesystem;
using test::mixedBytes;
using test::readBytes;
using test::TempDir;
using test::writeBytes;

const std::string kPassword = "s3cr3t pässwörd";
const std::time_t kMtime = 1714972089; // 2024-05-06, an even second

struct Item {
    std::string name;
    std::string data;
};

// Writes `items` stored with our writer; "" as password writes them unencrypted.
Status writeStored(const fs::path& file, const std::vector<Item>& items, const std::string& password,
                   ZipWriter::Options options = {}) {
    int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        return Status::failure("cannot create " + file.string());
    }
    ZipWriter zip(fd, password, options);
    Status s = Status::success();
    for (const Item& item : items) {
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(item.data.data());
        ZipWriter::EntryStart start{item.name, kMtime, ZipWriter::Method::Store, item.data.size(),
                                    item.data.size()};
        // Odd pieces: the cipher must carry its keystream position across calls.
        std::size_t at = 0, piece = 7;
        s = zip.beginEntry(start);
        while (s && at < item.data.size()) {
            std::size_t n = std::min(piece, item.data.size() - at);
            s = zip.write(bytes + at, n);
            at += n;
            piece = piece * 3 + 1;
        }
        if (!s || !(s = zip.endEntry(static_cast<std::uint32_t>(crc32_z(0, bytes, item.data.size())),
                                     item.data.size()))) {
            break;
        }
    }
    if (s) {
        s = zip.finish();
    }
    ::close(fd);
    return s;
}

// Every entry read back through libzip; "" when all match, else what differs.
std::string readBackProblems(const fs::path& file, const std::vector<Item>& items, const char* password) {
    int err = 0;
    zip_t* z = zip_open(file.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &err);
    if (!z) {
        return "libzip cannot open it: error " + std::to_string(err);
    }
    std::string problems;
    if (zip_get_num_entries(z, 0) != static_cast<zip_int64_t>(items.size())) {
        problems += "entry count; ";
    }
    for (std::size_t i = 0; i < items.size() && problems.empty(); ++i) {
        zip_file_t* f = zip_fopen_index_encrypted(z, i, 0, password);
        std::string got(items[i].data.size() + 1, '\0');
        zip_int64_t n = f ? zip_fread(f, got.data(), got.size()) : -1;
        if (!f || n != static_cast<zip_int64_t>(items[i].data.size()) || zip_fclose(f) != 0 ||
            got.substr(0, items[i].data.size()) != items[i].data) {
            problems += items[i].name + " reads wrong; ";
        }
        const char* name = zip_get_name(z, i, 0);
        if (!name || items[i].name != name) {
            problems += "name of " + items[i].name + "; ";
        }
    }
    zip_discard(z);
    return problems;
}

bool toolPresent(const char* tool) {
    return std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0;
}

int run(const std::string& cmd) {
    return std::system((cmd + " >/dev/null 2>&1").c_str());
}

std::vector<Item> sizedItems() {
    std::vector<Item> items;
    for (std::size_t size : {0, 1, 15, 16, 17, 19, 20, 65535, 65536, 65537, 3 * 1024 * 1024 + 5}) {
        items.push_back(
            {"e" + std::to_string(size) + ".bin", mixedBytes(size, static_cast<std::uint32_t>(size) + 3)});
    }
    items.push_back({"Übersicht ä.txt", "Grüße\r\n"});
    return items;
}

TEST(ZipWriter, EntriesOfEverySizeReadBackWithAndWithoutPassword) {
    TempDir dir;
    const std::vector<Item> items = sizedItems();
    for (bool aes : {false, true}) {
        SCOPED_TRACE(aes ? "AES" : "plain");
        const fs::path file = dir / (aes ? "aes.zip" : "plain.zip");
        ASSERT_TRUE(writeStored(file, items, aes ? kPassword : ""));
        EXPECT_EQ(readBackProblems(file, items, aes ? kPassword.c_str() : nullptr), "");
        if (aes) {
            // The verifier lets 1 in 65536 wrong passwords in; the authentication code or CRC then fails.
            EXPECT_NE(readBackProblems(file, items, "wrong password"), "");
        }
        if (toolPresent("7z")) {
            const std::string p = aes ? "'-p" + kPassword + "' " : "";
            EXPECT_EQ(run("7z t " + p + "'" + file.string() + "'"), 0);
            if (aes) {
                EXPECT_NE(run("7z t -pwrong '" + file.string() + "'"), 0);
            }
        }
        if (!aes && toolPresent("unzip")) {
            EXPECT_EQ(run("unzip -t '" + file.string() + "'"), 0);
        }
    }
}

TEST(ZipWriter, StoredEntriesAreByteForByteWhatLibzipWrites) {
    TempDir dir;
    const std::vector<Item> items = {{"small.txt", "hello world\n"},
                                     {"Übersicht ä.txt", "Grüße\r\n"},
                                     {"empty.dat", ""},
                                     {"r.bin", mixedBytes(70000, 5)}};
    int err = 0;
    zip_t* z = zip_open((dir / "libzip.zip").c_str(), ZIP_CREATE | ZIP_TRUNCATE, &err);
    ASSERT_TRUE(z);
    for (const Item& item : items) {
        zip_source_t* src = zip_source_buffer(z, item.data.data(), item.data.size(), 0);
        zip_int64_t i = zip_file_add(z, item.name.c_str(), src, ZIP_FL_ENC_UTF_8);
        ASSERT_GE(i, 0);
        zip_set_file_compression(z, static_cast<zip_uint64_t>(i), ZIP_CM_STORE, 0);
        zip_file_set_mtime(z, static_cast<zip_uint64_t>(i), kMtime, 0);
    }
    ASSERT_EQ(zip_close(z), 0);
    ASSERT_TRUE(writeStored(dir / "ours.zip", items, ""));
    EXPECT_TRUE(readBytes(dir / "ours.zip") == readBytes(dir / "libzip.zip"));
}

TEST(ZipWriter, Zip64FieldsAreReadWhereverTheyAreNeeded) {
    TempDir dir;
    const std::vector<Item> items = {
        {"a.txt", "short"}, {"big.bin", mixedBytes(5000, 8)}, {"c.bin", mixedBytes(900, 9)}};
    for (bool aes : {false, true}) {
        SCOPED_TRACE(aes ? "AES" : "plain");
        const fs::path file = dir / (aes ? "aes64.zip" : "plain64.zip");
        // From 1000 bytes up: big.bin's sizes and c.bin's offset and the directory's place need Zip64.
        ASSERT_TRUE(writeStored(file, items, aes ? kPassword : "", {64 * 1024, 1000}));
        const std::string bytes = readBytes(file);
        EXPECT_NE(bytes.find(std::string("PK\x06\x06", 4)), std::string::npos) << "no Zip64 end record";
        EXPECT_EQ(readBackProblems(file, items, aes ? kPassword.c_str() : nullptr), "");
        if (toolPresent("7z")) {
            EXPECT_EQ(run("7z t " + (aes ? "'-p" + kPassword + "' " : "") + "'" + file.string() + "'"), 0);
        }
        if (!aes && toolPresent("unzip")) {
            EXPECT_EQ(run("unzip -t '" + file.string() + "'"), 0);
        }
    }
    // Data beyond what the entry's local header was prepared for fails instead of lying.
    int fd = ::open((dir / "over.zip").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ZipWriter zip(fd, "", {64 * 1024, 1000});
    ASSERT_TRUE(zip.beginEntry({"x", kMtime, ZipWriter::Method::Store, 10, 10}));
    const std::string data = mixedBytes(2000, 1);
    ASSERT_TRUE(zip.write(reinterpret_cast<const std::uint8_t*>(data.data()), data.size()));
    EXPECT_FALSE(zip.endEntry(0, data.size()));
    EXPECT_FALSE(zip.finish());
    ::close(fd);
}

TEST(WinZipAes, DecryptsWhatLibzipEncrypts) {
    TempDir dir;
    const std::string data = mixedBytes(200000, 4);
    const fs::path file = dir / "libzip-aes.zip";
    int err = 0;
    zip_t* z = zip_open(file.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &err);
    ASSERT_TRUE(z);
    zip_source_t* src = zip_source_buffer(z, data.data(), data.size(), 0);
    ASSERT_EQ(zip_file_add(z, "x.bin", src, 0), 0);
    zip_set_file_compression(z, 0, ZIP_CM_STORE, 0);
    zip_file_set_encryption(z, 0, ZIP_EM_AES_256, kPassword.c_str());
    ASSERT_EQ(zip_close(z), 0);

    std::string bytes = readBytes(file);
    auto u16 = [&](std::size_t at) {
        return std::size_t(std::uint8_t(bytes[at])) | std::size_t(std::uint8_t(bytes[at + 1])) << 8;
    };
    const std::size_t start = 30 + u16(26) + u16(28);
    auto* header = reinterpret_cast<std::uint8_t*>(bytes.data() + start);
    std::uint8_t* body = header + WinZipAes::kHeaderSize;
    const std::string trailer =
        bytes.substr(start + WinZipAes::kHeaderSize + data.size(), WinZipAes::kTrailerSize);

    std::string why;
    auto wrong = WinZipAes::forReading("wrong", header, why);
    if (wrong) { // 1 in 65536 passes the verifier; the authentication code catches it
        std::string copy(reinterpret_cast<char*>(body), data.size());
        wrong->decrypt(reinterpret_cast<std::uint8_t*>(copy.data()), copy.size());
        auto code = wrong->trailer();
        EXPECT_NE(std::string(code.begin(), code.end()), trailer);
    } else {
        EXPECT_EQ(why, "wrong password");
    }
    auto aes = WinZipAes::forReading(kPassword, header, why);
    ASSERT_TRUE(aes) << why;
    // In uneven pieces, across the 64 KiB keystream batches.
    for (std::size_t at = 0, piece = 1; at < data.size(); at += piece, piece = piece * 5 + 3) {
        aes->decrypt(body + at, std::min(piece, data.size() - at));
    }
    EXPECT_TRUE(std::memcmp(body, data.data(), data.size()) == 0);
    auto code = aes->trailer();
    EXPECT_EQ(std::string(code.begin(), code.end()), trailer);
}

TEST(Archive, ACancelledWriteSaysSoAndKeepsTheEarlierBackup) {
    TempDir dir;
    // Several compression chunks, so that the write is still under way when it is stopped.
    writeBytes(dir / "a.pst", mixedBytes(16 * 1024 * 1024, 2));
    for (int level : {0, 6}) {
        SCOPED_TRACE(level);
        Archive zip1;
        ASSERT_TRUE(zip1.setCompressionLevel(level));
        writeBytes(dir / "b.qob", "earlier backup");
        int calls = 0;
        zip1.events().stopRequested = [&calls] { return ++calls > 2; };
        ASSERT_TRUE(zip1.createArchive(dir / "b.qob"));
        ASSERT_TRUE(zip1.addFiles(dir / "a.pst"));
        zip1.setProtected(true);
        zip1.setPassword(kPassword);
        Status s = zip1.writeArchive();
        EXPECT_TRUE(s.cancelled);
        EXPECT_EQ(s.message.rfind("The backup was cancelled; ", 0), 0u) << s.message;
        EXPECT_EQ(readBytes(dir / "b.qob"), "earlier backup");
        EXPECT_EQ(test::listFolder(dir.path()), (std::set<std::string>{"a.pst", "b.qob"}));
    }
}

} // namespace
} // namespace qob
