#include "archive/ArchiveTarget.h"
#include "archive/Archive.h"

#include <zip.h>

#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

namespace qob {
namespace {

struct TargetState {
    std::filesystem::path target;
    SyncFunction sync;
    std::string* errorText = nullptr;
    std::unique_ptr<DurableReplace> file;
    zip_error_t error;
};

zip_int64_t failWith(TargetState& s, int zipCode, int sysErrno, const std::string& why) {
    zip_error_set(&s.error, zipCode, sysErrno);
    if (s.errorText && s.errorText->empty() && !why.empty()) {
        *s.errorText = why;
    }
    return -1;
}

zip_int64_t beginWrite(TargetState& s) {
    s.file = std::make_unique<DurableReplace>(s.target, archiveTempPrefix(s.target), s.sync);
    if (!s.file->ok()) {
        const int err = s.file->errorNumber();
        const std::string why = s.file->error().message;
        s.file.reset();
        return failWith(s, ZIP_ER_TMPOPEN, err, why);
    }
    return 0;
}

zip_int64_t write(TargetState& s, const void* data, zip_uint64_t len) {
    const auto* bytes = static_cast<const char*>(data);
    zip_uint64_t done = 0;
    while (done < len) {
        ssize_t n = ::write(s.file->fd(), bytes + done, len - done);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            const int err = errno;
            return failWith(s, ZIP_ER_WRITE, err, "");
        }
        done += static_cast<zip_uint64_t>(n);
    }
    return static_cast<zip_int64_t>(done);
}

zip_int64_t seekWrite(TargetState& s, void* data, zip_uint64_t len) {
    auto* args = ZIP_SOURCE_GET_ARGS(zip_source_args_seek_t, data, len, &s.error);
    if (!args) {
        return -1;
    }
    if (::lseek(s.file->fd(), static_cast<off_t>(args->offset), args->whence) < 0) {
        const int err = errno;
        return failWith(s, ZIP_ER_SEEK, err, "");
    }
    return 0;
}

zip_int64_t commitWrite(TargetState& s) {
    Status done = s.file->commit();
    const int err = s.file->errorNumber();
    s.file.reset();
    if (!done) {
        return failWith(s, ZIP_ER_WRITE, err, done.message);
    }
    // The read-back check that follows should see the disk, not the copy still in memory; the
    // pages are clean after the flush, so this only drops them.
    const int fd = ::open(s.target.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
        ::close(fd);
    }
    return 0;
}

zip_int64_t callback(void* userdata, void* data, zip_uint64_t len, zip_source_cmd_t cmd) {
    auto& s = *static_cast<TargetState*>(userdata);
    const bool writing = s.file != nullptr;
    switch (cmd) {
    case ZIP_SOURCE_STAT:
        // No earlier file as far as libzip knows: a new backup never reads the one it replaces.
        return failWith(s, ZIP_ER_READ, ENOENT, "");
    case ZIP_SOURCE_BEGIN_WRITE:
        return beginWrite(s);
    case ZIP_SOURCE_WRITE:
        return writing ? write(s, data, len) : failWith(s, ZIP_ER_INTERNAL, 0, "");
    case ZIP_SOURCE_SEEK_WRITE:
        return writing ? seekWrite(s, data, len) : failWith(s, ZIP_ER_INTERNAL, 0, "");
    case ZIP_SOURCE_TELL_WRITE: {
        if (!writing) {
            return failWith(s, ZIP_ER_INTERNAL, 0, "");
        }
        off_t at = ::lseek(s.file->fd(), 0, SEEK_CUR);
        return at < 0 ? failWith(s, ZIP_ER_TELL, errno, "") : static_cast<zip_int64_t>(at);
    }
    case ZIP_SOURCE_COMMIT_WRITE:
        return writing ? commitWrite(s) : failWith(s, ZIP_ER_INTERNAL, 0, "");
    case ZIP_SOURCE_ROLLBACK_WRITE:
        s.file.reset(); // removes the temporary file
        return 0;
    case ZIP_SOURCE_REMOVE:
        // Only asked for an archive left with no entries, which is never written.
        return failWith(s, ZIP_ER_OPNOTSUPP, 0, "");
    case ZIP_SOURCE_ERROR:
        return zip_error_to_data(&s.error, data, len);
    case ZIP_SOURCE_FREE:
        s.file.reset();
        zip_error_fini(&s.error);
        delete &s;
        return 0;
    case ZIP_SOURCE_SUPPORTS:
        // The reading commands are listed because libzip writes only to a seekable source; they are
        // never used, since the source reports no file to read.
        return zip_source_make_command_bitmap(
            ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE, ZIP_SOURCE_STAT, ZIP_SOURCE_ERROR,
            ZIP_SOURCE_FREE, ZIP_SOURCE_SEEK, ZIP_SOURCE_TELL, ZIP_SOURCE_SUPPORTS, ZIP_SOURCE_BEGIN_WRITE,
            ZIP_SOURCE_COMMIT_WRITE, ZIP_SOURCE_ROLLBACK_WRITE, ZIP_SOURCE_SEEK_WRITE, ZIP_SOURCE_TELL_WRITE,
            ZIP_SOURCE_WRITE, ZIP_SOURCE_REMOVE, -1);
    default:
        return failWith(s, ZIP_ER_OPNOTSUPP, 0, "");
    }
}

} // namespace

zip_source_t* makeArchiveTarget(const std::filesystem::path& target, SyncFunction sync,
                                std::string* errorText) {
    auto* state = new TargetState{target, std::move(sync), errorText, nullptr, {}};
    zip_error_init(&state->error);
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* src = zip_source_function_create(callback, state, &error);
    if (!src) {
        if (errorText) {
            *errorText = zip_error_strerror(&error);
        }
        zip_error_fini(&state->error);
        delete state;
    }
    zip_error_fini(&error);
    return src;
}

} // namespace qob
