/* Loaded with LD_PRELOAD by the kill-point tests: counts the calls that make a program's writes
 * durable or visible (fsync, fdatasync, rename and its variants) and kills the process with SIGKILL
 * just before the N-th one, N taken from QOB_KILL_AT. It stands for a power cut or a kill -9 at that
 * exact point. QOB_KILL_COUNT_FILE, when set, receives the number of calls seen at exit, so a test
 * knows how many points a whole run has. QOB_PAUSE_AT=N stops the process (SIGSTOP) just before the
 * N-th call instead, so that a test can start a second run at that exact point. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

static long seen = 0;

static void point(void) {
    const char* at = getenv("QOB_KILL_AT");
    const char* pause = getenv("QOB_PAUSE_AT");
    ++seen;
    if (at && atol(at) == seen) {
        kill(getpid(), SIGKILL);
    }
    if (pause && atol(pause) == seen) {
        /* Stopped, not killed: the test runs another program meanwhile and then lets this one go on. */
        raise(SIGSTOP);
    }
}

__attribute__((destructor)) static void report(void) {
    const char* file = getenv("QOB_KILL_COUNT_FILE");
    if (file) {
        FILE* f = fopen(file, "w");
        if (f) {
            fprintf(f, "%ld\n", seen);
            fclose(f);
        }
    }
}

#define FORWARD(ret, name, params, args)                                                                     \
    ret name params {                                                                                        \
        static ret(*real) params = 0;                                                                        \
        if (!real) {                                                                                         \
            *(void**)(&real) = dlsym(RTLD_NEXT, #name);                                                      \
        }                                                                                                    \
        point();                                                                                             \
        return real args;                                                                                    \
    }

FORWARD(int, fsync, (int fd), (fd))
FORWARD(int, fdatasync, (int fd), (fd))
FORWARD(int, rename, (const char* a, const char* b), (a, b))
FORWARD(int, renameat, (int da, const char* a, int db, const char* b), (da, a, db, b))
FORWARD(int, renameat2, (int da, const char* a, int db, const char* b, unsigned int flags),
        (da, a, db, b, flags))
