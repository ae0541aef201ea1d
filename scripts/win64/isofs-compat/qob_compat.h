#ifndef QOB_ISOFS_COMPAT_H
#define QOB_ISOFS_COMPAT_H
/* What libisofs needs of POSIX beyond what mingw-w64 has. The local-filesystem code paths that use
   links, owners and child processes are never reached by the Windows engine (it hands libisofs its
   own streams), so they only have to compile; each stand-in fails as the call would without the
   feature. */
#include "qob_ino.h"
#include <errno.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>
/* As the program's own src/platform/win32/PosixApi.h has them, so both sides of libisofs' API agree. */
typedef short uid_t;
typedef short gid_t;
typedef unsigned int nlink_t;
#ifndef S_IFLNK
#define S_IFLNK 0120000
#endif
#ifndef S_IFSOCK
#define S_IFSOCK 0140000
#endif
#ifndef S_ISLNK
#define S_ISLNK(m) (((m)&S_IFMT) == S_IFLNK)
#endif
#ifndef S_ISSOCK
#define S_ISSOCK(m) (((m)&S_IFMT) == S_IFSOCK)
#endif
#define lstat(p, s) stat((p), (s))
static inline ssize_t readlink(const char* p, char* b, size_t n) {
    (void)p;
    (void)b;
    (void)n;
    errno = EINVAL;
    return -1;
}
static inline int symlink(const char* a, const char* b) {
    (void)a;
    (void)b;
    errno = EPERM;
    return -1;
}
static inline uid_t getuid(void) {
    return 0;
}
static inline gid_t getgid(void) {
    return 0;
}
static inline int fork(void) {
    errno = ENOSYS;
    return -1;
}
static inline int pipe(int* fds) {
    (void)fds;
    errno = ENOSYS;
    return -1;
}
#include <fcntl.h>
#include <signal.h>
#ifndef F_GETFL
#define F_GETFL 3
#define F_SETFL 4
#endif
#ifndef O_NONBLOCK
#define O_NONBLOCK 04000
#endif
#ifndef SIGKILL
#define SIGKILL 9
#endif
static inline int fcntl(int fd, int cmd, ...) {
    (void)fd;
    (void)cmd;
    errno = ENOSYS;
    return -1;
}
static inline int kill(int pid, int sig) {
    (void)pid;
    (void)sig;
    errno = ENOSYS;
    return -1;
}
static inline int mknod(const char* p, int m, int d) {
    (void)p;
    (void)m;
    (void)d;
    errno = EPERM;
    return -1;
}
#endif
