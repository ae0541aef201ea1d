#pragma once
// Where a backup may be written. A backup replaces the file at its path, so a path that names a
// user's mail file, the target system's registry, or any file that is not a backup of this
// program would lose that file for good. The window, qob and the automatic run all go through the
// backup job, which asks here before it touches anything.
#include "registry/TargetContext.h"

#include <filesystem>
#include <string>

namespace qob {

// Why no backup may be written at `target`, in words for the user; "" when it may. Refused: a
// path that names an existing folder, or a file that is not a readable backup of this program (one
// whose last entry is the information file); a registry file of the target system (user.reg,
// system.reg, userdef.reg); a data file or address book that any mail profile names, whether or
// not it exists. A backup replacing an earlier backup is allowed.
std::string backupTargetRefusal(TargetContext& platform, const std::filesystem::path& target);

// True when `file` opens as a zip archive whose last entry is the information file.
bool isBackupFile(const std::filesystem::path& file);

} // namespace qob
