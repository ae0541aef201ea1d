#pragma once
// "keepautobackups": in new-file mode every automatic run leaves one more time-stamped file; once
// a new one has been written whole, the oldest automatic backups of that profile beyond the
// number kept are removed.
#include <filesystem>
#include <string>
#include <vector>

namespace qob {

struct RetentionResult {
    std::vector<std::filesystem::path> removed;
    std::vector<std::string> problems; // files that could not be removed, with the reason
};

// `written` is the new backup, named "<base>-MM-DD-YYYY-HH-MM.qob". Candidates are the files of
// its folder named "<base>-<stamp>.qob" with an older stamp whose information file (read with
// `password`) says they are automatic backups of `profile`; one that cannot be read is kept.
// The newest `keep` - 1 of them stay beside the new one; `keep` below 1 keeps all.
RetentionResult removeOlderAutomaticBackups(const std::filesystem::path& written, const std::string& profile,
                                            const std::string& password, long keep,
                                            const std::filesystem::path& scratchFolder);

} // namespace qob
