#pragma once
// One raw deflate stream (no zlib or gzip wrapper) made by several threads at once. The input is
// cut into chunks and each chunk is compressed on its own. Every chunk but the last is left open:
// none of its blocks is final and it ends with an empty stored block, on a byte boundary (our
// patch of libdeflate, see ChunkDeflater.h); the last ends with the final block. Laid end to end
// in order, the chunk outputs are therefore one valid stream that any inflater reads. Matches do
// not reach back across a cut; chunks are large enough that this costs under 0.1 %.
//
// Input is pulled on the caller's thread through the reader; only a fixed number of chunks is
// in flight, so memory does not depend on the data size. Worker threads are joined whenever the
// object goes away, whatever state it is in.
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace qob {

class ChunkDeflater;

class ParallelDeflate {
public:
    // Fills up to `len` bytes; returns how many (0 only at the end of the input) or -1 on
    // failure, after which the reader has said why on its own.
    using Reader = std::function<std::int64_t(unsigned char* data, std::size_t len)>;

    struct Tuning {
        std::size_t chunkSize = std::size_t{2} << 20;
        int workers = 2;
        int chunksInFlight = 4; // at least workers + 1
        // Each chunk's output is inflated again and compared with its input before it is handed
        // out, at about a tenth of the writer's time (ChunkDeflater.h). The archive writer
        // always checks: a fault found here fails the write before the earlier backup is
        // replaced, where the read-back check would find it only after. Off, only the end of each
        // open chunk is checked.
        bool checkChunks = true;
    };

    // Told how many more input bytes the output handed out so far stands for; it runs behind the
    // reader by the chunks in flight, so it follows the write rather than the read-ahead.
    using Progress = std::function<void(std::uint64_t inputBytes)>;

    ParallelDeflate(int level, Reader reader, Progress progress = {});
    ParallelDeflate(int level, Reader reader, Progress progress, Tuning tuning);
    ~ParallelDeflate();
    ParallelDeflate(const ParallelDeflate&) = delete;
    ParallelDeflate& operator=(const ParallelDeflate&) = delete;

    // Hands out compressed bytes in order: how many, 0 once the whole stream has been handed
    // out, -1 on failure (reader failure, or compressor failure described by error()).
    std::int64_t read(unsigned char* out, std::size_t len);

    bool finished() const { return finished_; }
    // Valid once finished(): CRC-32 and byte counts of the input and of the stream.
    std::uint32_t crc() const { return crc_; }
    std::uint64_t inputSize() const { return inputSize_; }
    std::uint64_t outputSize() const { return outputSize_; }
    // Why the compressor failed; empty when it did not (or when the reader failed).
    std::string error() const;

private:
    struct Chunk;

    bool fillNext();
    void startWorkers();
    void stopWorkers();
    void workerLoop();
    bool compress(ChunkDeflater& deflater, Chunk& chunk, std::string& why);

    const int level_;
    Reader reader_;
    Progress progress_;
    const Tuning tuning_;

    std::vector<std::unique_ptr<Chunk>> ring_;
    std::vector<std::thread> workers_;
    // Sequence numbers: chunks read so far, handed to a worker so far, and fully handed out.
    std::uint64_t filled_ = 0;
    std::uint64_t taken_ = 0;
    std::uint64_t drained_ = 0;
    bool inputEnded_ = false;
    bool readerFailed_ = false;
    bool finished_ = false;
    bool headCounted_ = false;
    std::uint32_t crc_ = 0;
    std::uint64_t inputSize_ = 0;
    std::uint64_t outputSize_ = 0;

    mutable std::mutex mutex_;
    std::condition_variable workAvailable_;
    std::condition_variable chunkDone_;
    bool stopping_ = false;
    std::string failure_;
};

} // namespace qob
