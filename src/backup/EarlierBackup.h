#pragma once
// What a backup already at the target path holds, so that a run which could not store every item
// never takes the place of one that did.
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace qob {

// The item flags ("BackupItem") of the backup at `file`, read from its information file with
// `password` (empty for none); `scratchFolder` is no longer used (the entry is read in memory).
// nullopt when the file cannot be opened, holds no readable information file or no valid flags.
std::optional<std::string> storedItemFlags(const std::filesystem::path& file, const std::string& password,
                                           const std::filesystem::path& scratchFolder);

// The values of `keys` in the information file of the backup at `file` (a key the file lacks is
// left out); nullopt when the file cannot be opened or holds no readable information file.
std::optional<std::map<std::string, std::string>> storedInfoValues(const std::filesystem::path& file,
                                                                   const std::string& password,
                                                                   const std::filesystem::path& scratchFolder,
                                                                   const std::vector<std::string>& keys);

// Where an incomplete backup goes when the file at `target` must be kept: "<name>-incomplete.qob"
// in the same folder, <name> being the file name without a final ".qob".
std::filesystem::path incompleteBackupPath(const std::filesystem::path& target);

} // namespace qob
