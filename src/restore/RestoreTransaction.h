#pragma once
// A restore changes the target system as one step. Every file is first extracted to a hidden
// temporary name beside the file it replaces and every registry change is held in memory; until
// commit() nothing the user has is touched, so a failure or a cancel leaves the target as it was.
// commit() writes a journal (the renames to make and the registry state to reach), saves the
// registry once, renames the files into place and removes the journal. A run killed during the
// commit leaves the journal behind, and the next run on the same target system completes it
// (completeInterruptedRestore), so the target is never left half restored.
#include "platform/Platform.h"
#include "platform/Status.h"

#include <filesystem>
#include <string>
#include <vector>

namespace qob {

// The journal of the target system behind `platform` (its system folder, else the program folder),
// and the list of files a restore is preparing there.
std::filesystem::path restoreJournalPath(const Platform& platform);
std::filesystem::path restoreStagingPath(const Platform& platform);

class RestoreTransaction {
public:
    // Starts holding the registry's changes.
    explicit RestoreTransaction(Platform& platform);
    // Rolls back what was not committed.
    ~RestoreTransaction();
    RestoreTransaction(const RestoreTransaction&) = delete;
    RestoreTransaction& operator=(const RestoreTransaction&) = delete;

    // Records, before the first byte is written, that a temporary file for `target` is about to be
    // made, so that the next run can clear it if this one is killed before its commit.
    Status aboutToWrite(const std::filesystem::path& target);
    // `temp` (written and synced) is to replace `target` at the commit. A later file for the same
    // target replaces an earlier one, as a second extraction over the first would.
    void stage(const std::filesystem::path& temp, const std::filesystem::path& target);
    // `target` is to be removed at the commit.
    void stageRemoval(const std::filesystem::path& target) { stage({}, target); }
    // A key whose final state the journal must record (the keys the run changes).
    void touchKey(const std::string& keyPath);
    bool isStaged(const std::filesystem::path& target) const;

    // Makes everything staged real. On a failure before the files were moved, everything is rolled
    // back and the message says so; later failures leave the journal for the next run.
    Status commit();
    // Removes the temporary files and drops the held registry changes.
    void rollback();
    bool open() const { return open_; }

private:
    struct Staged {
        std::filesystem::path temp;
        std::filesystem::path target;
    };
    Platform& platform_;
    std::filesystem::path journal_;
    std::filesystem::path staging_;
    void removeStaging();
    std::vector<Staged> staged_;
    std::vector<std::string> keys_;
    bool open_ = true;
};

// Completes the commit of a restore that was killed half-way on this target system, if its journal
// is there; a restore killed before its commit has its temporary files removed instead. Success when there
// was nothing to do or the restore was completed; a failure (the registry cannot be saved now, a damaged
// journal) keeps the journal and says what to do.
Status completeInterruptedRestore(Platform& platform);

} // namespace qob
