#pragma once
// statvfs() on Windows (GetDiskFreeSpaceExW): the free and total space of a folder's volume.
#include "platform/win32/PosixApi.h"

struct statvfs {
    unsigned long f_bsize = 1;
    unsigned long f_frsize = 1;
    unsigned long long f_blocks = 0;
    unsigned long long f_bfree = 0;
    unsigned long long f_bavail = 0;
};
int statvfs(const wchar_t* path, struct statvfs* out);
int statvfs(const char* path, struct statvfs* out);
