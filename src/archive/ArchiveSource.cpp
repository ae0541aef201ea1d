#include "archive/ArchiveSource.h"

#include "archive/ParallelDeflate.h"

#include <zip.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace qob {
namespace {

// libzip settles whether the local header gets a Zip64 extra before the data is written and
// fails the entry when the final header disagrees. From the size alone it only expects Zip64
// for deflate above 4 293 656 963 bytes, a bound the chunked stream (a flush marker per chunk)
// can overrun for incompressible data just below it. Above this size the size is kept back until
// the stream is done, which makes libzip write Zip64 headers from the start.
constexpr std::uint64_t kKeepSizeBackFrom = 0xFFFFFFFFull - (std::uint64_t{16} << 20);

struct SourceState {
    ArchiveSourceFile spec;
    int fd = -1;
    std::uint64_t done = 0;
    timespec openedMtime{}; // a change while reading, without a change of size, is a rewrite
    zip_error_t error;
    std::unique_ptr<ParallelDeflate> deflater;
    bool streamComplete = false;
    std::uint32_t crc = 0;
    std::uint64_t compressedSize = 0;

    int level() const { return spec.level ? spec.level() : 0; }
};

zip_int64_t failWith(SourceState& s, int zipCode, int sysErrno, const std::string& why) {
    zip_error_set(&s.error, zipCode, sysErrno);
    if (s.spec.errorText && s.spec.errorText->empty()) {
        *s.spec.errorText = why;
    }
    return -1;
}

std::string quoted(const std::filesystem::path& p) {
    return "\"" + p.string() + "\"";
}

zip_int64_t openFile(SourceState& s) {
    s.fd = ::open(s.spec.file.c_str(), O_RDONLY | O_CLOEXEC);
    if (s.fd < 0) {
        int e = errno;
        return failWith(s, ZIP_ER_OPEN, e, "cannot open " + quoted(s.spec.file) + ": " + std::strerror(e));
    }
    struct stat st {};
    if (::fstat(s.fd, &st) != 0 || !S_ISREG(st.st_mode) ||
        static_cast<std::uint64_t>(st.st_size) != s.spec.size) {
        ::close(s.fd);
        s.fd = -1;
        return failWith(s, ZIP_ER_CHANGED, 0,
                        quoted(s.spec.file) + " changed after it was added to the backup");
    }
    s.openedMtime = st.st_mtim;
    ::posix_fadvise(s.fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    s.done = 0;
    return 0;
}

zip_int64_t readFile(SourceState& s, void* data, zip_uint64_t len, bool reportRead);

zip_int64_t openSource(SourceState& s) {
    s.deflater.reset();
    s.streamComplete = false;
    if (openFile(s) < 0) {
        return -1;
    }
    if (s.level() > 0) {
        try {
            // Progress comes from the compressor as it hands data over, not from its read-ahead.
            s.deflater = std::make_unique<ParallelDeflate>(
                s.level(),
                [&s](unsigned char* data, std::size_t len) { return readFile(s, data, len, false); },
                [&s](std::uint64_t n) {
                    if (s.spec.onRead) {
                        s.spec.onRead(n);
                    }
                });
        } catch (const std::exception&) {
            ::close(s.fd);
            s.fd = -1;
            return failWith(s, ZIP_ER_MEMORY, 0, "not enough memory to compress " + quoted(s.spec.file));
        }
    }
    return 0;
}

zip_int64_t readCompressed(SourceState& s, void* data, zip_uint64_t len) {
    std::int64_t n = s.deflater->read(static_cast<unsigned char*>(data), static_cast<std::size_t>(len));
    if (n < 0) {
        // A reader failure has already said why; anything else came from the compressor.
        std::string why = s.deflater->error();
        if (!why.empty()) {
            return failWith(s, ZIP_ER_ZLIB, 0, "cannot compress " + quoted(s.spec.file) + ": " + why);
        }
        return -1;
    }
    if (s.deflater->finished() && !s.streamComplete) {
        s.streamComplete = true;
        s.crc = s.deflater->crc();
        s.compressedSize = s.deflater->outputSize();
    }
    return n;
}

void closeSource(SourceState& s) {
    s.deflater.reset(); // joins the compressing threads
    if (s.fd >= 0) {
        ::close(s.fd);
        s.fd = -1;
    }
}

zip_int64_t statSource(SourceState& s, void* data, zip_uint64_t len) {
    if (len < sizeof(zip_stat_t)) {
        zip_error_set(&s.error, ZIP_ER_INVAL, 0);
        return -1;
    }
    auto* st = static_cast<zip_stat_t*>(data);
    zip_stat_init(st);
    st->mtime = s.spec.mtime;
    st->valid = ZIP_STAT_MTIME;
    if (s.level() == 0) {
        // Plain bytes: libzip stores them and needs the size up front to decide on Zip64.
        st->size = s.spec.size;
        st->valid |= ZIP_STAT_SIZE;
        return sizeof(zip_stat_t);
    }
    st->comp_method = ZIP_CM_DEFLATE;
    st->valid |= ZIP_STAT_COMP_METHOD;
    if (s.streamComplete) {
        st->size = s.spec.size;
        st->crc = s.crc;
        st->comp_size = s.compressedSize;
        st->valid |= ZIP_STAT_SIZE | ZIP_STAT_CRC | ZIP_STAT_COMP_SIZE;
    } else if (s.spec.size < kKeepSizeBackFrom) {
        st->size = s.spec.size;
        st->valid |= ZIP_STAT_SIZE;
    }
    return sizeof(zip_stat_t);
}

zip_int64_t readFile(SourceState& s, void* data, zip_uint64_t len, bool reportRead) {
    std::uint64_t want = std::min<std::uint64_t>(len, s.spec.size - s.done);
    if (want == 0) {
        // At the recorded end: a file that kept growing is being written by someone else.
        char probe;
        ssize_t r;
        do {
            r = ::read(s.fd, &probe, 1);
        } while (r < 0 && errno == EINTR);
        if (r > 0) {
            return failWith(s, ZIP_ER_CHANGED, 0,
                            quoted(s.spec.file) + " grew while the backup was being written");
        }
        // Outlook rewrites pages of a data file in place: the size stays, the copy is torn.
        struct stat st {};
        if (::fstat(s.fd, &st) != 0 || st.st_mtim.tv_sec != s.openedMtime.tv_sec ||
            st.st_mtim.tv_nsec != s.openedMtime.tv_nsec) {
            return failWith(s, ZIP_ER_CHANGED, 0,
                            quoted(s.spec.file) + " was changed while the backup was being written");
        }
        return 0;
    }
    if (s.spec.stop && s.spec.stop()) {
        return failWith(s, ZIP_ER_READ, 0, "the backup was cancelled");
    }
    ssize_t r;
    do {
        r = ::read(s.fd, data, want);
    } while (r < 0 && errno == EINTR);
    if (r < 0) {
        int e = errno;
        return failWith(s, ZIP_ER_READ, e, "cannot read " + quoted(s.spec.file) + ": " + std::strerror(e));
    }
    if (r == 0) {
        return failWith(s, ZIP_ER_CHANGED, 0,
                        quoted(s.spec.file) + " became shorter while the backup was being written");
    }
    s.done += static_cast<std::uint64_t>(r);
    if (reportRead && s.spec.onRead) {
        s.spec.onRead(static_cast<std::uint64_t>(r));
    }
    return r;
}

zip_int64_t callback(void* userdata, void* data, zip_uint64_t len, zip_source_cmd_t cmd) {
    auto& s = *static_cast<SourceState*>(userdata);
    switch (cmd) {
    case ZIP_SOURCE_OPEN:
        return openSource(s);
    case ZIP_SOURCE_READ:
        return s.deflater ? readCompressed(s, data, len) : readFile(s, data, len, true);
    case ZIP_SOURCE_CLOSE:
        closeSource(s);
        return 0;
    case ZIP_SOURCE_STAT:
        return statSource(s, data, len);
    case ZIP_SOURCE_ERROR:
        return zip_error_to_data(&s.error, data, len);
    case ZIP_SOURCE_FREE:
        closeSource(s);
        zip_error_fini(&s.error);
        delete &s;
        return 0;
    case ZIP_SOURCE_SUPPORTS:
        return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE,
                                              ZIP_SOURCE_STAT, ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE, -1);
    default:
        zip_error_set(&s.error, ZIP_ER_OPNOTSUPP, 0);
        return -1;
    }
}

} // namespace

zip_source_t* makeArchiveSource(zip_t* archive, ArchiveSourceFile spec) {
    auto* state = new SourceState{std::move(spec), -1, 0, {}, {}, nullptr, false, 0, 0};
    zip_error_init(&state->error);
    zip_source_t* src = zip_source_function(archive, callback, state);
    if (!src) {
        if (state->spec.errorText) {
            *state->spec.errorText = zip_strerror(archive);
        }
        zip_error_fini(&state->error);
        delete state;
    }
    return src;
}

} // namespace qob
