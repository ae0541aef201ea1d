#pragma once
// The one reading of the automatic run's settings, for the run, the settings window and
// `qob schedule show` alike, so that the window never shows one thing while the runs do another.
#include <filesystem>

namespace qob {

// "autobackupfile" of "autobackup": true when each automatic run writes a new, time-stamped file
// ("Auto Backup to a new file"), false when it replaces the file of its command line ("Replace to
// default AutoBackup file"). A missing, empty or non-number value means a new file, as the runs
// have always taken it (it matches 1 under the settings comparison rule); so does "1"; any other
// number means replace.
bool autoBackupToNewFile(const std::filesystem::path& programFolder);

} // namespace qob
