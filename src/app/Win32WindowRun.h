#pragma once
// quiremail.exe's interactive side on Windows: the main window on this Windows, with the program's
// other windows behind its menus.
#include "app/WindowRun.h"

namespace qob {

// Runs the windows until the user quits; the exit code of the program.
int runWin32Windows(const WindowRunOptions& options);

} // namespace qob
