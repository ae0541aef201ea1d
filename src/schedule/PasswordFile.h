#pragma once
// The weekly task's password, kept where only its owner can read it: a file of the program
// folder, mode 0600, whose path the task passes in QUIRE_PASSWORD_FILE. On the task's command
// line it would be visible to every user of the machine in the process list while the run lasts.
#include "platform/Status.h"

#include <filesystem>
#include <string>

namespace qob {

inline constexpr char kPasswordFileVariable[] = "QUIRE_PASSWORD_FILE";
// Names of the password files the program writes; only files so named are ever removed.
inline constexpr char kPasswordFilePrefix[] = "autobackup-password-";

// Writes `password` and a line break to a new file "autobackup-password-XXXXXX" in `folder`,
// readable and writable by its owner only, flushed to disk. `file` names it.
Status writePasswordFile(const std::filesystem::path& folder, const std::string& password,
                         std::filesystem::path& file);
// The first line of `file` (a final CR dropped). Fails, saying why, when the file is missing,
// unreadable, or holds no password.
Status readPasswordFile(const std::filesystem::path& file, std::string& password);
// Removes `file` when it is one of the password files the program wrote in `folder`.
void removePasswordFile(const std::filesystem::path& folder, const std::filesystem::path& file);

} // namespace qob
