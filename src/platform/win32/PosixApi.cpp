#include "platform/win32/PosixApi.h"

#include "platform/win32/WideText.h"

#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwctype>
#include <map>
#include <mutex>
#include <string>
#include <sys/statvfs.h>

namespace {

int errnoOf(DWORD error) {
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_NETPATH:
        return ENOENT;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return EEXIST;
    case ERROR_ACCESS_DENIED:
        return EACCES;
    // Another program (Outlook) holds the file open without sharing it, or has locked a part of it.
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return EBUSY;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return ENOSPC;
    case ERROR_DIR_NOT_EMPTY:
        return ENOTEMPTY;
    case ERROR_NOT_SAME_DEVICE:
        return EXDEV;
    case ERROR_INVALID_HANDLE:
        return EBADF;
    default:
        return EIO;
    }
}

int failWith(DWORD error) {
    errno = errnoOf(error);
    return -1;
}

// Flags each descriptor was opened with, for fcntl(F_GETFL).
std::mutex openFlagsLock;
std::map<int, int> openFlags;

// Windows cannot lock a folder. A descriptor opened for a folder is a lock file in the temporary
// folder named after the folder's full path instead: flock() on it locks that folder for every
// process, fsync() on it has nothing to do (NTFS journals the folder's entries; renames are written
// through), and closing it releases the lock as closing a folder's descriptor does on Linux.
std::wstring folderLockFile(const wchar_t* folder) {
    std::wstring full = qob::win32::fullPath(folder);
    for (wchar_t& c : full) {
        c = static_cast<wchar_t>(std::towlower(c));
        if (c == L'/') {
            c = L'\\';
        }
    }
    while (full.size() > 3 && full.back() == L'\\') {
        full.pop_back();
    }
    std::uint64_t hash = 1469598103934665603ull; // FNV-1a
    for (wchar_t c : full) {
        hash = (hash ^ static_cast<std::uint64_t>(c)) * 1099511628211ull;
    }
    wchar_t temp[MAX_PATH + 1];
    const DWORD n = GetTempPathW(MAX_PATH + 1, temp);
    std::wstring dir = std::wstring(temp, n) + L"quire-outlook-backup-locks";
    CreateDirectoryW(dir.c_str(), nullptr);
    wchar_t name[32];
    std::swprintf(name, 32, L"\\%016llx.lock", static_cast<unsigned long long>(hash));
    return dir + name;
}

HANDLE handleOf(int fd) {
    return reinterpret_cast<HANDLE>(_get_osfhandle(fd));
}

} // namespace

int open(const wchar_t* path, int flags, ...) {
    int mode = 0;
    if (flags & O_CREAT) {
        va_list args;
        va_start(args, flags);
        mode = va_arg(args, int);
        va_end(args);
    }
    (void)mode; // Windows files take their permissions from the folder
    std::wstring target = qob::win32::longPath(path);
    if (flags & O_DIRECTORY) {
        const DWORD attributes = GetFileAttributesW(target.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            return failWith(GetLastError());
        }
        if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            errno = ENOTDIR;
            return -1;
        }
        target = folderLockFile(target.c_str());
        flags = O_RDWR | O_CREAT;
    }
    DWORD access = 0;
    switch (flags & O_ACCMODE) {
    case O_RDONLY:
        access = GENERIC_READ;
        break;
    case O_WRONLY:
        access = GENERIC_WRITE;
        break;
    default:
        access = GENERIC_READ | GENERIC_WRITE;
        break;
    }
    // Appends through a handle that may only append: Windows then puts every write at the end as
    // one step, as O_APPEND does, where the C runtime's seek-then-write lets two writers overwrite
    // each other's lines.
    if (flags & O_APPEND) {
        access = (access & GENERIC_READ) | FILE_APPEND_DATA | SYNCHRONIZE;
    }
    DWORD disposition = OPEN_EXISTING;
    if ((flags & O_CREAT) && (flags & O_EXCL)) {
        disposition = CREATE_NEW;
    } else if ((flags & O_CREAT) && (flags & O_TRUNC)) {
        disposition = CREATE_ALWAYS;
    } else if (flags & O_CREAT) {
        disposition = OPEN_ALWAYS;
    } else if (flags & O_TRUNC) {
        disposition = TRUNCATE_EXISTING;
    }
    HANDLE h = CreateFileW(target.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        return failWith(GetLastError());
    }
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_BINARY);
    if (fd < 0) {
        CloseHandle(h);
        errno = EMFILE;
        return -1;
    }
    std::lock_guard<std::mutex> lock(openFlagsLock);
    openFlags[fd] = flags;
    return fd;
}

int unlink(const wchar_t* path) {
    return DeleteFileW(qob::win32::longPath(path).c_str()) ? 0 : failWith(GetLastError());
}

// A second name for a file (NTFS hard link); fails on file systems without them, as link() does.
int link(const wchar_t* from, const wchar_t* to) {
    return CreateHardLinkW(qob::win32::longPath(to).c_str(), qob::win32::longPath(from).c_str(), nullptr)
               ? 0
               : failWith(GetLastError());
}

int rename(const wchar_t* from, const wchar_t* to) {
    return MoveFileExW(qob::win32::longPath(from).c_str(), qob::win32::longPath(to).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
               ? 0
               : failWith(GetLastError());
}

namespace {

void fillIdentity(HANDLE h, struct stat* out) {
    BY_HANDLE_FILE_INFORMATION info;
    if (h != INVALID_HANDLE_VALUE && GetFileInformationByHandle(h, &info)) {
        out->st_dev = info.dwVolumeSerialNumber;
        const std::uint64_t index =
            (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
        out->st_ino =
            static_cast<decltype(out->st_ino)>(index ^ (index >> 16) ^ (index >> 32) ^ (index >> 48));
    }
}

} // namespace

int stat(const wchar_t* path, struct stat* out) {
    const std::wstring name = qob::win32::longPath(path);
    if (_wstat64(name.c_str(), out) != 0) {
        return -1;
    }
    HANDLE h = CreateFileW(name.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    fillIdentity(h, out);
    if (h != INVALID_HANDLE_VALUE) {
        CloseHandle(h);
    }
    return 0;
}

int qobFstat(int fd, struct stat* out) {
    if (_fstat64(fd, out) != 0) {
        return -1;
    }
    fillIdentity(handleOf(fd), out);
    return 0;
}

// Windows programs meet no symbolic links in the folders this program reads.
int lstat(const wchar_t* path, struct stat* out) {
    return stat(path, out);
}
int lstat(const char* path, struct stat* out) {
    return stat(qob::win32::widen(path).c_str(), out);
}

int linkat(int, const wchar_t* from, int, const wchar_t* to, int) {
    return CreateHardLinkW(qob::win32::longPath(to).c_str(), qob::win32::longPath(from).c_str(), nullptr)
               ? 0
               : failWith(GetLastError());
}

int fsync(int fd) {
    HANDLE h = handleOf(fd);
    if (h == INVALID_HANDLE_VALUE) {
        errno = EBADF;
        return -1;
    }
    if (FlushFileBuffers(h)) {
        return 0;
    }
    // A handle opened for reading has nothing of its own to flush.
    const DWORD error = GetLastError();
    return error == ERROR_ACCESS_DENIED ? 0 : failWith(error);
}

int flock(int fd, int operation) {
    HANDLE h = handleOf(fd);
    if (h == INVALID_HANDLE_VALUE) {
        errno = EBADF;
        return -1;
    }
    // One byte far past any real data: Windows' locks are mandatory for the range they cover, and
    // flock's are advisory, so the data itself stays readable and writable by everyone.
    OVERLAPPED at{};
    at.Offset = 0;
    at.OffsetHigh = 0x7fffffff;
    if (operation & LOCK_UN) {
        return UnlockFileEx(h, 0, 1, 0, &at) ? 0 : failWith(GetLastError());
    }
    DWORD how = (operation & LOCK_EX) ? LOCKFILE_EXCLUSIVE_LOCK : 0;
    if (operation & LOCK_NB) {
        how |= LOCKFILE_FAIL_IMMEDIATELY;
    }
    if (LockFileEx(h, how, 0, 1, 0, &at)) {
        return 0;
    }
    const DWORD error = GetLastError();
    if (error == ERROR_LOCK_VIOLATION || error == ERROR_IO_PENDING) {
        errno = EWOULDBLOCK;
        return -1;
    }
    return failWith(error);
}

int fcntl(int fd, int command, ...) {
    if (command == F_GETLK || command == F_SETLK) {
        va_list args;
        va_start(args, command);
        struct flock* lock = va_arg(args, struct flock*);
        va_end(args);
        if (command == F_GETLK && lock != nullptr) {
            lock->l_type = F_UNLCK;
        }
        return 0;
    }
    if (command != F_GETFL) {
        errno = EINVAL;
        return -1;
    }
    std::lock_guard<std::mutex> lock(openFlagsLock);
    auto it = openFlags.find(fd);
    return it == openFlags.end() ? O_RDWR : it->second;
}

namespace {

// ReadFile/WriteFile at an offset move the file pointer; pread and pwrite must not.
template <typename Io> ssize_t atOffset(int fd, off_t offset, Io io) {
    HANDLE h = handleOf(fd);
    if (h == INVALID_HANDLE_VALUE) {
        errno = EBADF;
        return -1;
    }
    LARGE_INTEGER zero{}, position{};
    SetFilePointerEx(h, zero, &position, FILE_CURRENT);
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(static_cast<std::uint64_t>(offset));
    at.OffsetHigh = static_cast<DWORD>(static_cast<std::uint64_t>(offset) >> 32);
    DWORD done = 0;
    const BOOL ok = io(h, &done, &at);
    const DWORD error = GetLastError();
    SetFilePointerEx(h, position, nullptr, FILE_BEGIN);
    if (!ok) {
        return error == ERROR_HANDLE_EOF ? 0 : failWith(error);
    }
    return static_cast<ssize_t>(done);
}

DWORD clampCount(size_t count) {
    return count > 0x40000000u ? 0x40000000u : static_cast<DWORD>(count);
}

} // namespace

ssize_t pread(int fd, void* buffer, size_t count, off_t offset) {
    return atOffset(fd, offset, [&](HANDLE h, DWORD* done, OVERLAPPED* at) {
        return ReadFile(h, buffer, clampCount(count), done, at);
    });
}

ssize_t pwrite(int fd, const void* buffer, size_t count, off_t offset) {
    return atOffset(fd, offset, [&](HANDLE h, DWORD* done, OVERLAPPED* at) {
        return WriteFile(h, buffer, clampCount(count), done, at);
    });
}

int kill(pid_t pid, int signal) {
    if (signal != 0) {
        errno = EINVAL;
        return -1;
    }
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(pid));
    if (process == nullptr) {
        errno = GetLastError() == ERROR_ACCESS_DENIED ? EPERM : ESRCH;
        return -1;
    }
    DWORD code = 0;
    const bool running = GetExitCodeProcess(process, &code) && code == STILL_ACTIVE;
    CloseHandle(process);
    if (!running) {
        errno = ESRCH;
        return -1;
    }
    return 0;
}

int statvfs(const wchar_t* path, struct statvfs* out) {
    ULARGE_INTEGER available{}, total{}, free{};
    if (!GetDiskFreeSpaceExW(qob::win32::longPath(path).c_str(), &available, &total, &free)) {
        return failWith(GetLastError());
    }
    *out = {};
    out->f_bsize = out->f_frsize = 1;
    out->f_blocks = total.QuadPart;
    out->f_bfree = free.QuadPart;
    out->f_bavail = available.QuadPart;
    return 0;
}

int statvfs(const char* path, struct statvfs* out) {
    return statvfs(qob::win32::widen(path).c_str(), out);
}

std::FILE* fopen(const wchar_t* path, const char* mode) {
    return _wfopen(qob::win32::longPath(path).c_str(), qob::win32::widen(mode).c_str());
}

int mkdir(const wchar_t* path, int) {
    return CreateDirectoryW(qob::win32::longPath(path).c_str(), nullptr) ? 0 : failWith(GetLastError());
}

int access(const wchar_t* path, int mode) {
    const DWORD attributes = GetFileAttributesW(qob::win32::longPath(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return failWith(GetLastError());
    }
    // Folders are writable whatever their read-only attribute says (Windows ignores it for them).
    if ((mode & W_OK) && (attributes & FILE_ATTRIBUTE_READONLY) && !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        errno = EACCES;
        return -1;
    }
    return 0;
}

int renameat2(int, const wchar_t* from, int, const wchar_t* to, unsigned flags) {
    const DWORD how = MOVEFILE_WRITE_THROUGH | ((flags & RENAME_NOREPLACE) ? 0 : MOVEFILE_REPLACE_EXISTING);
    return MoveFileExW(qob::win32::longPath(from).c_str(), qob::win32::longPath(to).c_str(), how)
               ? 0
               : failWith(GetLastError());
}

#include <sys/ioctl.h>

int ioctl(int fd, unsigned long request, ...) {
    if (request != TIOCGWINSZ) {
        errno = EINVAL;
        return -1;
    }
    va_list args;
    va_start(args, request);
    winsize* size = va_arg(args, winsize*);
    va_end(args);
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!GetConsoleScreenBufferInfo(handleOf(fd), &info)) {
        errno = ENOTTY;
        return -1;
    }
    size->ws_col = static_cast<unsigned short>(info.srWindow.Right - info.srWindow.Left + 1);
    size->ws_row = static_cast<unsigned short>(info.srWindow.Bottom - info.srWindow.Top + 1);
    return 0;
}

char* mkdtemp(char* nameTemplate) {
    std::string name = nameTemplate;
    if (name.size() < 6 || name.compare(name.size() - 6, 6, "XXXXXX") != 0) {
        errno = EINVAL;
        return nullptr;
    }
    static const char letters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    LARGE_INTEGER seed{};
    QueryPerformanceCounter(&seed);
    std::uint64_t state =
        static_cast<std::uint64_t>(seed.QuadPart) ^ (static_cast<std::uint64_t>(GetCurrentProcessId()) << 32);
    for (int attempt = 0; attempt < 100; ++attempt) {
        for (std::size_t i = name.size() - 6; i < name.size(); ++i) {
            state = state * 6364136223846793005ull + 1442695040888963407ull;
            name[i] = letters[(state >> 33) % (sizeof letters - 1)];
        }
        if (CreateDirectoryW(qob::win32::widen(name).c_str(), nullptr)) {
            name.copy(nameTemplate, name.size());
            return nameTemplate;
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS) {
            failWith(GetLastError());
            return nullptr;
        }
    }
    errno = EEXIST;
    return nullptr;
}

int setenv(const char* name, const char* value, int overwrite) {
    if (name == nullptr || *name == '\0' || std::strchr(name, '=') != nullptr || value == nullptr) {
        errno = EINVAL;
        return -1;
    }
    if (!overwrite && std::getenv(name) != nullptr) {
        return 0;
    }
    // The wide call keeps what the ANSI code page cannot hold; the C runtime updates its narrow
    // copy and the process environment block with it.
    return _wputenv_s(qob::win32::widen(name).c_str(), qob::win32::widen(value).c_str()) == 0 ? 0 : -1;
}

int unsetenv(const char* name) {
    if (name == nullptr || *name == '\0' || std::strchr(name, '=') != nullptr) {
        errno = EINVAL;
        return -1;
    }
    // An empty value removes the variable.
    return _wputenv_s(qob::win32::widen(name).c_str(), L"") == 0 ? 0 : -1;
}
