// The image file's bytes: libisofs' blocks, and for a Direct build the files' data copied straight
// from the files to the places libisofs laid out for them. libisofs hands its blocks over one 2 KiB
// block at a time through a locked ring buffer, copied twice on the way; the files' data (nearly
// all of a backup's image) skips that and, on Linux, user space too.
#include "disc/DiscAddress.h"
#include "disc/IsoFileExtents.h"
#include "disc/IsoFileStream.h"
#include "disc/IsoImageBuild.h"

#include <libisofs/libisofs.h>
#ifndef _WIN32
#include "disc/LibburnDrive.h"
#endif

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace qob::disc {

namespace {

constexpr std::uint64_t kBlock = 2048;

// The image's bytes go to the disk while later ones are still being made, instead of all at the
// final flush: every 8 MiB written is handed to the disk at once. The writer waits only for the
// piece 64 MiB back, so no more than that is dirty and a busy disk seldom holds it up.
void startWriteback(int fd, std::uint64_t from, std::uint64_t to) {
#ifdef __linux__
    constexpr std::uint64_t kPiece = 8u << 20;
    constexpr std::uint64_t kBehind = 8 * kPiece;
    if (fd < 0 || from / kPiece == to / kPiece) {
        return;
    }
    const std::uint64_t end = to / kPiece * kPiece;
    const std::uint64_t start = end - kPiece;
    ::sync_file_range(fd, static_cast<off64_t>(start), kPiece, SYNC_FILE_RANGE_WRITE);
    if (start >= kBehind) {
        ::sync_file_range(fd, static_cast<off64_t>(start - kBehind), kPiece,
                          SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER);
    }
#else
    (void)fd;
    (void)from;
    (void)to;
#endif
}

// The image file being written: its bytes so far, the progress, a stop.
class ImageSink {
public:
    ImageSink(DurableReplace& file, DiscEvents& events, const StopToken& stop, std::uint64_t total)
        : file_(file), events_(events), stop_(stop), total_(total) {}

    Status write(const void* bytes, std::size_t n) {
        if (Status s = file_.write(std::string_view(static_cast<const char*>(bytes), n)); !s) {
            return s;
        }
        advance(n);
        return Status::success();
    }
    Status zeros(std::uint64_t n) {
        static const std::vector<char> none(1 << 20, '\0');
        while (n > 0) {
            const std::size_t piece = static_cast<std::size_t>(std::min<std::uint64_t>(n, none.size()));
            if (Status s = write(none.data(), piece); !s) {
                return s;
            }
            n -= piece;
        }
        return Status::success();
    }
    void advance(std::uint64_t n) {
        const std::uint64_t before = done_;
        done_ += n;
        startWriteback(file_.fd(), before, done_);
        const int percent = total_ ? static_cast<int>(100 * done_ / total_) : 100;
        if (percent != lastPercent_) {
            lastPercent_ = percent;
            events_.writeStatus(percent, WriteStage::Writing);
        }
    }
    bool stopRequested() const { return stop_.stopRequested(); }
    std::uint64_t done() const { return done_; }
    DurableReplace& file() { return file_; }

private:
    DurableReplace& file_;
    DiscEvents& events_;
    const StopToken& stop_;
    std::uint64_t total_;
    std::uint64_t done_ = 0;
    int lastPercent_ = -1;
};

Status cancelledWrite(burn::burn_source* source) {
    if (source->version >= 1 && source->cancel) {
        source->cancel(source);
    }
    return Status::stopped("Write cancelled.");
}

int readSource(burn::burn_source* source, unsigned char* into, int want) {
    return source->version >= 1 && source->read_xt ? source->read_xt(source, into, want)
                                                   : source->read(source, into, want);
}

Status unreadableImage() {
    const std::string words = takeDiscMessages();
    return Status::failure("The image could not be made: " +
                           (words.empty() ? std::string("the files could not be read") : words));
}

// libisofs' blocks from where `sink` stands to the image's end.
Status copyLibraryBlocks(IsoImageBuild& iso, ImageSink& sink) {
    burn::burn_source* source = iso.source();
    std::vector<unsigned char> buffer(1 << 20);
    while (sink.done() < iso.size()) {
        if (sink.stopRequested()) {
            return cancelledWrite(source);
        }
        const int want = static_cast<int>(std::min<std::uint64_t>(buffer.size(), iso.size() - sink.done()));
        const int got = readSource(source, buffer.data(), want);
        if (got <= 0) {
            return unreadableImage();
        }
        if (Status s = sink.write(buffer.data(), static_cast<std::size_t>(got)); !s) {
            return s;
        }
    }
    return Status::success();
}

Status unreadFile() {
    return Status::failure("The image could not be made: the files could not be read");
}

// One file's bytes at the sink's place, then zeros to its last block's end. What cannot be read
// whole is recorded as our stream records it when libisofs reads the file.
Status copyFile(const FileExtent& extent, const std::string& path, StreamFailures& failures,
                ImageSink& sink) {
    const auto fail = [&](int code, const char* what) {
        failures.record(code, std::string(what) + ": " + std::strerror(code), path);
        return unreadFile();
    };
    const int in = openImageSource(path);
    if (in < 0) {
        return fail(errno, "The file could not be opened while the image was made");
    }
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{in};
    struct stat info {};
    if (::fstat(in, &info) != 0) {
        return fail(errno, "The file could not be opened while the image was made");
    }
    const auto size = static_cast<std::uint64_t>(info.st_size);
    if (size != extent.size) {
        failures.record(EIO, "The file changed size while the image was made.", path);
        return unreadFile();
    }
    ::posix_fadvise(in, 0, 0, POSIX_FADV_SEQUENTIAL);
    std::uint64_t copied = 0;
#ifdef __linux__
    constexpr std::uint64_t kPiece = 8u << 20;
    // In the kernel, page cache to page cache, while it lets us.
    bool kernelCopies = true;
    while (copied < size && kernelCopies) {
        if (sink.stopRequested()) {
            return Status::stopped("Write cancelled.");
        }
        loff_t from = static_cast<loff_t>(copied);
        const ssize_t n = ::copy_file_range(in, &from, sink.file().fd(), nullptr,
                                            static_cast<std::size_t>(std::min(kPiece, size - copied)), 0);
        if (n > 0) {
            copied += static_cast<std::uint64_t>(n);
            sink.advance(static_cast<std::uint64_t>(n));
        } else if (n == 0 || errno != EINTR) {
            // Not between these two files, a file system that copies nothing, or a failure: the
            // plain way goes on, and tells an early end, a read or a write failure of its own.
            kernelCopies = false;
            if (::lseek(in, static_cast<off_t>(copied), SEEK_SET) < 0) {
                return fail(errno, "The file could not be read while the image was made");
            }
        }
    }
#endif
    std::vector<char> buffer;
    while (copied < size) {
        if (sink.stopRequested()) {
            return Status::stopped("Write cancelled.");
        }
        buffer.resize(1 << 20);
        const ssize_t n =
            ::read(in, buffer.data(),
                   static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), size - copied)));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return fail(errno, "The file could not be read while the image was made");
        }
        if (n == 0) {
            failures.record(EIO, "The file became shorter while the image was made.", path);
            return unreadFile();
        }
        if (Status s = sink.write(buffer.data(), static_cast<std::size_t>(n)); !s) {
            return s;
        }
        copied += static_cast<std::uint64_t>(n);
    }
    // Grown while it was copied: the image would hold an older file than the one named.
    if (::fstat(in, &info) != 0 || static_cast<std::uint64_t>(info.st_size) != size) {
        failures.record(EIO, "The file changed size while the image was made.", path);
        return unreadFile();
    }
    return sink.zeros((kBlock - size % kBlock) % kBlock);
}

// libisofs' blocks up to the first file's data, read from its generator as they are asked for.
class ImageHead {
public:
    explicit ImageHead(IsoImageBuild& iso) : iso_(iso) {}

    const unsigned char* blockAt(std::uint32_t block) {
        const std::uint64_t index = block - iso_.startBlock();
        if (block < iso_.startBlock() || (index + 1) * kBlock > iso_.size()) {
            return nullptr;
        }
        while (bytes_.size() < (index + 1) * kBlock) {
            const std::size_t have = bytes_.size();
            const auto want =
                static_cast<std::size_t>(std::min<std::uint64_t>(256 << 10, iso_.size() - have));
            bytes_.resize(have + want);
            const int got = readSource(iso_.source(), bytes_.data() + have, static_cast<int>(want));
            bytes_.resize(have + static_cast<std::size_t>(std::max(got, 0)));
            if (got <= 0) {
                failed_ = true;
                return nullptr;
            }
        }
        return bytes_.data() + index * kBlock;
    }
    bool failed() const { return failed_; }
    const std::vector<unsigned char>& bytes() const { return bytes_; }

private:
    IsoImageBuild& iso_;
    std::vector<unsigned char> bytes_;
    bool failed_ = false;
};

// Where the files go, each with its source, checked to be libisofs' usual layout: the directory
// records first, then the files' data one after another. False when it is not.
bool planFiles(IsoImageBuild& iso, ImageHead& head, std::vector<FileExtent>& files, std::string& why) {
    std::uint32_t highest = 0;
    if (!findFileExtents([&](std::uint32_t b) { return head.blockAt(b); }, iso.startBlock(), files, highest,
                         why)) {
        return false;
    }
    std::uint64_t next = files.empty() ? 0 : files.front().block;
    if (!files.empty() && highest >= next) {
        why = "directory records after the first file's data";
        return false;
    }
    for (const FileExtent& file : files) {
        if (!iso.sources().count(file.imagePath)) {
            why = "no source for " + file.imagePath;
            return false;
        }
        if (file.block != next) {
            why = "the files' data is not one run";
            return false;
        }
        next += (file.size + kBlock - 1) / kBlock;
    }
    if ((next - iso.startBlock()) * kBlock > iso.size()) {
        why = "the files' data runs past the image";
        return false;
    }
    return true;
}

Status copyDirect(IsoImageBuild& iso, ImageSink& sink) {
    ImageHead head(iso);
    std::vector<FileExtent> files;
    std::string why;
    if (!planFiles(iso, head, files, why)) {
        if (head.failed()) {
            return unreadableImage();
        }
        // Not expected of libisofs; the image is made the slower way rather than not at all.
        std::string error;
        if (!iso.rebuildReadingFiles(error)) {
            return Status::failure(error);
        }
        return copyLibraryBlocks(iso, sink);
    }
    if (files.empty()) {
        // Nothing of a file's data: libisofs' blocks are the whole image.
        if (Status s = sink.write(head.bytes().data(), head.bytes().size()); !s) {
            return s;
        }
        return copyLibraryBlocks(iso, sink);
    }
    const std::uint64_t headBytes = (files.front().block - iso.startBlock()) * kBlock;
    if (!head.blockAt(files.front().block - 1)) {
        return unreadableImage();
    }
    // The rest of libisofs' blocks are placeholders; its generator stops here.
    burn::burn_source* source = iso.source();
    if (source->version >= 1 && source->cancel) {
        source->cancel(source);
    }
    takeDiscMessages(); // its note of the cancel
    if (Status s = sink.write(head.bytes().data(), static_cast<std::size_t>(headBytes)); !s) {
        return s;
    }
    for (const FileExtent& file : files) {
        if (Status s = copyFile(file, iso.sources().at(file.imagePath), iso.failures(), sink); !s) {
            return s;
        }
    }
    // What libisofs puts after the files: zeros to the image's end.
    return sink.zeros(iso.size() - sink.done());
}

} // namespace

Status copyImageTo(IsoImageBuild& iso, DurableReplace& file, DiscEvents& events, const StopToken& stop) {
    ImageSink sink(file, events, stop, iso.size());
    if (stop.stopRequested()) {
        return cancelledWrite(iso.source());
    }
    return iso.reads() == FileReads::Direct ? copyDirect(iso, sink) : copyLibraryBlocks(iso, sink);
}

} // namespace qob::disc
