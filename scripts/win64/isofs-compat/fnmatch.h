#pragma once
/* Exact names only: the Windows engine searches no image by pattern. */
#include <string.h>
#define FNM_NOMATCH 1
static inline int fnmatch(const char* pattern, const char* name, int flags) {
    (void)flags;
    return strcmp(pattern, name) == 0 ? 0 : FNM_NOMATCH;
}
#define FNM_PATHNAME 1
#define FNM_PERIOD 4
