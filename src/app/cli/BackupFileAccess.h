#pragma once
// Opening a backup file for the qob commands that read one: the password is asked for only when
// the file is protected, from --password-file or QOB_PASSWORD, and proven before anything is read.
#include "app/cli/Cli.h"
#include "archive/Archive.h"

#include <cstdint>
#include <filesystem>
#include <iosfwd>
#include <string>

namespace qob::cli {

// The ANSI code page of the target system the command would work on (--prefix, $WINEPREFIX, the
// remembered choice, ~/.wine), read without opening that system for a run: reading a backup
// changes nothing there. Windows-1252 when there is no such prefix.
std::uint32_t commandCodePage(const Args& args);
// Opens `file` in `archive`, names and passwords in commandCodePage(); on failure `error` says why
// (a wrong password included).
bool openBackupFile(Archive& archive, const std::filesystem::path& file, const Args& args,
                    std::string& error);
// The same for a command whose one argument is the backup file: 0 when it is open, 2 for a wrong
// use (`usage` is shown), 1 when it cannot be opened (the reason goes to `err`).
int openBackupArgument(Archive& archive, const Args& args, const char* usage, std::ostream& err);

} // namespace qob::cli
