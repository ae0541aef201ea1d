#pragma once
// The run log brlog.dat: only ever appended to, one entry per AppendLog call. The entry texts keep
// the odd CR / LF endings that existing logs have, since the log viewer shows them line by line.
#include <filesystem>
#include <string>

namespace qob {

// Host path of brlog.dat in the program folder.
std::filesystem::path runLogPath(const std::filesystem::path& programFolder);

// Appends text + CR LF in one write (an interactive and a scheduled run may log at the same time,
// and their entries must not interleave). Creates the file when missing. False on any error.
bool appendLog(const std::filesystem::path& file, const std::string& text);

// The result names of the logged items, by check box (0..8): "Backup Personal Folders" ...
const char* itemResultName(std::size_t box);

// Entry texts; `time` is generalDateText of now.
std::string logSeparator();
std::string logRunStart(const std::string& time, const std::string& profile);
std::string logAutoRunStart(const std::string& time, const std::string& profile);
std::string logTarget(const std::string& time, const std::string& targetPath);
// time + " " + name + " Succeeded!" or " Fail!", then LF.
std::string logItemResult(const std::string& time, const std::string& name, bool ok);
// A file the profile uses that did not go into the backup: time + " Not stored: " + why, then LF.
std::string logNotStored(const std::string& time, const std::string& what);
std::string logRunEnd(const std::string& time, const std::string& profile);
// A run whose backup file could not be written (or whose check failed): never "Completed".
std::string logRunFailed(const std::string& time, const std::string& profile, const std::string& reason);
// A run that wrote its backup without every item it was asked for: never "Completed" either.
std::string logRunIncomplete(const std::string& time, const std::string& profile);
// An incomplete backup that was written beside an earlier one holding what it lacks.
std::string logWrittenBeside(const std::string& time, const std::string& file, const std::string& earlier);

// The name used in the summary and the log for the read-back check of "checkbackupfile".
inline constexpr char kCheckResultName[] = "Check Backup File";
// The name of the profile configuration step (the registry key of the profile itself), which the
// personal folders, the accounts and the address book all need for a restore.
inline constexpr char kConfigResultName[] = "Backup Profile Configuration";

} // namespace qob
