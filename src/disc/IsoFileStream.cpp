#include "disc/IsoFileStream.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

#ifdef _WIN32
#include "platform/win32/WideText.h"

#include <windows.h>

#include <cstdint>
#include <filesystem>
#include <system_error>
#endif

// libisofs lays out a stream as { its methods, its reference count, its data } and leaves the type
// incomplete for C++; a stream made here must have exactly that layout.
struct iso_stream {
    IsoStreamIface* methods;
    int refcount;
    void* data;
};

namespace qob::disc {

void StreamFailures::record(int code, const std::string& description, const std::string& path) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (first_.fileName.empty()) {
        first_ = {code, description, path};
    }
}

FileError StreamFailures::first() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return first_;
}

int openImageSource(const std::string& path) {
#ifdef _WIN32
    // Through the wide open(), which opens binary: the C runtime's narrow one opens in text mode
    // and stops at the first Ctrl-Z. The name is read as every narrow path of the program is.
    return ::open(std::filesystem::path(path).c_str(), O_RDONLY | O_CLOEXEC);
#else
    return ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
#endif
}

namespace {

struct FileStreamIdentity {
    unsigned int fsId = 0;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
};

struct FileStreamData {
    std::string path;
    FileStreamIdentity identity;
    std::shared_ptr<StreamFailures> failures;
    std::size_t bufferBytes = 0;
    // Only the file's place in the image is wanted: its bytes are written by the image copy
    // itself, and libisofs is handed zeros without the file being read.
    bool placeholder = false;
    bool placeholderOpen = false;
    int fd = -1;
    std::unique_ptr<char[]> buffer; // only while open: one file at a time is read
    std::size_t start = 0;
    std::size_t end = 0;
    off_t delivered = 0; // since the file was opened

    void fail(int code, const std::string& what) {
        failures->record(code, what + ": " + std::strerror(code), path);
    }
    void closeFile() {
        if (fd >= 0) {
            ::close(fd);
        }
        fd = -1;
        placeholderOpen = false;
        buffer.reset();
        start = end = 0;
        delivered = 0;
    }
};

FileStreamData& dataOf(IsoStream* stream) {
    return *static_cast<FileStreamData*>(stream->data);
}

int isoCodeOf(int code) {
    switch (code) {
    case ENOENT:
        return ISO_FILE_DOESNT_EXIST;
    case EACCES:
    case EPERM:
        return ISO_FILE_ACCESS_DENIED;
    default:
        return ISO_FILE_ERROR;
    }
}

// As libisofs' own stream answers: 1 when the size is still the one the image was laid out for,
// 2 when the file has grown (its tail is left out), 3 when it has shrunk (zeros are put in).
int streamOpen(IsoStream* stream) {
    FileStreamData& d = dataOf(stream);
    if (d.fd >= 0 || d.placeholderOpen) {
        return ISO_FILE_ALREADY_OPENED;
    }
    if (d.placeholder) {
        d.placeholderOpen = true;
        return ISO_SUCCESS;
    }
    d.fd = openImageSource(d.path);
    if (d.fd < 0) {
        const int code = errno;
        d.fail(code, "The file could not be opened while the image was made");
        return isoCodeOf(code);
    }
    struct stat info {};
    if (::fstat(d.fd, &info) != 0) {
        const int code = errno;
        d.closeFile();
        d.fail(code, "The file could not be opened while the image was made");
        return isoCodeOf(code);
    }
    d.buffer.reset(new (std::nothrow) char[d.bufferBytes]);
    if (!d.buffer) {
        d.closeFile();
        return ISO_OUT_OF_MEM;
    }
    ::posix_fadvise(d.fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    if (info.st_size == d.identity.size) {
        return ISO_SUCCESS;
    }
    d.failures->record(EIO, "The file changed size while the image was made.", d.path);
    return d.identity.size > info.st_size ? 3 : 2;
}

int streamClose(IsoStream* stream) {
    FileStreamData& d = dataOf(stream);
    if (d.fd < 0 && !d.placeholderOpen) {
        return ISO_FILE_NOT_OPENED;
    }
    d.closeFile();
    return ISO_SUCCESS;
}

off_t streamSize(IsoStream* stream) {
    return dataOf(stream).identity.size;
}

int streamRead(IsoStream* stream, void* out, std::size_t count) {
    FileStreamData& d = dataOf(stream);
    if (d.placeholderOpen) {
        const auto n = static_cast<std::size_t>(std::min<off_t>(
            static_cast<off_t>(std::min<std::size_t>(count, 1 << 30)), d.identity.size - d.delivered));
        std::memset(out, 0, n);
        d.delivered += static_cast<off_t>(n);
        return static_cast<int>(n);
    }
    if (d.fd < 0) {
        return ISO_FILE_NOT_OPENED;
    }
    if (count == 0) {
        return 0;
    }
    if (d.start == d.end) {
        ssize_t got;
        do {
            got = ::read(d.fd, d.buffer.get(), d.bufferBytes);
        } while (got < 0 && errno == EINTR);
        if (got < 0) {
            d.fail(errno, "The file could not be read while the image was made");
            return ISO_FILE_READ_ERROR;
        }
        if (got == 0) {
            if (d.delivered < d.identity.size) {
                d.failures->record(EIO, "The file became shorter while the image was made.", d.path);
            }
            return 0;
        }
        d.start = 0;
        d.end = static_cast<std::size_t>(got);
    }
    const std::size_t n = std::min(count, d.end - d.start);
    std::memcpy(out, d.buffer.get() + d.start, n);
    d.start += n;
    d.delivered += static_cast<off_t>(n);
    return static_cast<int>(n);
}

int streamIsRepeatable(IsoStream*) {
    return 1;
}

void streamId(IsoStream* stream, unsigned int* fsId, dev_t* device, ino_t* inode) {
    const FileStreamIdentity& id = dataOf(stream).identity;
    *fsId = id.fsId;
    *device = id.device;
    *inode = id.inode;
}

void streamFree(IsoStream* stream) {
    FileStreamData* d = static_cast<FileStreamData*>(stream->data);
    d->closeFile();
    delete d; // the stream itself is freed by libisofs
}

int streamUpdateSize(IsoStream* stream) {
    FileStreamData& d = dataOf(stream);
#ifdef _WIN32
    std::error_code ec;
    const auto size = std::filesystem::file_size(std::filesystem::path(d.path), ec);
    if (ec) {
        return isoCodeOf(ec.value() == static_cast<int>(std::errc::no_such_file_or_directory) ? ENOENT : EIO);
    }
    d.identity.size = static_cast<off_t>(size);
#else
    struct stat info {};
    if (::stat(d.path.c_str(), &info) != 0) {
        return isoCodeOf(errno);
    }
    d.identity.size = info.st_size;
#endif
    return ISO_SUCCESS;
}

IsoStream* streamInput(IsoStream*, int) {
    return nullptr;
}

int streamClone(IsoStream* old, IsoStream** copy, int flag);

IsoStreamIface fileStreamMethods = {
    4,        {'q', 'o', 'b', 'f'}, streamOpen,       streamClose, streamSize, streamRead, streamIsRepeatable,
    streamId, streamFree,           streamUpdateSize, streamInput, nullptr,    streamClone};

FileStreamData* newData(const std::string& path, const FileStreamIdentity& identity,
                        std::shared_ptr<StreamFailures> failures, std::size_t bufferBytes, bool placeholder) {
    auto* data = new (std::nothrow) FileStreamData;
    if (data) {
        data->placeholder = placeholder;
        data->path = path;
        data->identity = identity;
        data->failures = std::move(failures);
        data->bufferBytes = std::max<std::size_t>(bufferBytes, 2048);
    }
    return data;
}

int streamClone(IsoStream* old, IsoStream** copy, int flag) {
    if (flag) {
        return ISO_STREAM_NO_CLONE;
    }
    const FileStreamData& d = dataOf(old);
    // libisofs frees a stream with free() when its last reference goes.
    auto* stream = static_cast<IsoStream*>(std::malloc(sizeof(IsoStream)));
    FileStreamData* data = newData(d.path, d.identity, d.failures, d.bufferBytes, d.placeholder);
    if (!stream || !data) {
        std::free(stream);
        delete data;
        return ISO_OUT_OF_MEM;
    }
    *stream = {&fileStreamMethods, 1, data};
    *copy = stream;
    return ISO_SUCCESS;
}

} // namespace

int readThroughBuffer(IsoStream* stream, const std::string& path, std::shared_ptr<StreamFailures> failures,
                      bool placeholder, std::size_t bufferBytes) {
    if (std::memcmp(stream->methods->type, "fsrc", 4) != 0) {
        return ISO_WRONG_ARG_VALUE;
    }
    FileStreamIdentity identity;
    iso_stream_get_id(stream, &identity.fsId, &identity.device, &identity.inode);
    identity.size = iso_stream_get_size(stream);
    FileStreamData* data = newData(path, identity, std::move(failures), bufferBytes, placeholder);
    if (!data) {
        return ISO_OUT_OF_MEM;
    }
    // The object stays where it is, so libisofs' nodes and its ordering of them are untouched;
    // only what it holds changes. Its own data goes as it would when the last reference went.
    stream->methods->free(stream);
    stream->methods = &fileStreamMethods;
    stream->data = data;
    return ISO_SUCCESS;
}

#ifdef _WIN32
namespace {
std::time_t unixTime(LARGE_INTEGER t) {
    // 100 ns since 1601 → seconds since 1970.
    return static_cast<std::time_t>((t.QuadPart - 116444736000000000LL) / 10000000LL);
}
} // namespace

// libisofs tells files apart by their inode: mingw-w64's 16-bit one would make files share content.
static_assert(sizeof(ino_t) == 8, "libisofs must be built and used with the 64-bit ino_t of qob_ino.h");

int newHostFileStream(const std::string& path, std::shared_ptr<StreamFailures> failures, IsoStream** stream,
                      HostFileFacts& facts, bool placeholder, std::size_t bufferBytes) {
    const HANDLE h = CreateFileW(win32::longPath(std::filesystem::path(path).c_str()).c_str(),
                                 FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                 nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND ? ISO_FILE_DOESNT_EXIST
               : code == ERROR_ACCESS_DENIED                                ? ISO_FILE_ACCESS_DENIED
                                                                            : ISO_FILE_ERROR;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    FILE_BASIC_INFO times{};
    const bool ok = GetFileInformationByHandle(h, &info) &&
                    GetFileInformationByHandleEx(h, FileBasicInfo, &times, sizeof times);
    CloseHandle(h);
    if (!ok || (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        return ISO_FILE_ERROR;
    }
    facts.device = static_cast<dev_t>(info.dwVolumeSerialNumber);
    facts.inode = (static_cast<ino_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    facts.size =
        static_cast<off_t>((static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow);
    facts.mode =
        static_cast<mode_t>(S_IFREG | ((info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) ? 0444 : 0644));
    facts.atime = unixTime(times.LastAccessTime);
    facts.mtime = unixTime(times.LastWriteTime);
    // The time the file's entry last changed: what Linux calls ctime (not the creation time).
    facts.ctime = unixTime(times.ChangeTime);

    FileStreamIdentity identity;
    identity.fsId = facts.fsId;
    identity.device = facts.device;
    identity.inode = facts.inode;
    identity.size = facts.size;
    // libisofs frees a stream with free() when its last reference goes.
    auto* made = static_cast<IsoStream*>(std::malloc(sizeof(IsoStream)));
    FileStreamData* data = newData(path, identity, std::move(failures), bufferBytes, placeholder);
    if (!made || !data) {
        std::free(made);
        delete data;
        return ISO_OUT_OF_MEM;
    }
    *made = {&fileStreamMethods, 1, data};
    *stream = made;
    return ISO_SUCCESS;
}
#endif

} // namespace qob::disc
