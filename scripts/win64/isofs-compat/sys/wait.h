/* No child processes on Windows: libisofs' external filters are never used by this program. */
#pragma once
#define WIFEXITED(s) 1
#define WEXITSTATUS(s) (s)
#define WNOHANG 1
static inline int waitpid(int pid, int* status, int options) {
    (void)pid;
    (void)status;
    (void)options;
    return -1;
}
