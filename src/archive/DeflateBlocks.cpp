#include "archive/DeflateBlocks.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <vector>

namespace qob {
namespace {

constexpr unsigned kMaxBits = 15;
constexpr std::array<std::uint16_t, 29> kLengthBase = {3,  4,  5,  6,   7,   8,   9,   10,  11, 13,
                                                       15, 17, 19, 23,  27,  31,  35,  43,  51, 59,
                                                       67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr std::array<std::uint8_t, 29> kLengthExtra = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                                       2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr std::array<std::uint16_t, 30> kDistBase = {
    1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
    193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr std::array<std::uint8_t, 30> kDistExtra = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                                     6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
constexpr std::array<std::uint8_t, 19> kCodeLengthOrder = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                           11, 4,  12, 3, 13, 2, 14, 1, 15};

// Reads bits least significant first; past the end it sees zeros and says so through overrun(),
// so a truncated stream is refused without reading outside the buffer.
class BitReader {
public:
    BitReader(const unsigned char* data, std::size_t size)
        : data_(data), size_(size), totalBits_(std::uint64_t{size} * 8) {}

    // At least 57 valid bits from the current position.
    std::uint64_t peek() const {
        const std::size_t byte = static_cast<std::size_t>(pos_ >> 3);
        std::uint64_t v = 0;
        if (byte + 8 <= size_) {
            std::memcpy(&v, data_ + byte, 8);
            if constexpr (std::endian::native == std::endian::big) {
                v = __builtin_bswap64(v);
            }
        } else {
            for (std::size_t i = 0; i < 8 && byte + i < size_; ++i) {
                v |= std::uint64_t{data_[byte + i]} << (8 * i);
            }
        }
        return v >> (pos_ & 7);
    }
    std::uint32_t take(unsigned bits) {
        const auto v = static_cast<std::uint32_t>(peek() & ((std::uint64_t{1} << bits) - 1));
        pos_ += bits;
        return v;
    }
    void skip(std::uint64_t bits) { pos_ += bits; }
    void alignToByte() { pos_ = (pos_ + 7) & ~std::uint64_t{7}; }
    std::uint64_t pos() const { return pos_; }
    bool overrun() const { return pos_ > totalBits_; }
    bool has(std::uint64_t bits) const { return pos_ <= totalBits_ && totalBits_ - pos_ >= bits; }

private:
    const unsigned char* data_;
    std::size_t size_;
    std::uint64_t totalBits_;
    std::uint64_t pos_ = 0;
};

// A canonical Huffman code as lookup tables: a primary one indexed by the next up to 10 input
// bits, small enough to stay in the first-level cache, and for longer codes a subtable per
// 10-bit prefix indexed by the bits after it. An entry holds the symbol (or the subtable's
// offset, with kLink set) in its top half and the whole code's length in its low 4 bits;
// kInvalid where no code fits (only in an incomplete code), whose symbol is beyond any real one.
struct HuffmanTable {
    static constexpr unsigned kPrimaryBits = 10;
    static constexpr std::uint32_t kLink = 16;
    static constexpr std::uint32_t kInvalid = 0xffffu << 16;
    static constexpr unsigned kInvalidSymbol = 0xffff;

    std::vector<std::uint32_t> primary;
    std::vector<std::uint32_t> sub;
    std::uint64_t primaryMask = 0;
    std::uint64_t subMask = 0;
    unsigned bits = 0; // longest code

    std::uint32_t lookup(std::uint64_t in) const {
        std::uint32_t e = primary[in & primaryMask];
        if (e & kLink) {
            e = sub[(e >> 16) + ((in >> kPrimaryBits) & subMask)];
        }
        return e;
    }

    // `allowSingle`: an incomplete code is accepted when it is one code of one bit, as inflaters
    // do for literal/length and distance codes (not for the code-length code).
    bool build(const std::uint8_t* lengths, std::size_t count, bool allowSingle) {
        std::array<unsigned, kMaxBits + 1> perLength{};
        for (std::size_t i = 0; i < count; ++i) {
            ++perLength[lengths[i]];
        }
        perLength[0] = 0;
        bits = 0;
        for (unsigned len = kMaxBits; len > 0; --len) {
            if (perLength[len] != 0) {
                bits = len;
                break;
            }
        }
        int left = 1;
        for (unsigned len = 1; len <= kMaxBits; ++len) {
            left = left * 2 - static_cast<int>(perLength[len]);
            if (left < 0) {
                return false; // over-subscribed
            }
        }
        if (left > 0 && bits != 0 && !(allowSingle && bits == 1)) {
            return false; // incomplete
        }
        const unsigned primaryBits = std::min(bits, kPrimaryBits);
        const unsigned subBits = bits - primaryBits;
        primaryMask = (std::uint64_t{1} << primaryBits) - 1;
        subMask = (std::uint64_t{1} << subBits) - 1;
        primary.assign(std::size_t{1} << primaryBits, kInvalid);
        sub.clear();
        std::array<unsigned, kMaxBits + 2> next{};
        unsigned code = 0;
        for (unsigned len = 1; len <= kMaxBits; ++len) {
            code = (code + perLength[len - 1]) << 1;
            next[len] = code;
        }
        for (std::size_t sym = 0; sym < count; ++sym) {
            const unsigned len = lengths[sym];
            if (len == 0) {
                continue;
            }
            const unsigned c = next[len]++;
            unsigned reversed = 0;
            for (unsigned i = 0; i < len; ++i) {
                reversed |= ((c >> i) & 1u) << (len - 1 - i);
            }
            const auto entry = static_cast<std::uint32_t>(sym << 16 | len);
            if (len <= primaryBits) {
                for (std::size_t i = reversed; i < primary.size(); i += std::size_t{1} << len) {
                    primary[i] = entry;
                }
                continue;
            }
            std::uint32_t& link = primary[reversed & primaryMask];
            if (link == kInvalid) {
                link = static_cast<std::uint32_t>(sub.size() << 16) | kLink;
                sub.resize(sub.size() + (std::size_t{1} << subBits), kInvalid);
            }
            const std::size_t base = link >> 16;
            for (std::size_t i = reversed >> primaryBits; i < (std::size_t{1} << subBits);
                 i += std::size_t{1} << (len - primaryBits)) {
                sub[base + i] = entry;
            }
        }
        return true;
    }
};

class Walker {
public:
    Walker(const unsigned char* data, std::size_t size) : in_(data, size) {}

    DeflateEnd run() {
        DeflateEnd end;
        for (;;) {
            const std::uint64_t header = in_.pos();
            const std::uint32_t final = in_.take(1);
            const std::uint32_t type = in_.take(2);
            if (in_.overrun()) {
                return fail("the stream ends inside a block header");
            }
            const char* why = nullptr;
            switch (type) {
            case 0:
                why = stored();
                break;
            case 1:
                why = fixed();
                break;
            case 2:
                why = dynamic();
                break;
            default:
                why = "a block has the reserved type 3";
                break;
            }
            if (why) {
                return fail(why);
            }
            if (final) {
                end.ok = true;
                end.finalHeaderBit = header;
                end.endBit = in_.pos();
                end.decodedSize = produced_;
                return end;
            }
        }
    }

private:
    static DeflateEnd fail(const char* why) {
        DeflateEnd end;
        end.error = why;
        return end;
    }

    const char* stored() {
        in_.alignToByte();
        if (!in_.has(32)) {
            return "the stream ends inside a stored block's length";
        }
        const std::uint32_t len = in_.take(16);
        const std::uint32_t nlen = in_.take(16);
        if ((len ^ 0xffffu) != nlen) {
            return "a stored block's length does not match its complement";
        }
        if (!in_.has(std::uint64_t{len} * 8)) {
            return "the stream ends inside a stored block";
        }
        in_.skip(std::uint64_t{len} * 8);
        produced_ += len;
        return nullptr;
    }

    const char* fixed() {
        if (fixedLitLen_.primary.empty()) {
            std::array<std::uint8_t, 288> lengths{};
            std::memset(lengths.data(), 8, 144);
            std::memset(lengths.data() + 144, 9, 112);
            std::memset(lengths.data() + 256, 7, 24);
            std::memset(lengths.data() + 280, 8, 8);
            std::array<std::uint8_t, 32> dist{};
            dist.fill(5);
            fixedLitLen_.build(lengths.data(), lengths.size(), false);
            fixedDist_.build(dist.data(), dist.size(), false);
        }
        return symbols(fixedLitLen_, fixedDist_);
    }

    const char* dynamic() {
        const unsigned nlen = in_.take(5) + 257;
        const unsigned ndist = in_.take(5) + 1;
        const unsigned ncode = in_.take(4) + 4;
        if (nlen > 286 || ndist > 30) {
            return "a block declares too many codes";
        }
        std::array<std::uint8_t, 19> codeLengths{};
        for (unsigned i = 0; i < ncode; ++i) {
            codeLengths[kCodeLengthOrder[i]] = static_cast<std::uint8_t>(in_.take(3));
        }
        if (in_.overrun()) {
            return "the stream ends inside a block's code lengths";
        }
        HuffmanTable& codes = litLen_; // free until the literal/length code is built
        if (!codes.build(codeLengths.data(), codeLengths.size(), false)) {
            return "a block's code-length code is invalid";
        }
        std::array<std::uint8_t, 286 + 30> lengths{};
        for (unsigned i = 0; i < nlen + ndist;) {
            const std::uint32_t entry = codes.lookup(in_.peek());
            in_.skip(entry & 15u);
            const unsigned sym = entry >> 16;
            if (sym > 18) {
                return "a block uses a code-length code that does not exist";
            }
            if (sym < 16) {
                lengths[i++] = static_cast<std::uint8_t>(sym);
                continue;
            }
            unsigned repeat = 0;
            std::uint8_t value = 0;
            if (sym == 16) {
                if (i == 0) {
                    return "a block repeats a code length before the first";
                }
                value = lengths[i - 1];
                repeat = 3 + in_.take(2);
            } else if (sym == 17) {
                repeat = 3 + in_.take(3);
            } else {
                repeat = 11 + in_.take(7);
            }
            if (i + repeat > nlen + ndist) {
                return "a block's code lengths run past their count";
            }
            std::memset(lengths.data() + i, value, repeat);
            i += repeat;
            if (in_.overrun()) {
                break;
            }
        }
        if (in_.overrun()) {
            return "the stream ends inside a block's code lengths";
        }
        if (lengths[256] == 0) {
            return "a block has no end-of-block code";
        }
        if (!litLen_.build(lengths.data(), nlen, true) || !dist_.build(lengths.data() + nlen, ndist, true)) {
            return "a block's Huffman code is invalid";
        }
        return symbols(litLen_, dist_);
    }

    // Decodes symbols up to the end-of-block code. One peek gives 56 bits: literals (at most 15
    // bits each) are taken from it while they fit, and a length/distance pair (at most 48 bits
    // with its extra bits) only from a peek that has used at most 8 bits.
    const char* symbols(const HuffmanTable& litLen, const HuffmanTable& dist) {
        for (;;) {
            std::uint64_t bits = in_.peek();
            unsigned used = 0;
            std::uint32_t entry = litLen.lookup(bits);
            while (entry < (256u << 16) && used <= 41) {
                const unsigned len = entry & 15u;
                bits >>= len;
                used += len;
                ++produced_;
                entry = litLen.lookup(bits);
            }
            if (used > 8) {
                in_.skip(used);
                if (in_.overrun()) {
                    return "the stream ends inside a block";
                }
                continue;
            }
            const unsigned sym = entry >> 16;
            if (sym == HuffmanTable::kInvalidSymbol) {
                return "a block uses a code that does not exist";
            }
            const unsigned len = entry & 15u;
            bits >>= len;
            used += len;
            if (sym == 256) {
                in_.skip(used);
                return in_.overrun() ? "the stream ends inside a block" : nullptr;
            }
            const unsigned li = sym - 257;
            if (li >= kLengthBase.size()) {
                return "a block uses an invalid length code";
            }
            const unsigned lx = kLengthExtra[li];
            const unsigned length = kLengthBase[li] + static_cast<unsigned>(bits & ((1u << lx) - 1));
            bits >>= lx;
            used += lx;
            const std::uint32_t d = dist.lookup(bits);
            const unsigned dlen = d & 15u;
            const unsigned dsym = d >> 16;
            if (dsym >= kDistBase.size()) {
                return "a block uses an invalid distance code";
            }
            bits >>= dlen;
            const unsigned dx = kDistExtra[dsym];
            const unsigned distance = kDistBase[dsym] + static_cast<unsigned>(bits & ((1u << dx) - 1));
            used += dlen + dx;
            if (distance > produced_) {
                return "a block refers back before the start of the stream";
            }
            produced_ += length;
            in_.skip(used);
            if (in_.overrun()) {
                return "the stream ends inside a block";
            }
        }
    }

    BitReader in_;
    std::uint64_t produced_ = 0;
    HuffmanTable litLen_, dist_, fixedLitLen_, fixedDist_;
};

} // namespace

DeflateEnd findFinalBlock(const unsigned char* data, std::size_t size) {
    return Walker(data, size).run();
}

std::size_t reopenFinalBlock(unsigned char* data, const DeflateEnd& end) {
    data[end.finalHeaderBit >> 3] &= static_cast<unsigned char>(~(1u << (end.finalHeaderBit & 7)));
    // An empty stored block: header bits 000 right after the final block, padding to the byte,
    // then LEN 0 and NLEN 0xffff.
    std::size_t pos = static_cast<std::size_t>(end.endBit >> 3);
    if (const unsigned used = end.endBit & 7; used != 0) {
        data[pos] &= static_cast<unsigned char>((1u << used) - 1);
        pos += used + 3 > 8 ? 2 : 1;
        if (used + 3 > 8) {
            data[pos - 1] = 0;
        }
    } else {
        data[pos++] = 0;
    }
    const unsigned char marker[4] = {0x00, 0x00, 0xff, 0xff};
    std::memcpy(data + pos, marker, 4);
    return pos + 4;
}

} // namespace qob
