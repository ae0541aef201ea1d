#include "archive/ParallelDeflate.h"

#include "archive/Archive.h"

#include "TestPaths.h"
#include "ZipTools.h"

#include <gtest/gtest.h>
#include <zip.h>
#include <zlib.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <random>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qob {
namespace {

namespace fs = std::filesystem;
using test::mixedBytes;
using test::readBytes;
using test::TempDir;
using test::writeBytes;

constexpr std::size_t kMiB = std::size_t{1} << 20;

// Serves `data` in pieces of at most `piece` bytes, as a file read would; fails at `failAt`.
ParallelDeflate::Reader readerOver(const std::string& data, std::size_t piece = 100000,
                                   std::size_t failAt = std::string::npos) {
    auto pos = std::make_shared<std::size_t>(0);
    return [&data, piece, failAt, pos](unsigned char* out, std::size_t len) -> std::int64_t {
        if (*pos >= failAt) {
            return -1;
        }
        std::size_t n = std::min({len, piece, data.size() - *pos});
        std::memcpy(out, data.data() + *pos, n);
        *pos += n;
        return static_cast<std::int64_t>(n);
    };
}

// Drains the stream in odd-sized reads; "" with ok=false on failure.
std::string drain(ParallelDeflate& deflater, bool& ok) {
    std::string out;
    unsigned char buf[7777];
    for (;;) {
        std::int64_t n = deflater.read(buf, sizeof buf);
        if (n < 0) {
            ok = false;
            return out;
        }
        if (n == 0) {
            ok = true;
            return out;
        }
        out.append(reinterpret_cast<char*>(buf), static_cast<std::size_t>(n));
    }
}

// Inflates a raw stream; insists that it ends exactly at its last byte (one stream, one final
// block, nothing after it).
std::string inflateRaw(const std::string& stream) {
    z_stream z{};
    EXPECT_EQ(inflateInit2(&z, -15), Z_OK);
    std::string out;
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(stream.data()));
    z.avail_in = static_cast<uInt>(stream.size());
    int rc = Z_OK;
    while (rc == Z_OK) {
        char buf[65536];
        z.next_out = reinterpret_cast<Bytef*>(buf);
        z.avail_out = sizeof buf;
        rc = inflate(&z, Z_NO_FLUSH);
        out.append(buf, sizeof buf - z.avail_out);
        if (rc == Z_BUF_ERROR && z.avail_in == 0) {
            break; // the stream stopped without a final block
        }
    }
    EXPECT_EQ(rc, Z_STREAM_END) << "stream not terminated";
    EXPECT_EQ(z.avail_in, 0u) << "bytes after the final block";
    inflateEnd(&z);
    return out;
}

std::string randomBytes(std::size_t size, std::uint32_t seed) {
    std::mt19937 rng(seed);
    std::string s(size, '\0');
    for (char& c : s) {
        c = static_cast<char>(rng());
    }
    return s;
}

TEST(ParallelDeflate, StreamsInflateToTheInputAtEveryChunkBoundary) {
    const std::size_t c = 64 * 1024;
    // Text, noise (stored blocks) and zeros (long matches), each cut at and around the chunk
    // size, so chunks end in the middle of matches and of stored runs.
    const std::vector<std::pair<const char*, std::function<std::string(std::size_t)>>> kinds = {
        {"text", [](std::size_t n) { return mixedBytes(2 * n, 5).substr(n); }},
        {"random", [](std::size_t n) { return randomBytes(n, 9); }},
        {"zeros", [](std::size_t n) { return std::string(n, '\0'); }},
        {"mixed", [](std::size_t n) { return mixedBytes(n, 3); }},
    };
    for (const auto& [kind, make] : kinds) {
        for (std::size_t size : {std::size_t{0}, std::size_t{1}, c - 1, c, c + 1, 5 * c + 12345}) {
            const std::string data = make(size);
            // Joins that hold without the writer's own check of each chunk too.
            for (const auto& [level, check] :
                 {std::pair{1, true}, {6, true}, {9, true}, {1, false}, {6, false}}) {
                const ParallelDeflate::Tuning small{c, 2, 4, check};
                SCOPED_TRACE(std::string(kind) + " size " + std::to_string(size) + " level " +
                             std::to_string(level) + (check ? " checked" : ""));
                std::uint64_t progressed = 0;
                ParallelDeflate deflater(
                    level, readerOver(data), [&](std::uint64_t n) { progressed += n; }, small);
                bool ok = false;
                std::string stream = drain(deflater, ok);
                ASSERT_TRUE(ok) << deflater.error();
                EXPECT_TRUE(deflater.finished());
                EXPECT_EQ(inflateRaw(stream), data);
                EXPECT_EQ(deflater.crc(),
                          crc32_z(0, reinterpret_cast<const Bytef*>(data.data()), data.size()));
                EXPECT_EQ(deflater.inputSize(), data.size());
                EXPECT_EQ(deflater.outputSize(), stream.size());
                EXPECT_EQ(progressed, data.size());
                EXPECT_EQ(deflater.read(nullptr, 0), 0); // stays at its end
            }
        }
    }
    // The real chunk size, one level each end, several chunks.
    const std::string big = mixedBytes(5 * kMiB + 999, 11);
    for (int level : {1, 9}) {
        ParallelDeflate deflater(level, readerOver(big, 1 << 20));
        bool ok = false;
        std::string stream = drain(deflater, ok);
        ASSERT_TRUE(ok);
        EXPECT_EQ(inflateRaw(stream), big) << level;
        EXPECT_LT(stream.size(), big.size());
    }
}

TEST(ParallelDeflate, RandomCutsOfRandomDataAlwaysJoinIntoOneStream) {
    std::mt19937 rng(17);
    const std::string text = mixedBytes(300000, 8);
    const std::string noise = randomBytes(300000, 12);
    for (int round = 0; round < 300; ++round) {
        // Pieces of text, noise, zeros and short repeats, in random sizes and order.
        std::string data;
        const std::size_t target = rng() % 400000;
        while (data.size() < target) {
            const std::size_t n = 1 + rng() % 30000;
            switch (rng() % 4) {
            case 0:
                data += text.substr(rng() % (text.size() - n), n);
                break;
            case 1:
                data += noise.substr(rng() % (noise.size() - n), n);
                break;
            case 2:
                data += std::string(n, '\0');
                break;
            default:
                data += std::string(n, static_cast<char>('a' + rng() % 3)) + "xyz";
                break;
            }
        }
        const ParallelDeflate::Tuning tuning{1 + rng() % 70000, 1 + static_cast<int>(rng() % 2), 4};
        const int level = 1 + static_cast<int>(rng() % 9);
        SCOPED_TRACE("round " + std::to_string(round) + " chunk " + std::to_string(tuning.chunkSize) +
                     " level " + std::to_string(level));
        ParallelDeflate deflater(level, readerOver(data, 1 + rng() % 100000), {}, tuning);
        bool ok = false;
        const std::string stream = drain(deflater, ok);
        ASSERT_TRUE(ok) << deflater.error();
        ASSERT_EQ(inflateRaw(stream), data);
    }
}

TEST(ParallelDeflate, CuttingIntoChunksCostsLittle) {
    // Matches do not reach across a cut: at the real chunk size that costs a fraction of a
    // percent against compressing the whole input at once.
    const std::string data = mixedBytes(6 * kMiB, 6);
    ParallelDeflate deflater(6, readerOver(data));
    bool ok = false;
    std::string stream = drain(deflater, ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(inflateRaw(stream), data);
    uLongf whole = compressBound(static_cast<uLong>(data.size()));
    std::string wholeStream(whole, '\0');
    ASSERT_EQ(compress2(reinterpret_cast<Bytef*>(wholeStream.data()), &whole,
                        reinterpret_cast<const Bytef*>(data.data()), data.size(), 6),
              Z_OK);
    EXPECT_LT(stream.size(), whole + whole / 200) << "against zlib on the whole input";

    // Within a chunk matches reach back as far as deflate allows: every 64 KiB chunk repeats the
    // same 20 KiB of noise, and pays for it about once, not three times.
    const std::string noise = randomBytes(20 * 1024, 3);
    std::string repeats;
    while (repeats.size() < 16 * 64 * 1024) {
        repeats += noise;
    }
    ParallelDeflate small(6, readerOver(repeats), {}, {64 * 1024, 2, 4});
    stream = drain(small, ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(inflateRaw(stream), repeats);
    EXPECT_LT(stream.size(), 16 * (noise.size() + 2048));
}

TEST(ParallelDeflate, ReaderFailureStopsAndTearsDownAtAnyPoint) {
    const std::string data = mixedBytes(40 * 64 * 1024, 4);
    // Fails while the ring fills, and later while both workers are busy.
    for (std::size_t failAt : {std::size_t{0}, std::size_t{100000}, data.size() / 2}) {
        ParallelDeflate deflater(6, readerOver(data, 100000, failAt), {}, {64 * 1024, 2, 4});
        bool ok = true;
        drain(deflater, ok);
        EXPECT_FALSE(ok) << failAt;
        EXPECT_EQ(deflater.error(), ""); // the reader speaks for itself
        EXPECT_FALSE(deflater.finished());
        unsigned char b[16];
        EXPECT_EQ(deflater.read(b, sizeof b), -1); // and stays failed
    }
    // Abandoned half-way or never read: destruction must join the workers, not hang or crash.
    {
        ParallelDeflate deflater(6, readerOver(data), {}, {64 * 1024, 2, 4});
        unsigned char b[1000];
        ASSERT_GT(deflater.read(b, sizeof b), 0);
    }
    { ParallelDeflate unused(6, readerOver(data)); }
}

// --- through the archive ------------------------------------------------------------------------

bool toolPresent(const char* tool) {
    return std::system(("command -v " + std::string(tool) + " >/dev/null 2>&1").c_str()) == 0;
}

TEST(ParallelDeflate, ArchivesRoundTripAtChunkBoundaries) {
    const std::string password = "pässwort 7";
    const std::size_t chunk = ParallelDeflate::Tuning{}.chunkSize;
    const std::vector<std::pair<std::string, std::string>> files = {
        {"empty.dat", ""},
        {"one.dat", "Z"},
        {"chunk.pst", mixedBytes(chunk, 21)},
        {"chunk1.pst", mixedBytes(chunk + 1, 22)},
        {"several.pst", mixedBytes(3 * kMiB, 23) + std::string(kMiB + 5, '\0') + randomBytes(kMiB / 2, 24)},
    };
    for (bool protect : {false, true}) {
        SCOPED_TRACE(protect ? "AES" : "plain");
        TempDir dir;
        fs::create_directories(dir / "src");
        Archive writer;
        const fs::path target = dir / "b.qob";
        ASSERT_TRUE(writer.createArchive(target));
        for (const auto& [name, data] : files) {
            writeBytes(dir / "src" / name, data);
            ASSERT_TRUE(writer.addFiles(dir / "src" / name));
        }
        writer.setProtected(protect);
        writer.setWritePassword(password);
        Status written = writer.writeArchive();
        ASSERT_TRUE(written) << written.message;

        // libzip took the stream as deflate data and did not compress it a second time.
        int err = 0;
        zip_t* z = zip_open(target.c_str(), ZIP_RDONLY, &err);
        ASSERT_NE(z, nullptr);
        for (zip_int64_t i = 0; i < zip_get_num_entries(z, 0); ++i) {
            zip_stat_t st;
            ASSERT_EQ(zip_stat_index(z, static_cast<zip_uint64_t>(i), 0, &st), 0);
            EXPECT_EQ(st.comp_method, ZIP_CM_DEFLATE) << st.name;
        }
        zip_close(z);

        Archive reader;
        ASSERT_TRUE(reader.openArchive(target));
        reader.setReadPassword(password);
        Status verified = reader.verify();
        EXPECT_TRUE(verified) << verified.message;
        auto entries = reader.entries();
        ASSERT_EQ(entries.size(), files.size());
        EXPECT_LT(entries[2].compressedSize, entries[2].size);
        fs::create_directories(dir / "out");
        for (const auto& [name, data] : files) {
            ASSERT_TRUE(reader.findEntry(name)->extractTo(dir / "out")) << name;
            EXPECT_EQ(readBytes(dir / "out" / name), data) << name;
        }
        reader.closeArchive();

        if (toolPresent("7z")) {
            std::string cmd = "7z t " + (protect ? "'-p" + password + "' " : std::string()) + "'" +
                              target.string() + "' >/dev/null 2>&1";
            EXPECT_EQ(std::system(cmd.c_str()), 0) << cmd;
        }
        if (!protect && toolPresent("unzip")) {
            std::string cmd = "unzip -tq '" + target.string() + "' >/dev/null 2>&1";
            EXPECT_EQ(std::system(cmd.c_str()), 0) << cmd;
        }
    }
}

TEST(ParallelDeflate, SourcesThatChangeAfterManyChunksFailTheWrite) {
    TempDir dir;
    const fs::path target = dir / "keep.qob";
    const fs::path file = dir / "big.pst";
    writeBytes(file, mixedBytes(3 * kMiB + 17, 31));
    Archive zip1;
    ASSERT_TRUE(zip1.createArchive(target));
    ASSERT_TRUE(zip1.addFiles(file));
    ASSERT_TRUE(zip1.writeArchive());
    const std::string before = readBytes(target);
    for (std::size_t newSize : {2 * kMiB + 3, 6 * kMiB}) {
        for (bool protect : {false, true}) {
            writeBytes(file, mixedBytes(3 * kMiB + 17, 31));
            ASSERT_TRUE(zip1.createArchive(target));
            ASSERT_TRUE(zip1.addFiles(file));
            writeBytes(file, mixedBytes(newSize, 31));
            zip1.setProtected(protect);
            zip1.setWritePassword("pw");
            Status s = zip1.writeArchive();
            EXPECT_FALSE(s) << newSize;
            EXPECT_NE(s.message.find("big.pst"), std::string::npos) << s.message;
            EXPECT_EQ(readBytes(target), before);
        }
    }
}

TEST(ParallelDeflate, ASourceRewrittenInPlaceDuringTheWriteFailsIt) {
    // Outlook rewrites pages of a data file without changing its size: a copy read across such a
    // write is torn, and must not be stored as if it were whole.
    TempDir dir;
    const fs::path target = dir / "keep.qob";
    const fs::path file = dir / "big.pst";
    writeBytes(file, mixedBytes(8 * kMiB, 7));
    Archive zip1;
    ASSERT_TRUE(zip1.createArchive(target));
    ASSERT_TRUE(zip1.addFiles(file));
    ASSERT_TRUE(zip1.writeArchive());
    const std::string before = readBytes(target);
    for (int level : {0, 6}) {
        ASSERT_TRUE(zip1.createArchive(target));
        ASSERT_TRUE(zip1.addFiles(file));
        ASSERT_TRUE(zip1.setCompressionLevel(level));
        bool rewritten = false;
        zip1.events().writeProgress = [&](int percent) {
            if (percent > 0 && !rewritten) {
                rewritten = true;
                int fd = ::open(file.c_str(), O_WRONLY);
                ASSERT_GE(fd, 0);
                ASSERT_EQ(::pwrite(fd, "Z", 1, 4096), 1);
                struct stat st {};
                ::fstat(fd, &st);
                timespec times[2] = {st.st_atim, st.st_mtim};
                times[1].tv_sec += 1; // the clock may not have ticked since the file was written
                ::futimens(fd, times);
                ::close(fd);
            }
        };
        Status s = zip1.writeArchive();
        EXPECT_TRUE(rewritten);
        EXPECT_FALSE(s) << level;
        EXPECT_NE(s.message.find("big.pst"), std::string::npos) << s.message;
        EXPECT_TRUE(readBytes(target) == before) << "the earlier backup is intact";
        zip1.events().writeProgress = nullptr;
    }
}

} // namespace
} // namespace qob
