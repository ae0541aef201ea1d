#include "archive/ParallelDeflate.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

namespace qob {
namespace {

constexpr std::size_t kWindow = 32768;
// memLevel 8 rather than zlib's maximum: on mail data it packs slightly tighter and is faster.
constexpr int kMemLevel = 8;

} // namespace

struct ParallelDeflate::Chunk {
    std::unique_ptr<unsigned char[]> in;
    std::size_t inLen = 0;
    std::vector<unsigned char> dict;
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
    c.dict = tail_;
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
    if (c.inLen >= kWindow) {
        tail_.assign(c.in.get() + c.inLen - kWindow, c.in.get() + c.inLen);
    } else {
        tail_.insert(tail_.end(), c.in.get(), c.in.get() + c.inLen);
        if (tail_.size() > kWindow) {
            tail_.erase(tail_.begin(), tail_.end() - kWindow);
        }
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
    z_stream stream{};
    if (deflateInit2(&stream, level_, Z_DEFLATED, -15, kMemLevel, Z_DEFAULT_STRATEGY) != Z_OK) {
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
            ok = compress(&stream, *c, why);
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
    deflateEnd(&stream);
}

bool ParallelDeflate::compress(void* streamPtr, Chunk& c, std::string& why) {
    auto& stream = *static_cast<z_stream*>(streamPtr);
    c.crc = static_cast<std::uint32_t>(crc32_z(0, c.in.get(), c.inLen));
    if (deflateReset(&stream) != Z_OK ||
        (!c.dict.empty() &&
         deflateSetDictionary(&stream, c.dict.data(), static_cast<uInt>(c.dict.size())) != Z_OK)) {
        why = "the compressor refused its state";
        return false;
    }
    // Room for incompressible data plus the flush marker; grown below should that ever be short.
    const std::size_t want = deflateBound(&stream, static_cast<uLong>(c.inLen)) + 64;
    if (c.outCap < want) {
        c.out = std::make_unique_for_overwrite<unsigned char[]>(want);
        c.outCap = want;
    }
    stream.next_in = c.in.get();
    stream.avail_in = static_cast<uInt>(c.inLen);
    c.outLen = 0;
    const int flush = c.last ? Z_FINISH : Z_SYNC_FLUSH;
    for (;;) {
        stream.next_out = c.out.get() + c.outLen;
        stream.avail_out = static_cast<uInt>(c.outCap - c.outLen);
        int rc = deflate(&stream, flush);
        c.outLen = c.outCap - stream.avail_out;
        if (rc == Z_STREAM_END || (!c.last && (rc == Z_OK || rc == Z_BUF_ERROR) && stream.avail_out != 0)) {
            return true;
        }
        if (rc != Z_OK && rc != Z_BUF_ERROR) {
            why = "the compressor failed (zlib error " + std::to_string(rc) + ")";
            return false;
        }
        const std::size_t bigger = c.outCap * 2;
        auto grown = std::make_unique_for_overwrite<unsigned char[]>(bigger);
        std::memcpy(grown.get(), c.out.get(), c.outLen);
        c.out = std::move(grown);
        c.outCap = bigger;
    }
}

} // namespace qob
