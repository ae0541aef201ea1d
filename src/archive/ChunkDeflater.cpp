#include "archive/ChunkDeflater.h"

#include <libdeflate.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <new>

namespace qob {
namespace {

// What ends an open chunk: an empty non-final stored block's LEN and NLEN.
constexpr unsigned char kOpenEnd[4] = {0x00, 0x00, 0xff, 0xff};
// A final block with nothing in it (fixed codes, the end-of-block symbol alone): put after an
// open chunk, it makes the chunk a whole stream that an inflater can check.
constexpr unsigned char kClosingBlock[2] = {0x03, 0x00};

// Samples of 4 KiB, one in every 64 KiB, each at another place within its 64 KiB so that no
// pattern of pages (a store's are 4 and 8 KiB) shows the samples one kind only. Random bytes
// measure about 7.95 bits a byte in a sample this size; a photo's or an archive's data 7.9 and
// more; text, markup, base64 and database pages well under 7.
constexpr std::size_t kSample = 4096;
constexpr std::size_t kSampleStep = 65536;
constexpr double kDenseBits = 7.85;
// Dense bytes may still repeat within deflate's reach (32 KiB): a few windows a little longer than
// that are deflated quickly as a trial; one that shrinks by 1 % or more keeps the chunk deflated.
constexpr std::size_t kTrialWindow = 40 * 1024;
constexpr int kTrialWindows = 4;

double bitsPerByte(const unsigned char* p, std::size_t n) {
    std::array<std::uint32_t, 256> counts{};
    for (std::size_t i = 0; i < n; ++i) {
        ++counts[p[i]];
    }
    double bits = 0;
    for (std::uint32_t c : counts) {
        if (c != 0) {
            const double share = static_cast<double>(c) / static_cast<double>(n);
            bits -= share * std::log2(share);
        }
    }
    return bits;
}

bool everySampleDense(const unsigned char* in, std::size_t size) {
    for (std::size_t i = 0, step = 0; step + kSampleStep <= size; ++i, step += kSampleStep) {
        const std::size_t within = (i * 5 * 1024 + i * 333) % (kSampleStep - kSample + 1);
        if (bitsPerByte(in + step + within, kSample) < kDenseBits) {
            return false;
        }
    }
    return true;
}

} // namespace

bool ChunkDeflater::looksIncompressible(const unsigned char* in, std::size_t size) {
    // Small chunks (the last one, often) are quick to deflate whatever they hold.
    if (size < kSampleStep || !everySampleDense(in, size)) {
        return false;
    }
    for (int k = 0; k < kTrialWindows; ++k) {
        const unsigned char* window = in + (size - kTrialWindow) * k / (kTrialWindows - 1);
        const std::size_t made =
            libdeflate_deflate_compress(trial_.get(), window, kTrialWindow, trialOut_.get(), trialRoom_);
        if (made != 0 && made < kTrialWindow - kTrialWindow / 100) {
            return false;
        }
    }
    return true;
}

void ChunkDeflater::Compressor::operator()(libdeflate_compressor* c) const {
    libdeflate_free_compressor(c);
}

void ChunkDeflater::Decompressor::operator()(libdeflate_decompressor* d) const {
    libdeflate_free_decompressor(d);
}

ChunkDeflater::ChunkDeflater(int level, bool check, std::size_t maxChunk)
    : compressor_(libdeflate_alloc_compressor(level)), storer_(libdeflate_alloc_compressor(0)),
      trial_(libdeflate_alloc_compressor(1)), maxChunk_(maxChunk), check_(check) {
    if (trial_) {
        trialRoom_ = libdeflate_deflate_compress_bound(trial_.get(), kTrialWindow);
        trialOut_ = std::make_unique_for_overwrite<unsigned char[]>(trialRoom_);
    }
    if (check_) {
        decompressor_.reset(libdeflate_alloc_decompressor());
        inflated_ = std::make_unique_for_overwrite<unsigned char[]>(std::max<std::size_t>(maxChunk_, 1));
    }
    if (!compressor_ || !storer_ || !trial_ || (check_ && !decompressor_)) {
        throw std::bad_alloc();
    }
}

ChunkDeflater::~ChunkDeflater() = default;

std::size_t ChunkDeflater::bound(std::size_t inputSize) const {
    return std::max(libdeflate_deflate_compress_bound(compressor_.get(), inputSize),
                    libdeflate_deflate_compress_bound(storer_.get(), inputSize)) +
           sizeof kClosingBlock;
}

std::size_t ChunkDeflater::deflate(const unsigned char* in, std::size_t size, unsigned char* out, bool open,
                                   std::string& why) {
    // The closing block of a check goes after the output, in the room kept for it.
    const std::size_t room = bound(size) - sizeof kClosingBlock;
    libdeflate_compressor* c = looksIncompressible(in, size) ? storer_.get() : compressor_.get();
    const std::size_t made = open ? libdeflate_deflate_compress_nonfinal(c, in, size, out, room)
                                  : libdeflate_deflate_compress(c, in, size, out, room);
    if (made == 0) {
        why = "the compressor ran out of room for its output";
        return 0;
    }
    why = check(in, size, out, made, open);
    return why.empty() ? made : 0;
}

std::string ChunkDeflater::check(const unsigned char* in, std::size_t size, unsigned char* out,
                                 std::size_t outSize, bool open) {
    // The next chunk may only follow an empty stored block: without it the stream is torn at the
    // join. Cheap, so it is always made.
    if (open && (outSize < 5 || std::memcmp(out + outSize - 4, kOpenEnd, 4) != 0)) {
        return "the compressor's output cannot be joined";
    }
    if (!check_) {
        return "";
    }
    if (size > maxChunk_) {
        return "a chunk is larger than its check allows";
    }
    std::size_t streamSize = outSize;
    if (open) {
        std::memcpy(out + streamSize, kClosingBlock, sizeof kClosingBlock);
        streamSize += sizeof kClosingBlock;
    }
    // A final block inside an open chunk ends the inflate early; a missing or misplaced end of
    // block makes it fail or run past the end.
    std::size_t usedIn = 0;
    std::size_t madeOut = 0;
    const libdeflate_result r = libdeflate_deflate_decompress_ex(decompressor_.get(), out, streamSize,
                                                                 inflated_.get(), size, &usedIn, &madeOut);
    if (r != LIBDEFLATE_SUCCESS || usedIn != streamSize || madeOut != size ||
        (size != 0 && std::memcmp(inflated_.get(), in, size) != 0)) {
        return "the compressor's output does not inflate to its input";
    }
    return "";
}

} // namespace qob
