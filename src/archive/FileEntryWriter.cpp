#include "archive/FileEntryWriter.h"

#include "archive/ParallelDeflate.h"
#include "platform/FileStat.h"

#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace qob {
namespace {

// Pieces handed to the writer, which gathers them into large writes; small enough that progress,
// which follows them, moves smoothly on small backups too.
constexpr std::size_t kStoreBlock = std::size_t{256} << 10;
constexpr std::size_t kDeflatedBlock = std::size_t{64} << 10;

std::string quoted(const std::filesystem::path& p) {
    return "\"" + p.string() + "\"";
}

// The file as it was added, read once from start to end.
class SourceFile {
public:
    explicit SourceFile(const FileEntrySpec& spec) : spec_(spec) {}
    ~SourceFile() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    SourceFile(const SourceFile&) = delete;
    SourceFile& operator=(const SourceFile&) = delete;

    bool open() {
        fd_ = ::open(spec_.file.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd_ < 0) {
            return fail("cannot open " + quoted(spec_.file) + ": " + std::strerror(errno));
        }
        struct stat st {};
        if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode) ||
            static_cast<std::uint64_t>(st.st_size) != spec_.size) {
            return fail(quoted(spec_.file) + " changed after it was added to the backup");
        }
        openedMtime_ = modificationTime(st);
        ::posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
        return true;
    }

    // Up to `len` bytes; 0 at the end (after checking the file is still what it was), -1 on failure.
    std::int64_t read(unsigned char* data, std::size_t len) {
        const std::uint64_t want = std::min<std::uint64_t>(len, spec_.size - done_);
        if (want == 0) {
            return atEnd() ? 0 : -1;
        }
        if (spec_.stop && spec_.stop()) {
            stopped_ = true;
            fail("the backup was cancelled");
            return -1;
        }
        ssize_t r;
        do {
            r = ::read(fd_, data, want);
        } while (r < 0 && errno == EINTR);
        if (r < 0) {
            fail("cannot read " + quoted(spec_.file) + ": " + std::strerror(errno));
            return -1;
        }
        if (r == 0) {
            fail(quoted(spec_.file) + " became shorter while the backup was being written");
            return -1;
        }
        done_ += static_cast<std::uint64_t>(r);
        return r;
    }

    const std::string& error() const { return error_; }
    bool stopped() const { return stopped_; }

private:
    bool atEnd() {
        // At the recorded end: a file that kept growing is being written by someone else.
        char probe;
        ssize_t r;
        do {
            r = ::read(fd_, &probe, 1);
        } while (r < 0 && errno == EINTR);
        if (r > 0) {
            return fail(quoted(spec_.file) + " grew while the backup was being written");
        }
        // Outlook rewrites pages of a data file in place: the size stays, the copy is torn.
        struct stat st {};
        if (::fstat(fd_, &st) != 0 || modificationTime(st).tv_sec != openedMtime_.tv_sec ||
            modificationTime(st).tv_nsec != openedMtime_.tv_nsec) {
            return fail(quoted(spec_.file) + " was changed while the backup was being written");
        }
        return true;
    }

    bool fail(const std::string& why) {
        if (error_.empty()) {
            error_ = why;
        }
        return false;
    }

    const FileEntrySpec& spec_;
    int fd_ = -1;
    std::uint64_t done_ = 0;
    timespec openedMtime_{};
    std::string error_;
    bool stopped_ = false;
};

Status sourceFailure(const SourceFile& source) {
    return source.stopped() ? Status::stopped(source.error()) : Status::failure(source.error());
}

// The most a deflate stream of `size` bytes can take: stored blocks at worst, plus the markers
// that join the chunks, with room to spare.
std::uint64_t deflateBound(std::uint64_t size) {
    return size + size / 256 + (std::uint64_t{1} << 16);
}

Status writeStored(ZipWriter& zip, SourceFile& source, const FileEntrySpec& spec, std::uint32_t& crc) {
    std::vector<unsigned char> block(kStoreBlock);
    crc = static_cast<std::uint32_t>(::crc32_z(0, nullptr, 0));
    for (;;) {
        std::int64_t n = source.read(block.data(), block.size());
        if (n < 0) {
            return sourceFailure(source);
        }
        if (n == 0) {
            return Status::success();
        }
        crc = static_cast<std::uint32_t>(::crc32_z(crc, block.data(), static_cast<std::size_t>(n)));
        if (spec.onRead) {
            spec.onRead(static_cast<std::uint64_t>(n));
        }
        if (Status s = zip.write(block.data(), static_cast<std::size_t>(n)); !s) {
            return s;
        }
    }
}

Status writeDeflated(ZipWriter& zip, SourceFile& source, const FileEntrySpec& spec, std::uint32_t& crc) {
    std::unique_ptr<ParallelDeflate> deflater;
    try {
        // Progress comes from the compressor as it hands data over, not from its read-ahead.
        deflater = std::make_unique<ParallelDeflate>(
            spec.level, [&source](unsigned char* data, std::size_t len) { return source.read(data, len); },
            [&spec](std::uint64_t n) {
                if (spec.onRead) {
                    spec.onRead(n);
                }
            });
    } catch (const std::exception&) {
        return Status::failure("not enough memory to compress " + quoted(spec.file));
    }
    std::vector<unsigned char> block(kDeflatedBlock);
    for (;;) {
        std::int64_t n = deflater->read(block.data(), block.size());
        if (n < 0) {
            // A reader failure has already said why; anything else came from the compressor.
            if (!source.error().empty()) {
                return sourceFailure(source);
            }
            return Status::failure("cannot compress " + quoted(spec.file) + ": " + deflater->error());
        }
        if (n == 0) {
            break;
        }
        if (Status s = zip.write(block.data(), static_cast<std::size_t>(n)); !s) {
            return s;
        }
    }
    if (!deflater->finished() || deflater->inputSize() != spec.size) {
        return Status::failure("cannot compress " + quoted(spec.file) + ": the stream ended early");
    }
    crc = deflater->crc();
    return Status::success();
}

} // namespace

Status writeFileEntry(ZipWriter& zip, const FileEntrySpec& spec) {
    SourceFile source(spec);
    if (!source.open()) {
        return sourceFailure(source);
    }
    const bool deflate = spec.level > 0;
    ZipWriter::EntryStart start;
    start.name = spec.name;
    start.mtime = spec.mtime;
    start.method = deflate ? ZipWriter::Method::Deflate : ZipWriter::Method::Store;
    start.size = spec.size;
    start.maxDataSize = deflate ? deflateBound(spec.size) : spec.size;
    if (Status s = zip.beginEntry(start); !s) {
        return s;
    }
    std::uint32_t crc = 0;
    Status s = deflate ? writeDeflated(zip, source, spec, crc) : writeStored(zip, source, spec, crc);
    if (!s) {
        return s;
    }
    return zip.endEntry(crc, spec.size);
}

} // namespace qob
