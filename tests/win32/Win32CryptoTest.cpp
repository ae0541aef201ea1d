// WinZip AES on Windows' CNG: known answers computed independently (PBKDF2-HMAC-SHA1, AES-256 in
// counter mode, HMAC-SHA1), a backup written by the Linux build opens here, and one written here
// reads back whole.
#include "archive/Archive.h"
#include "archive/WinZipAes.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

using namespace qob;
namespace fs = std::filesystem;

namespace {

const std::string kPlain = "The quick brown fox jumps over the lazy dog";
// password "password", salt 00 01 … 0f: the cipher text and the first 10 bytes of the HMAC, from
// Python's hashlib/hmac and `openssl enc -aes-256-ecb` over the counter blocks 1, 2, 3.
const std::vector<std::uint8_t> kCipher = {0xdf, 0xbc, 0xaf, 0x7b, 0xa9, 0x44, 0xfe, 0xc0, 0x26, 0x67, 0xf6,
                                           0xf2, 0xd4, 0xd2, 0x56, 0x66, 0x4b, 0x08, 0x89, 0xe9, 0xa6, 0xac,
                                           0x9e, 0x91, 0x67, 0xba, 0xcc, 0x9b, 0x49, 0xc1, 0xe8, 0xe6, 0x1e,
                                           0x09, 0xa4, 0x97, 0xa2, 0xcc, 0x00, 0x60, 0xc9, 0x6b, 0x30};
const WinZipAes::Trailer kMac = {0x5f, 0x6e, 0x22, 0x6c, 0x8a, 0xc0, 0x68, 0xff, 0x7f, 0x73};

std::array<std::uint8_t, WinZipAes::kHeaderSize> knownHeader() {
    std::array<std::uint8_t, WinZipAes::kHeaderSize> h{};
    for (std::size_t i = 0; i < WinZipAes::kSaltSize; ++i) {
        h[i] = static_cast<std::uint8_t>(i);
    }
    h[16] = 0x25; // the password verifier
    h[17] = 0x6b;
    return h;
}

TEST(Win32CryptoTest, KnownAnswerInPiecesOfAnySize) {
    for (std::size_t piece : {std::size_t{1}, std::size_t{7}, std::size_t{16}, std::size_t{43}}) {
        std::string why;
        auto aes = WinZipAes::forReading("password", knownHeader().data(), why);
        ASSERT_TRUE(aes) << why;
        std::vector<std::uint8_t> data = kCipher;
        for (std::size_t at = 0; at < data.size(); at += piece) {
            aes->decrypt(data.data() + at, std::min(piece, data.size() - at));
        }
        EXPECT_EQ(std::string(data.begin(), data.end()), kPlain) << piece;
        EXPECT_EQ(aes->trailer(), kMac) << piece;
    }
    std::string why;
    auto wrong = WinZipAes::forReading("Password", knownHeader().data(), why);
    EXPECT_FALSE(wrong);
    EXPECT_EQ(why, "wrong password");
}

TEST(Win32CryptoTest, WritingUsesFreshSaltsAndReadsBack) {
    std::string why;
    auto a = WinZipAes::forWriting("s3cr3t pässwörd", why);
    auto b = WinZipAes::forWriting("s3cr3t pässwörd", why);
    ASSERT_TRUE(a && b) << why;
    EXPECT_NE(a->header(), b->header());
    std::vector<std::uint8_t> data(200000);
    for (std::size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<std::uint8_t>(i * 31);
    }
    const auto original = data;
    a->encrypt(data.data(), data.size());
    EXPECT_NE(data, original);
    const auto header = a->header();
    auto reader = WinZipAes::forReading("s3cr3t pässwörd", header.data(), why);
    ASSERT_TRUE(reader) << why;
    reader->decrypt(data.data(), data.size());
    EXPECT_EQ(data, original);
    EXPECT_EQ(reader->trailer(), a->trailer());
}

TEST(Win32CryptoTest, LinuxBackupOpensAndWindowsBackupReadsBack) {
    // Written by the Linux build (the fuzzers' seed), protected with "fuzz-password".
    const fs::path linuxBackup = fs::path(QOB_SOURCE_DIR) / "bench/fuzz/corpus/backup_file/protected.qob";
    {
        Archive archive;
        ASSERT_TRUE(archive.isPasswordProtected(linuxBackup));
        ASSERT_TRUE(archive.openArchive(linuxBackup));
        archive.setReadPassword("not it");
        EXPECT_FALSE(archive.verifyPassword());
        archive.setReadPassword("fuzz-password");
        EXPECT_TRUE(archive.verifyPassword());
        const Status verified = archive.verify();
        EXPECT_TRUE(verified) << verified.message;
        EXPECT_TRUE(archive.findEntry(kInfoEntryName).has_value());
    }
    const fs::path folder = fs::temp_directory_path() / "qob-win32-crypto";
    fs::remove_all(folder);
    fs::create_directories(folder / "out");
    std::string big(3 * 1024 * 1024 + 17, '\0');
    for (std::size_t i = 0; i < big.size(); ++i) {
        big[i] = static_cast<char>((i * 2654435761u) >> 13);
    }
    std::ofstream(folder / "Outlook.pst", std::ios::binary) << big;
    std::ofstream(folder / kInfoEntryName, std::ios::binary) << "[Info]\r\nkey=value\r\n";
    {
        Archive archive;
        ASSERT_TRUE(archive.createArchive(folder / "win.qob"));
        archive.setProtected(true);
        archive.setPassword("s3cr3t pässwörd");
        ASSERT_TRUE(archive.addFiles(folder / "Outlook.pst"));
        ASSERT_TRUE(archive.addFiles(folder / kInfoEntryName));
        const Status written = archive.writeArchive();
        ASSERT_TRUE(written) << written.message;
    }
    Archive archive;
    ASSERT_TRUE(archive.openArchive(folder / "win.qob"));
    archive.setReadPassword("s3cr3t pässwörd");
    ASSERT_TRUE(archive.verifyPassword());
    auto entry = archive.findEntry("Outlook.pst");
    ASSERT_TRUE(entry);
    EXPECT_TRUE(entry->info().encrypted);
    ASSERT_TRUE(entry->extractTo(folder / "out"));
    std::ifstream in(folder / "out" / "Outlook.pst", std::ios::binary);
    EXPECT_TRUE(std::string(std::istreambuf_iterator<char>(in), {}) == big);
    archive.closeArchive();
    in.close();
    fs::remove_all(folder);
}

} // namespace
