#include "archive/ChunkDeflater.h"

#include "PstData.h"
#include "ZipTools.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <functional>
#include <random>
#include <string>
#include <vector>

namespace qob {
namespace {

using Bytes = std::vector<unsigned char>;

const unsigned char* bytesOf(const std::string& s) {
    return reinterpret_cast<const unsigned char*>(s.data());
}

std::string randomBytes(std::size_t size, std::uint32_t seed) {
    std::mt19937 rng(seed);
    std::string s(size, '\0');
    for (char& c : s) {
        c = static_cast<char>(rng());
    }
    return s;
}

// One chunk's output; empty with `why` said when the deflater refused it.
Bytes deflateChunk(ChunkDeflater& d, const std::string& in, bool open, std::string& why) {
    Bytes out(d.bound(in.size()));
    out.resize(d.deflate(bytesOf(in), in.size(), out.data(), open, why));
    return out;
}

struct Inflated {
    bool ended = false;       // a final block was reached
    std::size_t leftOver = 0; // input bytes after it, or not taken
    std::string out;
};

// zlib's raw inflate, to the end of the input or of the stream.
Inflated inflateAll(const Bytes& stream) {
    Inflated r;
    z_stream z{};
    inflateInit2(&z, -15);
    z.next_in = const_cast<Bytef*>(stream.data());
    z.avail_in = static_cast<uInt>(stream.size());
    int rc = Z_OK;
    while (rc == Z_OK) {
        char buf[65536];
        z.next_out = reinterpret_cast<Bytef*>(buf);
        z.avail_out = sizeof buf;
        rc = inflate(&z, Z_NO_FLUSH);
        r.out.append(buf, sizeof buf - z.avail_out);
        if (rc == Z_BUF_ERROR && z.avail_in == 0) {
            break; // the input ended without a final block
        }
    }
    r.ended = rc == Z_STREAM_END;
    r.leftOver = z.avail_in;
    inflateEnd(&z);
    return r;
}

// Inputs that take each of the compressor's paths: nothing, too short to compress (stored
// whole), stored blocks of noise, long matches, ordinary mixed data.
const std::vector<std::pair<const char*, std::string>>& inputKinds() {
    static const std::vector<std::pair<const char*, std::string>> kinds = {
        {"empty", ""},
        {"one byte", "Q"},
        {"short", "Dear Ms Smith, thank you."},
        {"noise", randomBytes(200000, 5)},
        {"zeros", std::string(150000, '\0')},
        {"mixed", test::mixedBytes(180000, 9)},
    };
    return kinds;
}

TEST(ChunkDeflater, OpenChunksOfEveryKindJoinIntoOneStream) {
    for (bool check : {true, false}) {
        for (int level : {1, 6, 9}) {
            ChunkDeflater d(level, check, 1 << 20);
            for (const auto& [firstKind, first] : inputKinds()) {
                for (const auto& [secondKind, second] : inputKinds()) {
                    SCOPED_TRACE(std::string(firstKind) + " then " + secondKind + ", level " +
                                 std::to_string(level) + (check ? ", checked" : ""));
                    std::string why;
                    const Bytes a = deflateChunk(d, first, true, why);
                    ASSERT_FALSE(a.empty()) << why;
                    const Bytes b = deflateChunk(d, second, true, why);
                    ASSERT_FALSE(b.empty()) << why;
                    const Bytes end = deflateChunk(d, "", false, why);
                    ASSERT_FALSE(end.empty()) << why;
                    // An open chunk ends on a byte boundary with an empty stored block.
                    ASSERT_GE(a.size(), 5u);
                    EXPECT_EQ(Bytes(a.end() - 4, a.end()), (Bytes{0x00, 0x00, 0xff, 0xff}));

                    // Alone, an open chunk inflates to its input and leaves the stream open.
                    const Inflated alone = inflateAll(a);
                    EXPECT_TRUE(alone.out == first);
                    EXPECT_FALSE(alone.ended);
                    EXPECT_EQ(alone.leftOver, 0u);

                    // Open, open, closed: one stream, one final block, at the end.
                    Bytes joined = a;
                    joined.insert(joined.end(), b.begin(), b.end());
                    joined.insert(joined.end(), end.begin(), end.end());
                    const Inflated all = inflateAll(joined);
                    EXPECT_TRUE(all.ended);
                    EXPECT_EQ(all.leftOver, 0u);
                    EXPECT_TRUE(all.out == first + second);

                    // Open, then the second chunk closed.
                    const Bytes closed = deflateChunk(d, second, false, why);
                    ASSERT_FALSE(closed.empty()) << why;
                    joined = a;
                    joined.insert(joined.end(), closed.begin(), closed.end());
                    const Inflated two = inflateAll(joined);
                    EXPECT_TRUE(two.ended);
                    EXPECT_EQ(two.leftOver, 0u);
                    EXPECT_TRUE(two.out == first + second);
                }
            }
        }
    }
}

TEST(ChunkDeflater, OutputsThatWouldTearTheStreamAreRefused) {
    const std::string text = test::mixedBytes(100000, 4);
    ChunkDeflater checked(6, true, 1 << 20);
    ChunkDeflater unchecked(6, false, 1 << 20);
    std::string why;
    const Bytes open = deflateChunk(checked, text, true, why);
    const Bytes closed = deflateChunk(checked, text, false, why);
    ASSERT_FALSE(open.empty());
    ASSERT_FALSE(closed.empty());
    Bytes intact = open;
    intact.resize(checked.bound(text.size()));
    ASSERT_EQ(checked.check(bytesOf(text), text.size(), intact.data(), open.size(), true), "");

    struct Case {
        const char* name;
        Bytes out;
        bool open;
        std::size_t inputSize;
        bool refusedUnchecked; // the cheap end check alone sees it
    };
    Bytes flipped = open;
    flipped[flipped.size() / 2] ^= 0x10;
    Bytes shortened(open.begin(), open.begin() + static_cast<std::ptrdiff_t>(open.size() / 2));
    shortened.insert(shortened.end(), {0x00, 0x00, 0x00, 0xff, 0xff});
    Bytes finalThenMarker = closed; // the last block still final, the end marker after it
    finalThenMarker.insert(finalThenMarker.end(), {0x00, 0x00, 0x00, 0xff, 0xff});
    Bytes closedThenMore = closed;
    closedThenMore.push_back(0x00);
    const std::vector<Case> cases = {
        {"end marker missing", Bytes(open.begin(), open.end() - 4), true, text.size(), true},
        {"last byte of the marker wrong",
         [&] {
             Bytes b = open;
             b.back() = 0xfe;
             return b;
         }(),
         true, text.size(), true},
        {"nothing at all", Bytes{}, true, text.size(), true},
        {"a closed chunk where an open one belongs", closed, true, text.size(), true},
        {"final block before the marker", finalThenMarker, true, text.size(), false},
        {"a flipped bit inside", flipped, true, text.size(), false},
        {"cut short, marker put back", shortened, true, text.size(), false},
        {"one input byte more than it holds", open, true, text.size() + 1, false},
        {"one input byte less than it holds", open, true, text.size() - 1, false},
        {"bytes after the final block", closedThenMore, false, text.size(), false},
        {"a closed chunk that stops early", Bytes(closed.begin(), closed.end() - 3), false, text.size(),
         false},
    };
    const std::string longer = text + "!";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (ChunkDeflater* d : {&checked, &unchecked}) {
            Bytes room = c.out;
            room.resize(d->bound(c.inputSize) + c.out.size());
            const std::string verdict =
                d->check(bytesOf(longer), c.inputSize, room.data(), c.out.size(), c.open);
            if (d == &checked || c.refusedUnchecked) {
                EXPECT_NE(verdict, "");
            } else {
                EXPECT_EQ(verdict, "");
            }
        }
    }
}

// Dense chunks are stored, everything a mail store holds besides is deflated; a chunk with any
// compressible stretch counts as compressible. Either way the chunk joins and gives back its input,
// and storing costs next to nothing beside what the compressor itself makes of the same bytes.
TEST(ChunkDeflater, DenseChunksAreStoredAtNoCostAndTheRestDeflated) {
    std::string halfAndHalf = randomBytes(1 << 20, 3);
    halfAndHalf.replace(600000, 70000, test::mixedBytes(70000, 2));
    std::string base64;
    const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    for (unsigned char c : randomBytes(1 << 20, 8)) {
        base64 += base64.size() % 77 == 76 ? '\n' : alphabet[c % 64];
    }
    const std::string noise = randomBytes(20 * 1024, 3);
    std::string repeats;
    while (repeats.size() < (1 << 20)) {
        repeats += noise;
    }
    struct Case {
        const char* what;
        std::string in;
        bool stored;
    };
    const std::vector<Case> cases = {
        {"random bytes", randomBytes(2 << 20, 1), true},
        {"random, just one sample long", randomBytes(65536, 6), true},
        {"random, shorter than a sample step", randomBytes(65535, 7), false},
        {"mail store pages", bench::pstLikeBytes(2 << 20, 1), false},
        {"base64", base64, false},
        {"zeros", std::string(1 << 20, '\0'), false},
        {"random with 70 KB of text in it", halfAndHalf, false},
        {"4 KiB pages of noise and of text in turns", test::mixedBytes(2 << 20, 5), false},
        {"noise repeating every 20 KiB", repeats, false},
    };
    ChunkDeflater checked(6, true, 2 << 20);
    ChunkDeflater plainSix(6, false, 2 << 20);
    ChunkDeflater judge(6, false, 2 << 20);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(judge.looksIncompressible(bytesOf(c.in), c.in.size()), c.stored);
        for (bool open : {true, false}) {
            std::string why;
            const Bytes out = deflateChunk(checked, c.in, open, why);
            ASSERT_FALSE(out.empty()) << why;
            Bytes stream = out;
            if (open) {
                stream.insert(stream.end(), {0x03, 0x00});
            }
            EXPECT_EQ(inflateAll(stream).out, c.in);
        }
        if (c.stored) {
            // What the compressor makes of noise is no smaller than the stored blocks, within 0.1 %.
            Bytes deflated(plainSix.bound(c.in.size()));
            std::string why;
            const std::size_t stored =
                checked.deflate(bytesOf(c.in), c.in.size(), deflated.data(), false, why);
            EXPECT_LE(stored, c.in.size() + c.in.size() / 1000 + 16);
        }
    }
}

} // namespace
} // namespace qob
