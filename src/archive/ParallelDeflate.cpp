#include "archive/ParallelDeflate.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>

namespace qob {
namespace {

struct CompressorDeleter {
    void operator()(libdeflate_compressor* c) const { libdeflate_free_compressor(c); }
};
struct DecompressorDeleter {
    void operator()(libdeflate_decompressor* d) const { libdeflate_free_decompressor(d); }
};

// What ends an open chunk: an empty non-final stored block's LEN and NLEN.
constexpr unsigned char kOpenEnd[4] = {0x00, 0x00, 0xff, 0xff};
// A final block with nothing in it (fixed codes, the end-of-block symbol alone): put after an
// open chunk, it makes the chunk a whole stream that an inflater can check.
constexpr unsigned char kClosingBlock[2] = {0x03, 0x00};

} // namespace

struct ParallelDeflate::Worker {
    std::unique_ptr<libdeflate_compressor, CompressorDeleter> compressor;
    std::unique_ptr<libdeflate_decompressor, DecompressorDeleter> decompressor;
    std::unique_ptr<unsigned char[]> inflated; // a chunk's output inflated again, when checked
};

struct ParallelDeflate::Chunk {
    std::unique_ptr<unsigned char[]> in;
    std::size_t inLen = 0;
    std::unique_ptr<unsigned char[]> out;
    std::size_t outCap = 0;
    std::size_t outLen = 0;
    std::size_t outPos = 0;
    std::size_t inReported = 0;
    std::uint32_t crc = 0;
    bool last = false;
    bool done = false; // compressed and not yet handed out completely
};

ParallelDeflate::ParallelDeflate(int level, Reader reader, Progress progress)
    : ParallelDeflate(level, std::move(reader), std::move(progress), Tuning{}) {}

ParallelDeflate::ParallelDeflate(int level, Reader reader, Progress progress, Tuning tuning)
    : level_(std::clamp(level, 1, 9)), reader_(std::move(reader)), progress_(std::move(progress)),
      tuning_(tuning) {
    const int slots = std::max(tuning_.chunksInFlight, std::max(tuning_.workers, 1) + 1);
    for (int i = 0; i < slots; ++i) {
        ring_.push_back(std::make_unique<Chunk>());
    }
}

ParallelDeflate::~ParallelDeflate() {
    stopWorkers();
}

std::string ParallelDeflate::error() const {
    std::lock_guard lock(mutex_);
    return failure_;
}

void ParallelDeflate::startWorkers() {
    const int count = std::max(tuning_.workers, 1);
    for (int i = 0; i < count; ++i) {
        workers_.emplace_back([this] { workerLoop(); });
    }
}

void ParallelDeflate::stopWorkers() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    workAvailable_.notify_all();
    for (std::thread& t : workers_) {
        t.join();
    }
    workers_.clear();
}

// Reads the next chunk on the caller's thread and queues it; false when the reader failed.
bool ParallelDeflate::fillNext() {
    Chunk& c = *ring_[filled_ % ring_.size()];
    if (!c.in) {
        c.in = std::make_unique_for_overwrite<unsigned char[]>(tuning_.chunkSize);
    }
    c.inLen = 0;
    c.outLen = 0;
    c.outPos = 0;
    c.inReported = 0;
    c.last = false;
    while (c.inLen < tuning_.chunkSize) {
        std::int64_t n = reader_(c.in.get() + c.inLen, tuning_.chunkSize - c.inLen);
        if (n < 0) {
            readerFailed_ = true;
            return false;
        }
        if (n == 0) {
            inputEnded_ = true;
            c.last = true;
            break;
        }
        c.inLen += static_cast<std::size_t>(n);
    }
    {
        std::lock_guard lock(mutex_);
        ++filled_;
    }
    workAvailable_.notify_one();
    return true;
}

std::int64_t ParallelDeflate::read(unsigned char* out, std::size_t len) {
    if (finished_ || len == 0) {
        return 0;
    }
    if (readerFailed_) {
        return -1;
    }
    try {
        if (workers_.empty()) {
            startWorkers();
        }
        for (;;) {
            while (!inputEnded_ && filled_ - drained_ < ring_.size()) {
                if (!fillNext()) {
                    return -1;
                }
            }
            Chunk* head = nullptr;
            {
                std::unique_lock lock(mutex_);
                chunkDone_.wait(lock, [&] {
                    return !failure_.empty() || (drained_ < filled_ && ring_[drained_ % ring_.size()]->done);
                });
                if (!failure_.empty()) {
                    return -1;
                }
                head = ring_[drained_ % ring_.size()].get();
            }
            if (!headCounted_) {
                crc_ = static_cast<std::uint32_t>(
                    crc32_combine(crc_, head->crc, static_cast<z_off_t>(head->inLen)));
                inputSize_ += head->inLen;
                outputSize_ += head->outLen;
                headCounted_ = true;
            }
            std::size_t n = std::min(len, head->outLen - head->outPos);
            std::memcpy(out, head->out.get() + head->outPos, n);
            head->outPos += n;
            if (progress_) {
                const std::size_t consumed =
                    head->outPos == head->outLen
                        ? head->inLen
                        : static_cast<std::size_t>(static_cast<std::uint64_t>(head->inLen) * head->outPos /
                                                   head->outLen);
                if (consumed > head->inReported) {
                    progress_(consumed - head->inReported);
                    head->inReported = consumed;
                }
            }
            if (head->outPos == head->outLen) {
                const bool last = head->last;
                {
                    std::lock_guard lock(mutex_);
                    head->done = false;
                    ++drained_;
                }
                headCounted_ = false;
                if (last) {
                    finished_ = true;
                    stopWorkers();
                }
            }
            if (n > 0 || finished_) {
                return static_cast<std::int64_t>(n);
            }
        }
    } catch (const std::exception& e) {
        std::lock_guard lock(mutex_);
        if (failure_.empty()) {
            failure_ = std::string("cannot compress: ") + e.what();
        }
        return -1;
    }
}

void ParallelDeflate::workerLoop() {
    // The archive's levels 1 to 9 are the compressor's own: at each of them it packs tighter
    // than zlib at the same level, and faster (measured on PST-like data), so no level needs zlib.
    Worker worker;
    worker.compressor.reset(libdeflate_alloc_compressor(level_));
    if (tuning_.checkChunks) {
        worker.decompressor.reset(libdeflate_alloc_decompressor());
    }
    if (!worker.compressor || (tuning_.checkChunks && !worker.decompressor)) {
        {
            std::lock_guard lock(mutex_);
            if (failure_.empty()) {
                failure_ = "cannot start the compressor (out of memory)";
            }
        }
        chunkDone_.notify_all();
        return;
    }
    for (;;) {
        Chunk* c = nullptr;
        {
            std::unique_lock lock(mutex_);
            workAvailable_.wait(lock, [&] { return stopping_ || taken_ < filled_; });
            if (stopping_) {
                break;
            }
            c = ring_[taken_ % ring_.size()].get();
            ++taken_;
        }
        std::string why;
        bool ok = false;
        try {
            ok = compress(worker, *c, why);
        } catch (const std::exception& e) {
            why = std::string("cannot compress: ") + e.what();
        }
        {
            std::lock_guard lock(mutex_);
            if (!ok && failure_.empty()) {
                failure_ = why;
            }
            c->done = true;
        }
        chunkDone_.notify_all();
    }
}

bool ParallelDeflate::compress(Worker& w, Chunk& c, std::string& why) {
    c.crc = libdeflate_crc32(0, c.in.get(), c.inLen);
    const std::size_t want =
        libdeflate_deflate_compress_bound(w.compressor.get(), c.inLen) + sizeof kClosingBlock;
    if (c.outCap < want) {
        c.out = std::make_unique_for_overwrite<unsigned char[]>(want);
        c.outCap = want;
    }
    const std::size_t room = c.outCap - sizeof kClosingBlock;
    const std::size_t made =
        c.last ? libdeflate_deflate_compress(w.compressor.get(), c.in.get(), c.inLen, c.out.get(), room)
               : libdeflate_deflate_compress_nonfinal(w.compressor.get(), c.in.get(), c.inLen, c.out.get(),
                                                      room);
    if (made == 0) {
        why = "the compressor ran out of room for its output";
        return false;
    }
    // The next chunk may only follow an empty stored block; without it the stream would be torn
    // at the join, which no check of a single chunk's size would show.
    if (!c.last && (made < 5 || std::memcmp(c.out.get() + made - 4, kOpenEnd, 4) != 0)) {
        why = "the compressor's output cannot be joined";
        return false;
    }
    c.outLen = made;
    return !tuning_.checkChunks || inflatesBack(w, c, why);
}

// Inflates the chunk's output (an open one closed by an empty final block) and insists on its
// input back, byte for byte, with the stream ending exactly where the output does.
bool ParallelDeflate::inflatesBack(Worker& w, Chunk& c, std::string& why) {
    if (!w.inflated) {
        w.inflated =
            std::make_unique_for_overwrite<unsigned char[]>(std::max<std::size_t>(tuning_.chunkSize, 1));
    }
    std::size_t streamLen = c.outLen;
    if (!c.last) {
        std::memcpy(c.out.get() + streamLen, kClosingBlock, sizeof kClosingBlock);
        streamLen += sizeof kClosingBlock;
    }
    std::size_t usedIn = 0;
    std::size_t madeOut = 0;
    const libdeflate_result r = libdeflate_deflate_decompress_ex(
        w.decompressor.get(), c.out.get(), streamLen, w.inflated.get(), c.inLen, &usedIn, &madeOut);
    if (r != LIBDEFLATE_SUCCESS || usedIn != streamLen || madeOut != c.inLen ||
        (c.inLen != 0 && std::memcmp(w.inflated.get(), c.in.get(), c.inLen) != 0)) {
        why = "the compressor's output does not inflate to its input";
        return false;
    }
    return true;
}

} // namespace qob
