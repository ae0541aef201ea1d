#include "archive/ChunkDeflater.h"

#include <libdeflate.h>

#include <algorithm>
#include <cstring>
#include <new>

namespace qob {
namespace {

// What ends an open chunk: an empty non-final stored block's LEN and NLEN.
constexpr unsigned char kOpenEnd[4] = {0x00, 0x00, 0xff, 0xff};
// A final block with nothing in it (fixed codes, the end-of-block symbol alone): put after an
// open chunk, it makes the chunk a whole stream that an inflater can check.
constexpr unsigned char kClosingBlock[2] = {0x03, 0x00};

} // namespace

void ChunkDeflater::Compressor::operator()(libdeflate_compressor* c) const {
    libdeflate_free_compressor(c);
}

void ChunkDeflater::Decompressor::operator()(libdeflate_decompressor* d) const {
    libdeflate_free_decompressor(d);
}

ChunkDeflater::ChunkDeflater(int level, bool check, std::size_t maxChunk)
    : compressor_(libdeflate_alloc_compressor(level)), maxChunk_(maxChunk), check_(check) {
    if (check_) {
        decompressor_.reset(libdeflate_alloc_decompressor());
        inflated_ = std::make_unique_for_overwrite<unsigned char[]>(std::max<std::size_t>(maxChunk_, 1));
    }
    if (!compressor_ || (check_ && !decompressor_)) {
        throw std::bad_alloc();
    }
}

ChunkDeflater::~ChunkDeflater() = default;

std::size_t ChunkDeflater::bound(std::size_t inputSize) const {
    return libdeflate_deflate_compress_bound(compressor_.get(), inputSize) + sizeof kClosingBlock;
}

std::size_t ChunkDeflater::deflate(const unsigned char* in, std::size_t size, unsigned char* out, bool open,
                                   std::string& why) {
    // The closing block of a check goes after the output, in the room kept for it.
    const std::size_t room = bound(size) - sizeof kClosingBlock;
    const std::size_t made =
        open ? libdeflate_deflate_compress_nonfinal(compressor_.get(), in, size, out, room)
             : libdeflate_deflate_compress(compressor_.get(), in, size, out, room);
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
