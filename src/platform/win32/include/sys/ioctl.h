#pragma once
// The terminal's width for the progress line (TIOCGWINSZ), from the Windows console.
#include "platform/win32/PosixApi.h"

struct winsize {
    unsigned short ws_row = 0;
    unsigned short ws_col = 0;
    unsigned short ws_xpixel = 0;
    unsigned short ws_ypixel = 0;
};
#define TIOCGWINSZ 0x5413
int ioctl(int fd, unsigned long request, ...);
