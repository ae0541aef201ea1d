#pragma once
// "autorun.dat" in the program folder: when the weekly task was registered and when the
// automatic run last started, so that a run the machine missed (it was off at the time) can be
// made up at the next start of the user's session; and how the last run ended, so that the
// window can tell of a failure nobody saw (cron shows nothing).
#include "platform/Status.h"

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>

namespace qob {

inline constexpr char kAutoRunStateFile[] = "autorun.dat";

// How the last automatic run ended.
struct AutoRunEnd {
    bool whole = false;  // every chosen item was stored
    std::string problem; // what went wrong, one line; empty when whole
    bool seen = false;   // the user has been shown the problem in the window
};

struct AutoRunState {
    std::optional<std::chrono::system_clock::time_point> registered;
    std::optional<std::chrono::system_clock::time_point> lastRun;
};

AutoRunState readAutoRunState(const std::filesystem::path& programFolder);
// How the last run ended; none before the first run that recorded its end.
std::optional<AutoRunEnd> readAutoRunEnd(const std::filesystem::path& programFolder);
Status recordRegistration(const std::filesystem::path& programFolder,
                          std::chrono::system_clock::time_point when);
Status recordAutomaticRun(const std::filesystem::path& programFolder,
                          std::chrono::system_clock::time_point when);
// Records how the run ended (not yet seen); line breaks in `problem` become spaces.
Status recordAutomaticRunEnd(const std::filesystem::path& programFolder, bool whole,
                             const std::string& problem);
// The user has been told of the last run's problem.
Status markAutomaticRunEndSeen(const std::filesystem::path& programFolder);

} // namespace qob
