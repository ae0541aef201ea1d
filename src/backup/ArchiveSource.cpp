#include "backup/ArchiveSource.h"

#include <zip.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qob {
namespace {

struct SourceState {
    ArchiveSourceFile spec;
    int fd = -1;
    std::uint64_t done = 0;
    zip_error_t error;
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
    ::posix_fadvise(s.fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    s.done = 0;
    return 0;
}

zip_int64_t readFile(SourceState& s, void* data, zip_uint64_t len) {
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
        return 0;
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
    if (s.spec.onRead) {
        s.spec.onRead(static_cast<std::uint64_t>(r));
    }
    return r;
}

zip_int64_t callback(void* userdata, void* data, zip_uint64_t len, zip_source_cmd_t cmd) {
    auto& s = *static_cast<SourceState*>(userdata);
    switch (cmd) {
    case ZIP_SOURCE_OPEN:
        return openFile(s);
    case ZIP_SOURCE_READ:
        return readFile(s, data, len);
    case ZIP_SOURCE_CLOSE:
        if (s.fd >= 0) {
            ::close(s.fd);
            s.fd = -1;
        }
        return 0;
    case ZIP_SOURCE_STAT: {
        if (len < sizeof(zip_stat_t)) {
            zip_error_set(&s.error, ZIP_ER_INVAL, 0);
            return -1;
        }
        auto* st = static_cast<zip_stat_t*>(data);
        zip_stat_init(st);
        // The size must be known up front: libzip decides from it whether the entry needs Zip64.
        st->size = s.spec.size;
        st->mtime = s.spec.mtime;
        st->valid = ZIP_STAT_SIZE | ZIP_STAT_MTIME;
        return sizeof(zip_stat_t);
    }
    case ZIP_SOURCE_ERROR:
        return zip_error_to_data(&s.error, data, len);
    case ZIP_SOURCE_FREE:
        if (s.fd >= 0) {
            ::close(s.fd);
        }
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
    auto* state = new SourceState{std::move(spec), -1, 0, {}};
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
