#pragma once
// Scratch files in the program folder and whole-file replacement. An interactive run and a
// scheduled one may work in the same folder at once, so every name is claimed atomically.
#include "platform/DurableFile.h"
#include "platform/Status.h"

#include <filesystem>
#include <string>

namespace qob {

// Creates a new, empty, private (0600) file named <prefix><hex>.tmp in `folder` and stores its
// full host path in `created`. The hexadecimal number begins with this process's pid (8 digits),
// which tells removeAbandonedScratchFiles whose file it is. The name is claimed with an exclusive create and
// another is tried on a collision, so two callers (threads or processes) never get the same file. Fails when
// the folder is missing or not writable, or when the prefix holds a path separator or a NUL.
Status sGetTempFile(const std::filesystem::path& folder, const std::string& prefix,
                    std::filesystem::path& created);

// Removes from `folder` the scratch files of runs that were killed: files named by sGetTempFile
// whose owner no longer holds its ScratchFilesOwner marker (or, without one, no longer exists), and
// the markers of such runs. Files of live runs are never touched.
void removeAbandonedScratchFiles(const std::filesystem::path& folder);

// Held by a program for as long as it runs: marks the scratch files it makes in `folder` as a live
// run's (a locked `.qob-run-<pid>.lock`), and on creation clears what killed runs left behind.
class ScratchFilesOwner {
public:
    explicit ScratchFilesOwner(const std::filesystem::path& folder);
    ~ScratchFilesOwner();
    ScratchFilesOwner(const ScratchFilesOwner&) = delete;
    ScratchFilesOwner& operator=(const ScratchFilesOwner&) = delete;

private:
    int fd_ = -1;
    std::filesystem::path marker_;
};

// Replaces the contents of `file` with `bytes` through DurableReplace: the original keeps its
// permissions, a reader sees the old file or the new one, never a part, and so does the disk after a
// power loss; on failure the original is untouched and no scratch file remains. Leftovers of a
// killed earlier write are removed first.
Status replaceFileContents(const std::filesystem::path& file, const std::string& bytes,
                           SyncFunction sync = {});

} // namespace qob
