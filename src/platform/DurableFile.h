#pragma once
// Replacing a file so that a crash or power loss leaves either the old file or the new one, whole.
// The new contents go to a temporary file in the target's folder (created 0600, so a half-written
// copy of private data is never readable by others, and locked for as long as its writer lives, so
// a clean-up can tell a live writer's file from a killed one's). Commit gives it the replaced file's
// owner and mode, flushes it to disk, renames it over the target and flushes the folder, so the
// rename itself survives a power loss too.
//
// A symbolic link at the target is replaced by the file, never followed: the new file does not take
// the mode or owner of whatever the link points at. Callers that mean to write through a link
// resolve it first.
#include "platform/Status.h"

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace qob {

// Flushes one descriptor (a file or a folder) to stable storage, returning 0 or -1 with errno set;
// fsync when empty. Tests pass a recorder to see what is flushed and when.
using SyncFunction = std::function<int(int fd)>;

class DurableReplace {
public:
    // Creates `<folder of target>/<tempPrefix><6 random letters>` exclusively. Check ok() and
    // error() before writing.
    DurableReplace(std::filesystem::path target, const std::string& tempPrefix, SyncFunction sync = {});
    ~DurableReplace(); // abandons an uncommitted temporary file
    DurableReplace(const DurableReplace&) = delete;
    DurableReplace& operator=(const DurableReplace&) = delete;

    bool ok() const { return fd_ >= 0; }
    const Status& error() const { return error_; }
    // errno of the last failure (0 after none).
    int errorNumber() const { return errno_; }
    // The new file has taken the target's place (commit got past the rename).
    bool replaced() const { return replaced_; }
    int fd() const { return fd_; }
    const std::filesystem::path& tempPath() const { return temp_; }

    // Writes all of `bytes` at the current offset.
    Status write(std::string_view bytes);
    // Mode for a new file (no regular file at the target); by default what the umask allows of 0666.
    void setNewFileMode(mode_t mode) { newMode_ = mode; }
    // Owner for a new file when running as root; by default the folder's owner (a file root
    // creates in a user's folder must stay usable by that user).
    void setNewFileOwner(uid_t uid, gid_t gid) {
        newUid_ = uid;
        newGid_ = gid;
        ownerSet_ = true;
    }
    // Owner and mode, flush, rename over the target, flush the folder. On failure the target is
    // untouched (unless only the folder flush failed) and the temporary file is gone.
    Status commit();
    // Everything commit() does before the rename: the temporary file, whole and on disk with the
    // target's owner and mode, is left at tempPath() for the caller to move into place.
    Status keep();
    // Closes and removes the temporary file; the target is untouched.
    void abandon();

private:
    Status prepare();
    Status failWith(const std::string& what, int err);

    std::filesystem::path target_;
    std::filesystem::path temp_;
    SyncFunction sync_;
    int fd_ = -1;
    mode_t newMode_ = 0;
    uid_t newUid_ = 0;
    gid_t newGid_ = 0;
    bool ownerSet_ = false;
    bool replaced_ = false;
    int errno_ = 0;
    Status error_;
};

// The whole of `bytes` into `target` through DurableReplace.
Status replaceFileDurably(const std::filesystem::path& target, std::string_view bytes,
                          const std::string& tempPrefix, SyncFunction sync = {});

// Flushes a folder's entries (a rename or removal in it) to stable storage; 0, or -1 with errno.
int syncFolder(const std::filesystem::path& folder, const SyncFunction& sync = {});

// Regular files in `folder` named `prefix` followed by six letters or digits (the temporary names
// above, mkstemp's and libzip's) that no live writer holds: leftovers of a killed write. `accept`
// may refuse a file by its contents.
void removeAbandonedTemporaries(const std::filesystem::path& folder, const std::string& prefix,
                                const std::function<bool(const std::filesystem::path&)>& accept = {});
// The same for every hidden name `.<anything><marker><6 letters or digits>` in `folder`: a writer's
// leftovers whatever file it was writing (".mail-2026-12-08.qob.qobtmp-a1b2c3" for marker ".qobtmp-").
void removeAbandonedHiddenTemporaries(const std::filesystem::path& folder, const std::string& marker);

} // namespace qob
