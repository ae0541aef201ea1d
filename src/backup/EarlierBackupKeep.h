#pragma once
// The file a new backup is about to replace, kept under a second, hidden name until the new one has
// been read back. A read-back check that is cancelled must leave things as they were before the
// run, but by then the archive has already renamed the new file over the earlier one; a second
// link to the earlier file's data puts it back byte for byte, with its owner and mode, at the cost
// of one directory entry and no copying.
#include "platform/Status.h"

#include <filesystem>

namespace qob {

class EarlierBackupKeep {
public:
    // Links the file at `file`, when there is one, as "." + name + ".qobkeep-XXXXXX" beside it; a
    // leftover of that name from a run that was killed during its check is removed first.
    explicit EarlierBackupKeep(const std::filesystem::path& file);
    ~EarlierBackupKeep(); // release()
    EarlierBackupKeep(const EarlierBackupKeep&) = delete;
    EarlierBackupKeep& operator=(const EarlierBackupKeep&) = delete;

    // Removes what a run killed during its check left beside `file` (its earlier backup's second
    // name); a later run that does not check must not leave it there for good.
    static void removeLeftovers(const std::filesystem::path& file);

    // The state before the run can be put back: there was no file, or the link was made (a file
    // system without hard links cannot).
    bool canPutBack() const { return !existed_ || !link_.empty(); }
    // A file was there before the run.
    bool hadEarlier() const { return existed_; }
    // The new file stays; the second name goes.
    void release();
    // Puts the earlier file back at its place, or removes the new one when there was none; the
    // folder is flushed so that this survives a power loss too.
    Status putBack();

private:
    std::filesystem::path file_;
    std::filesystem::path link_;
    bool existed_ = false;
};

} // namespace qob
