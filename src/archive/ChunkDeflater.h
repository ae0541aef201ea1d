#pragma once
// One thread's compressor for ParallelDeflate: deflates one chunk of the input at a time, either
// open (none of its blocks final, ended on a byte boundary by an empty stored block, so that the
// next chunk's output may follow it in the same stream) or closed (the stream's last chunk). The
// open ending comes from our patch of libdeflate (scripts/patches/libdeflate-nonfinal.patch).
//
// A chunk whose every sample is as dense as random bytes (photos, archives, already compressed
// attachments) is stored instead: searching it for matches costs most of the compressor's time and
// saves next to nothing.
//
// Each output is checked before anyone sees it: an open chunk must end in the empty stored block,
// and, when asked, the output is inflated again and must give back the chunk's input exactly,
// ending where the output ends.
#include <cstddef>
#include <memory>
#include <string>

struct libdeflate_compressor;
struct libdeflate_decompressor;

namespace qob {

class ChunkDeflater {
public:
    // `maxChunk`: the largest input a check will inflate. Throws std::bad_alloc when the
    // compressor cannot be made.
    ChunkDeflater(int level, bool check, std::size_t maxChunk);
    ~ChunkDeflater();
    ChunkDeflater(const ChunkDeflater&) = delete;
    ChunkDeflater& operator=(const ChunkDeflater&) = delete;

    // Room the output of `inputSize` bytes needs, at most.
    std::size_t bound(std::size_t inputSize) const;

    // Deflates `in` into `out` (bound(size) bytes) and checks it; the output's size, or 0 with
    // `why` said.
    std::size_t deflate(const unsigned char* in, std::size_t size, unsigned char* out, bool open,
                        std::string& why);

    // The checks of deflate() on an output made elsewhere (`out` has bound(size) bytes of room):
    // "" when it joins as asked and gives back `in`, else why not.
    std::string check(const unsigned char* in, std::size_t size, unsigned char* out, std::size_t outSize,
                      bool open);

    // Every sample of the chunk is as dense as random bytes, and nothing in it repeats where a
    // trial finds it: deflating it would save next to nothing.
    bool looksIncompressible(const unsigned char* in, std::size_t size);

private:
    struct Compressor {
        void operator()(libdeflate_compressor* c) const;
    };
    struct Decompressor {
        void operator()(libdeflate_decompressor* d) const;
    };
    std::unique_ptr<libdeflate_compressor, Compressor> compressor_;
    std::unique_ptr<libdeflate_compressor, Compressor> storer_; // level 0: stored blocks only
    std::unique_ptr<libdeflate_compressor, Compressor> trial_;  // level 1, for looksIncompressible
    std::unique_ptr<unsigned char[]> trialOut_;
    std::size_t trialRoom_ = 0;
    std::unique_ptr<libdeflate_decompressor, Decompressor> decompressor_;
    std::unique_ptr<unsigned char[]> inflated_;
    std::size_t maxChunk_;
    bool check_;
};

} // namespace qob
