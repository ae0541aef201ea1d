#pragma once
// "autorun.dat" in the program folder: when the weekly task was registered and when the
// automatic run last started, so that a run the machine missed (it was off at the time) can be
// made up at the next start of the user's session.
#include "platform/Status.h"

#include <chrono>
#include <filesystem>
#include <optional>

namespace qob {

inline constexpr char kAutoRunStateFile[] = "autorun.dat";

struct AutoRunState {
    std::optional<std::chrono::system_clock::time_point> registered;
    std::optional<std::chrono::system_clock::time_point> lastRun;
};

AutoRunState readAutoRunState(const std::filesystem::path& programFolder);
Status recordRegistration(const std::filesystem::path& programFolder,
                          std::chrono::system_clock::time_point when);
Status recordAutomaticRun(const std::filesystem::path& programFolder,
                          std::chrono::system_clock::time_point when);

} // namespace qob
