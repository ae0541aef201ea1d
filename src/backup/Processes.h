#pragma once
#include "platform/SystemServices.h"

#include <chrono>
#include <functional>
#include <string>

namespace qob {

// KillProcessByName: terminates every process of the target system whose executable name equals
// `name` without regard to case; returns how many were terminated.
int killProcessByName(SystemServices& system, const std::string& name);

// How long closeProcessByName waits, and how often it looks.
struct CloseWaits {
    // For the program to save its files and exit after it was asked to.
    std::chrono::milliseconds processExit{std::chrono::seconds(60)};
    // Then for the registry holder to save and let go. Wine saves a running server's registry
    // every 30 s, so after this long the files hold what the program wrote even if it never exits.
    std::chrono::milliseconds registrySaved{std::chrono::seconds(35)};
    std::chrono::milliseconds poll{std::chrono::milliseconds(250)};
};

enum class CloseResult {
    NotRunning, // no such process: nothing was asked
    Closed,     // every such process exited after being asked
    StillOpen,  // it did not exit in time (or could not be asked); it was left running
};

// Asks every process of the target system named `name` (without regard to case) to close, waits
// for them to exit and then for the registry to be saved. Nothing is ever terminated: a program
// stopped mid-write can leave its data file torn. `onWait` runs at every look (to keep a window
// responsive).
CloseResult closeProcessByName(SystemServices& system, const std::string& name, const CloseWaits& waits = {},
                               const std::function<void()>& onWait = {});

} // namespace qob
