#pragma once
// What the backup runs add to the information file format of ArchiveInfoFile.h: the data files'
// original paths, the automatic run's description and the date-time text of the file and the log.
#include "settings/ArchiveInfoFile.h"

#include <chrono>
#include <string>

namespace qob {

// The line after "BackupDatas": "<entry name><<original target path>" pairs joined by "|", so a
// restore can tell two data files of the same bare name apart. Readers that do not know the key
// ignore it.
inline constexpr char kDatasPathsKey[] = "BackupDatasPaths";
inline constexpr char kAutomaticDescription[] = "Automatic Backup";

// The general date form: "M/D/YYYY h:mm:ss AM" in local time; only the date at exactly midnight.
std::string generalDateText(std::chrono::system_clock::time_point when);

} // namespace qob
