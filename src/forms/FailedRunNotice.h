#pragma once
// A failed automatic run must not go unnoticed: cron shows nothing. The run records how it ended in
// autorun.dat and, when the user's desktop session is there to show it, announces a failure at
// once; the window tells of a failure the user has not seen yet when it next opens.
#include "forms/AutomaticBackup.h"
#include "platform/DesktopNotifier.h"

#include <filesystem>
#include <optional>
#include <string>

namespace qob {

inline constexpr char kFailedRunTitle[] = "Automatic backup failed";

// One line saying what went wrong; empty when the run stored every chosen item.
std::string automaticRunProblem(const AutoBackupResult& result);

// Whether a desktop notification can be shown right now: the session bus's address (from
// DBUS_SESSION_BUS_ADDRESS) is known. Cron starts the run without one unless a session exported it.
bool sessionBusAvailable(const std::optional<std::string>& busAddress);

// Records how the run ended in the program folder's autorun.dat; on a failure, also shows it
// through `notifier` when one is given. The notification's own failure is not the run's: its
// message comes back so the caller can print it.
Status reportAutomaticRun(const std::filesystem::path& programFolder, const AutoBackupResult& result,
                          DesktopNotifier* notifier);

struct FailedRunNotice {
    std::string title;
    std::string text;
};

// At the window's start: the last automatic run's problem when the user has not been shown it.
std::optional<FailedRunNotice> unseenFailedRun(const std::filesystem::path& programFolder);
// The user has been shown it; it is not shown again until another run fails.
Status markFailedRunSeen(const std::filesystem::path& programFolder);

} // namespace qob
