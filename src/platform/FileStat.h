#pragma once
// A file's modification time to the nanosecond where the system keeps it (Windows' C runtime
// gives whole seconds).
#include <ctime>
#include <sys/stat.h>

namespace qob {

inline timespec modificationTime(const struct stat& st) {
#ifdef _WIN32
    return timespec{st.st_mtime, 0};
#else
    return st.st_mtim;
#endif
}

} // namespace qob
