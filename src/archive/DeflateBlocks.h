#pragma once
// Finds where the final block of a raw deflate stream starts and ends, by walking its blocks and
// decoding their symbols without producing any output. ParallelDeflate needs this to lay
// independently compressed chunks end to end as one stream: a compressor that only makes whole
// streams ends each chunk with a final block, which must become non-final and end on a byte
// boundary before the next chunk may follow it.
//
// The walker reads only inside the given bytes and refuses anything a strict inflater would
// refuse (bad block types, over-subscribed or incomplete codes, distances before the start,
// truncation), so a wrong answer cannot turn into a corrupt archive.
#include <cstddef>
#include <cstdint>
#include <string>

namespace qob {

struct DeflateEnd {
    bool ok = false;
    std::string error;                // why the stream was refused, when !ok
    std::uint64_t finalHeaderBit = 0; // bit offset of the final block's BFINAL bit
    std::uint64_t endBit = 0;         // bit offset just past the final block
    std::uint64_t decodedSize = 0;    // bytes the stream inflates to
};

// Bits are numbered as deflate reads them: bit k is bit (k % 8) of byte k / 8.
DeflateEnd findFinalBlock(const unsigned char* data, std::size_t size);

// Bytes a stream grows by at most when reopenFinalBlock() closes it.
constexpr std::size_t kReopenSlack = 5;

// Turns the stream walked into `end` into one that continues: clears the final block's BFINAL
// bit and appends an empty non-final stored block at `end.endBit`, which pads to a byte boundary.
// `data` needs room for the stream's bytes plus kReopenSlack; returns the new size.
std::size_t reopenFinalBlock(unsigned char* data, const DeflateEnd& end);

} // namespace qob
