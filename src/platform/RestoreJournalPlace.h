#pragma once
// Where a restore's journal and its list of files being extracted live: the target system's own
// folder (else the program folder), so that the next run on the same target system finds them
// whichever program folder it uses. Here, below every subsystem, because a backup must also know
// whether a restore is left unfinished.
#include "platform/Platform.h"

#include <filesystem>

namespace qob {

inline std::filesystem::path restoreJournalPath(const Platform& platform) {
    return (platform.systemFolder.empty() ? platform.programFolder : platform.systemFolder) /
           ".quire-restore-journal";
}

inline std::filesystem::path restoreStagingPath(const Platform& platform) {
    return (platform.systemFolder.empty() ? platform.programFolder : platform.systemFolder) /
           ".quire-restore-staging";
}

} // namespace qob
