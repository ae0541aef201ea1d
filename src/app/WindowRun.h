#pragma once
// quiremail's interactive side: the main window on the target system, with the program's other
// windows behind its menus.
#include <optional>
#include <string>

namespace qob {

struct WindowRunOptions {
    std::optional<std::string> openFile; // --open FILE.qob: the restore tab with that file
};

// Runs the windows until the user quits; the exit code of the program.
int runWindows(int argc, char** argv, const WindowRunOptions& options);

} // namespace qob
