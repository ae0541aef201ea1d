#pragma once
// The few POSIX file calls the core makes (open/fsync/flock/pread…), given on Windows by the
// Windows API, so that the same core sources build for both systems. The Windows build includes
// this header before every C++ source; nothing else needs to know it exists.
//
// Where Windows differs, the POSIX meaning is kept: files are opened binary and shared for
// reading, writing and deletion (so a file may be renamed or removed while open, as on Linux);
// rename replaces an existing target (MoveFileExW REPLACE_EXISTING | WRITE_THROUGH); fsync is
// FlushFileBuffers; flock is LockFileEx on the whole file, or a named mutex for a folder, which
// Windows cannot lock. Paths given as wchar_t (std::filesystem::path::c_str() on Windows) are used
// as they are, long paths included; narrow ones are UTF-8.
#ifdef _WIN32
// Declares POSIX names beside the C runtime's own (struct and function flock, sigaction): what
// looks like shadowing to the compiler is the POSIX API itself.
#pragma GCC system_header

#include <cerrno>
#include <csignal>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

// The C runtime's struct stat keeps owners as short.
using uid_t = short;
using gid_t = short;

#ifndef O_CLOEXEC
#define O_CLOEXEC _O_NOINHERIT
#endif
#define O_NOFOLLOW 0
#define O_NONBLOCK 0
// Not a flag of the C runtime: open() takes it to open a folder (for fsync and flock of it).
#define O_DIRECTORY 0x00200000
#define AT_FDCWD (-100)
#define LOCK_SH 1
#define LOCK_EX 2
#define LOCK_NB 4
#define LOCK_UN 8
#define F_GETFL 3
#define F_GETLK 5
#define F_SETLK 6
#define F_RDLCK 0
#define F_WRLCK 1
#define F_UNLCK 2
#define S_IFLNK 0xA000
#define RENAME_NOREPLACE 1
#define SYNC_FILE_RANGE_WRITE 2

// Record locks (the Wine server's lock on its folder): Windows has no Wine server; none is found.
struct flock {
    short l_type = F_UNLCK;
    short l_whence = 0;
    off_t l_start = 0;
    off_t l_len = 0;
    pid_t l_pid = 0;
};
#define POSIX_FADV_NORMAL 0
#define POSIX_FADV_SEQUENTIAL 2
#define POSIX_FADV_DONTNEED 4

int open(const wchar_t* path, int flags, ...);
int unlink(const wchar_t* path);
int rename(const wchar_t* from, const wchar_t* to);
// st_dev and st_ino tell whether two names or descriptors are one file, as on Linux: the volume's
// serial number and the file's index folded into the C runtime's 16-bit st_ino (the CRT leaves
// both 0, so every file would look like every other).
int stat(const wchar_t* path, struct stat* out);
int qobFstat(int fd, struct stat* out);
#undef fstat
#define fstat qobFstat
int lstat(const wchar_t* path, struct stat* out);
int lstat(const char* path, struct stat* out);
int link(const wchar_t* from, const wchar_t* to);
int linkat(int fromDir, const wchar_t* from, int toDir, const wchar_t* to, int flags);
int fsync(int fd);
inline int fdatasync(int fd) {
    return fsync(fd);
}
// Write-back is started by the system on its own; the final fsync is what counts.
inline int sync_file_range(int, off_t, off_t, unsigned) {
    return 0;
}
std::FILE* fopen(const wchar_t* path, const char* mode);
namespace std {
using ::fopen;
}
int mkdir(const wchar_t* path, int mode);
int access(const wchar_t* path, int mode);
int renameat2(int fromDir, const wchar_t* from, int toDir, const wchar_t* to, unsigned flags);
inline int chown(const wchar_t*, uid_t, gid_t) {
    return 0;
}
inline int chmod(const wchar_t* path, int mode) {
    return _wchmod(path, mode);
}
inline uid_t getuid() {
    return 0;
}
int flock(int fd, int operation);
int fcntl(int fd, int command, ...);
ssize_t pread(int fd, void* buffer, size_t count, off_t offset);
ssize_t pwrite(int fd, const void* buffer, size_t count, off_t offset);
int kill(pid_t pid, int signal);
// A new folder named by the template with its trailing XXXXXX replaced (UTF-8 text).
char* mkdtemp(char* nameTemplate);
// The process environment, which ExpandEnvironmentStringsW and child processes read too (UTF-8).
int setenv(const char* name, const char* value, int overwrite);
int unsetenv(const char* name);
inline int fchmod(int, unsigned) {
    return 0;
}
inline int fchown(int, uid_t, gid_t) {
    return 0;
}
inline uid_t geteuid() {
    return 0;
}
inline gid_t getegid() {
    return 0;
}
inline int posix_fadvise(int, off_t, off_t, int) {
    return 0;
}

// Ctrl+C and termination requests through the C runtime's signal(), which is all Windows has.
using sigset_t = unsigned long;
#define SA_RESTART 0x10000000
struct sigaction {
    void (*sa_handler)(int) = SIG_DFL;
    sigset_t sa_mask = 0;
    int sa_flags = 0;
};
inline int sigemptyset(sigset_t* set) {
    *set = 0;
    return 0;
}
inline int sigaction(int number, const struct sigaction* action, struct sigaction* previous) {
    void (*old)(int) = action ? ::signal(number, action->sa_handler) : ::signal(number, SIG_DFL);
    if (!action) {
        ::signal(number, old);
    }
    if (previous) {
        previous->sa_handler = old == SIG_ERR ? SIG_DFL : old;
    }
    return old == SIG_ERR ? -1 : 0;
}

#endif
