#pragma once
// The weekly task's password, kept where only its owner can read it: a file of the program
// folder, readable by its owner alone. On the task's command line it would be visible to every
// user of the machine in the process list while the run lasts. A crontab line names the file in
// QUIRE_PASSWORD_FILE; a Windows task cannot set variables, so there the file has one fixed name
// the run looks for.
#include "platform/Status.h"

#include <filesystem>
#include <optional>
#include <string>

namespace qob {

inline constexpr char kPasswordFileVariable[] = "QUIRE_PASSWORD_FILE";
// Names of the password files the program writes; only files so named are ever removed.
inline constexpr char kPasswordFilePrefix[] = "autobackup-password-";
// The password file of a task that cannot name it (its name begins with the prefix above).
inline constexpr char kTaskPasswordFileName[] = "autobackup-password-task";

// Writes `password` and a line break to a new file "autobackup-password-XXXXXX" in `folder`,
// readable and writable by its owner only, flushed to disk. `file` names it.
Status writePasswordFile(const std::filesystem::path& folder, const std::string& password,
                         std::filesystem::path& file);
// The first line of `file` (a final CR dropped). Fails, saying why, when the file is missing,
// unreadable, or holds no password.
Status readPasswordFile(const std::filesystem::path& file, std::string& password);
// Removes `file` when it is one of the password files the program wrote in `folder`.
void removePasswordFile(const std::filesystem::path& folder, const std::filesystem::path& file);

// The fixed password file of the program folder `folder`.
std::filesystem::path taskPasswordFile(const std::filesystem::path& folder);
// Puts `written` (from writePasswordFile) in place as the fixed password file, replacing the one
// before in one step; without `written`, removes the fixed file. Fails, saying why, with the
// earlier file as it was.
Status placeTaskPasswordFile(const std::filesystem::path& folder,
                             const std::optional<std::filesystem::path>& written);
// The password file of an automatic run: the one the task names (`named`, from
// QUIRE_PASSWORD_FILE) or else the fixed one of `folder` when it is there.
std::optional<std::filesystem::path> runPasswordFile(const std::optional<std::string>& named,
                                                     const std::filesystem::path& folder);

} // namespace qob
