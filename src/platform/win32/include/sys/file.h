#pragma once
// flock() on Windows: see platform/win32/PosixApi.h.
#include "platform/win32/PosixApi.h"
