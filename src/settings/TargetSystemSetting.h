#pragma once
// The Wine prefix the user picked as the target system, kept in settings.dat (section "General",
// key "targetsystem") so that the weekly backup, which cron starts without $WINEPREFIX, works on
// the same prefix as the window did. No value means no choice was made.
#include "platform/Status.h"

#include <filesystem>
#include <optional>
#include <string>

namespace qob {

inline constexpr char kTargetSystemSection[] = "General";
inline constexpr char kTargetSystemKey[] = "targetsystem";

// The remembered prefix folder, or nothing when none was chosen.
std::optional<std::string> readTargetSystemChoice(const std::filesystem::path& programFolder);

// Remembers `prefix` (made canonical) as the chosen target system. Refuses, changing nothing, a
// folder that checkWinePrefix does not accept and a path that the settings file could not give
// back whole (longer than 127 characters, or with blanks or quotes at either end).
Status rememberTargetSystem(const std::filesystem::path& programFolder, const std::filesystem::path& prefix);

// Drops the choice: the programs go back to $WINEPREFIX and ~/.wine.
Status forgetTargetSystem(const std::filesystem::path& programFolder);

} // namespace qob
