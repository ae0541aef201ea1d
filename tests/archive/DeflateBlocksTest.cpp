#include "archive/DeflateBlocks.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <functional>
#include <random>
#include <string>
#include <tuple>
#include <vector>

namespace qob {
namespace {

using Bytes = std::vector<unsigned char>;

struct ZlibEnd {
    bool ok = false;
    std::uint64_t endBit = 0;
    std::string out;
};

// The reference: zlib's raw inflate. Stopping at block boundaries, it tells how many bits of the
// last byte it took are left after the final block.
ZlibEnd zlibInflate(const Bytes& in) {
    ZlibEnd r;
    z_stream z{};
    inflateInit2(&z, -15);
    z.next_in = const_cast<Bytef*>(in.data());
    z.avail_in = static_cast<uInt>(in.size());
    int rc = Z_OK;
    while (rc == Z_OK) { // Z_OK only when inflate made progress
        char buf[16384];
        z.next_out = reinterpret_cast<Bytef*>(buf);
        z.avail_out = sizeof buf;
        rc = inflate(&z, Z_BLOCK);
        r.out.append(buf, sizeof buf - z.avail_out);
        constexpr int kAfterFinalBlock = 128 | 64;
        if (r.endBit == 0 && (z.data_type & kAfterFinalBlock) == kAfterFinalBlock) {
            r.endBit = (in.size() - z.avail_in) * std::uint64_t{8} - (static_cast<unsigned>(z.data_type) & 7);
        }
    }
    r.ok = rc == Z_STREAM_END;
    inflateEnd(&z);
    return r;
}

Bytes zlibDeflate(const std::string& data, int level, int strategy) {
    z_stream z{};
    deflateInit2(&z, level, Z_DEFLATED, -15, 8, strategy);
    Bytes out(deflateBound(&z, data.size()) + 16);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

class BitWriter {
public:
    void put(std::uint32_t value, unsigned bits) {
        for (unsigned i = 0; i < bits; ++i, ++pos) {
            if (pos % 8 == 0) {
                bytes.push_back(0);
            }
            bytes.back() |= static_cast<unsigned char>(((value >> i) & 1u) << (pos % 8));
        }
    }
    // Huffman codes go out most significant bit first.
    void code(std::uint32_t value, unsigned bits) {
        for (unsigned i = bits; i > 0; --i) {
            put(value >> (i - 1), 1);
        }
    }
    Bytes bytes;
    std::uint64_t pos = 0;
};

std::string sampleText() {
    std::string s;
    for (int i = 0; s.size() < 3000; ++i) {
        s += "From: user" + std::to_string(i * 7 % 13) + "@example.com, Subject: report " +
             std::to_string(i) + "\r\n";
    }
    return s;
}

TEST(DeflateBlocks, FindsTheFinalBlockOfEachTypeAtEveryBitOffsetAndReopensIt) {
    const std::string text = sampleText();
    const std::string raw = "\x01\x02 stored as it is \xff";
    const Bytes fixed = zlibDeflate(text, 6, Z_FIXED);
    const Bytes dynamic = zlibDeflate(text, 9, Z_DEFAULT_STRATEGY);
    ASSERT_EQ((fixed[0] >> 1) & 3u, 1u);
    ASSERT_EQ((dynamic[0] >> 1) & 3u, 2u);
    // Huffman blocks do not depend on where they start: their bits are copied as they are.
    auto copyBits = [](const Bytes& stream) {
        return [stream](BitWriter& w) {
            const ZlibEnd ref = zlibInflate(stream);
            ASSERT_TRUE(ref.ok);
            for (std::uint64_t bit = 0; bit < ref.endBit; ++bit) {
                w.put(stream[bit / 8] >> (bit % 8), 1);
            }
        };
    };
    const std::vector<std::tuple<const char*, std::function<void(BitWriter&)>, std::string>> cases = {
        {"stored",
         [&](BitWriter& w) {
             w.put(1, 3);
             w.put(0, (8 - w.pos % 8) % 8);
             w.put(static_cast<std::uint32_t>(raw.size()), 16);
             w.put(static_cast<std::uint32_t>(~raw.size()), 16);
             for (char ch : raw) {
                 w.put(static_cast<unsigned char>(ch), 8);
             }
         },
         raw},
        {"fixed", copyBits(fixed), text},
        {"dynamic", copyBits(dynamic), text},
    };
    const Bytes next = zlibDeflate("and the next chunk", 6, Z_DEFAULT_STRATEGY);
    for (const auto& [name, writeFinal, data] : cases) {
        for (unsigned offset = 0; offset < 8; ++offset) {
            SCOPED_TRACE(std::string(name) + " at bit offset " + std::to_string(offset));
            // A non-final fixed block before it: 3 header bits, nine-bit literals (0x90) and the
            // 7-bit end-of-block code put the final block at the offset wanted.
            BitWriter w;
            w.put(0b010, 3);
            const unsigned literals = (offset + 6) % 8;
            for (unsigned i = 0; i < literals; ++i) {
                w.code(0b110010000, 9);
            }
            w.code(0, 7);
            ASSERT_EQ(w.pos % 8, offset);
            const std::uint64_t header = w.pos;
            writeFinal(w);
            const std::uint64_t endBit = w.pos;
            Bytes stream = w.bytes;
            const DeflateEnd end = findFinalBlock(stream.data(), stream.size());
            ASSERT_TRUE(end.ok) << end.error;
            EXPECT_EQ(end.finalHeaderBit, header);
            EXPECT_EQ(end.endBit, endBit);
            EXPECT_EQ(end.decodedSize, literals + data.size());

            stream.resize(stream.size() + kReopenSlack, 0xa5); // garbage the reopening must overwrite
            stream.resize(reopenFinalBlock(stream.data(), end));
            EXPECT_EQ(stream.size(), (endBit + 3 + 7) / 8 + 4);
            stream.insert(stream.end(), next.begin(), next.end());
            const ZlibEnd joined = zlibInflate(stream);
            EXPECT_TRUE(joined.ok);
            EXPECT_EQ(joined.out, std::string(literals, '\x90') + data + "and the next chunk");
            EXPECT_EQ((joined.endBit + 7) / 8, stream.size());

            // Cut anywhere, the stream is refused, never read past its end.
            for (std::size_t cut = 0; cut < w.bytes.size(); ++cut) {
                EXPECT_FALSE(findFinalBlock(w.bytes.data(), cut).ok) << cut;
            }
        }
    }
}

TEST(DeflateBlocks, RefusesWhatAStrictInflaterRefuses) {
    std::vector<std::pair<const char*, Bytes>> bad = {
        {"reserved block type", {0x07}},
        {"stored length not complemented", {0x01, 0x01, 0x00, 0x00, 0xff, 'x'}},
        {"stored block longer than the input", {0x01, 0x05, 0x00, 0xfa, 0xff, 'a', 'b'}},
        {"non-final block and nothing after it", {0x02, 0x00}},
        {"nothing", {}},
    };
    BitWriter before; // a fixed block whose first symbol copies from one byte back
    before.put(0b011, 3);
    before.code(1, 7); // length 3
    before.code(0, 5); // distance 1
    before.code(0, 7);
    bad.emplace_back("distance before the start", before.bytes);
    for (const auto& [name, stream] : bad) {
        const DeflateEnd end = findFinalBlock(stream.data(), stream.size());
        EXPECT_FALSE(end.ok) << name;
        EXPECT_FALSE(end.error.empty()) << name;
        EXPECT_FALSE(zlibInflate(stream).ok) << name << ": the reference must refuse it too";
    }
}

TEST(DeflateBlocks, AgreesWithZlibOnDamagedStreams) {
    // Bit flips in real streams of every block type: the walker accepts exactly what zlib's
    // inflate accepts, and then agrees where the stream ends and what it inflates to.
    std::mt19937 rng(5);
    const std::string text = sampleText();
    std::string mixed = text;
    for (int i = 0; i < 4000; ++i) {
        mixed.push_back(static_cast<char>(rng() % 40 + 'A'));
    }
    const std::vector<Bytes> streams = {
        zlibDeflate(text, 9, Z_DEFAULT_STRATEGY), zlibDeflate(mixed, 1, Z_DEFAULT_STRATEGY),
        zlibDeflate(text, 6, Z_FIXED), zlibDeflate(mixed, 0, Z_DEFAULT_STRATEGY)};
    int accepted = 0;
    for (int round = 0; round < 6000; ++round) {
        Bytes s = streams[static_cast<std::size_t>(round) % streams.size()];
        const std::size_t lookAt = round % 3 == 0 ? s.size() : std::min<std::size_t>(s.size(), 300);
        for (unsigned flips = 1 + rng() % 3; flips > 0; --flips) {
            s[rng() % lookAt] ^= static_cast<unsigned char>(1u << (rng() % 8));
        }
        const DeflateEnd end = findFinalBlock(s.data(), s.size());
        const ZlibEnd ref = zlibInflate(s);
        ASSERT_EQ(end.ok, ref.ok) << "round " << round << ": " << end.error;
        if (end.ok) {
            ++accepted;
            EXPECT_EQ(end.endBit, ref.endBit) << round;
            EXPECT_EQ(end.decodedSize, ref.out.size()) << round;
        }
    }
    EXPECT_GT(accepted, 100); // the comparison covered accepted streams as well as refused ones
}

} // namespace
} // namespace qob
