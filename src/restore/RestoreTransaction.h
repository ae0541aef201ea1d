#pragma once
// A restore changes the target system as one step. Every file is first extracted to a hidden
// temporary name beside the file it replaces and every registry change is held in memory; until
// commit() nothing the user has is touched, so a failure or a cancel leaves the target as it was.
// commit() first checks that every file can be moved into place, then writes a journal (the
// renames to make, the registry state to reach and the state it had before), saves the registry
// once, keeps each replaced file aside under a second name, renames the new files into place and
// removes the journal and what was kept aside. A move that fails puts everything back at once. A
// run killed during the commit leaves the journal behind; the next run that takes the target
// system's run lock completes it, or, asked to, puts the target back as it was before
// (abandonInterruptedRestore), so the target is never left half restored. The journal and the
// list of files being extracted name the process that wrote them: no other run touches them while
// it lives.
#include "platform/RestoreJournalPlace.h"
#include "platform/Status.h"
#include "registry/TargetContext.h"

#include <filesystem>
#include <string>
#include <vector>

namespace qob {

class RestoreTransaction {
public:
    // Starts holding the registry's changes.
    explicit RestoreTransaction(TargetContext& platform);
    // Rolls back what was not committed.
    ~RestoreTransaction();
    RestoreTransaction(const RestoreTransaction&) = delete;
    RestoreTransaction& operator=(const RestoreTransaction&) = delete;

    // Records, before the first byte is written, that a temporary file for `target` is about to be
    // made, so that the next run can clear it if this one is killed before its commit.
    Status aboutToWrite(const std::filesystem::path& target);
    // Records, before they are made, the folders (host paths, top down) about to be made for this
    // restore, so that the next run can take them away again (while empty) if this one is killed
    // before its commit.
    Status aboutToCreateFolders(const std::vector<std::filesystem::path>& folders);
    // `temp` (written and synced) is to replace `target` at the commit. A later file for the same
    // target replaces an earlier one, as a second extraction over the first would.
    void stage(const std::filesystem::path& temp, const std::filesystem::path& target);
    // `target` is to be removed at the commit.
    void stageRemoval(const std::filesystem::path& target) { stage({}, target); }
    // A key whose final state the journal must record (the keys the run changes). Called before
    // the key is first changed: its state then is what an abandoned restore puts back.
    void touchKey(const std::string& keyPath);
    bool isStaged(const std::filesystem::path& target) const;
    // `folder` (a host path) was not there and has been made for this restore: a rollback removes
    // it again while it is empty. Called top down, for each level made.
    void createdFolder(const std::filesystem::path& folder);

    // Makes everything staged real. On a failure everything is rolled back and the message says
    // so; only when even that fails does the journal stay, and the message says what to do.
    Status commit();
    // Removes the temporary files and drops the held registry changes.
    void rollback();
    bool open() const { return open_; }

private:
    struct Staged {
        std::filesystem::path temp;
        std::filesystem::path target;
    };
    TargetContext& platform_;
    std::filesystem::path journal_;
    std::filesystem::path staging_;
    void removeStaging();
    Status noteInStaging(const std::string& lines);
    void removeCreatedFolders();
    Status checkMoves() const;
    std::vector<Staged> staged_;
    std::vector<std::string> keys_;
    std::vector<std::string> before_; // journal lines of each key as it was when first touched
    std::vector<std::filesystem::path> createdFolders_;
    bool stagingStarted_ = false;
    bool open_ = true;
};

// The words that tell the user how to leave a restore that cannot be completed.
inline constexpr char kAbandonAdvice[] =
    "Correct that and start again to complete it, or put the target system back as it was before that "
    "restore with \"qob restore --abandon\".";

// For a run that holds the target system's run lock (lockTargetSystem): completes the commit of a
// restore that was killed half-way on this target system, if its journal is there; a restore killed
// before its commit has its temporary files removed instead. A restore whose process still runs is
// left alone and refused. Success when there was nothing to do or the restore was completed; a
// failure (the registry cannot be saved now, a file cannot be moved, a damaged journal) keeps the
// journal and says what to do.
Status completeInterruptedRestore(TargetContext& platform);
// The same for a start: done only when the run lock can be taken at once, so a start while
// another run works (a restore extracting or committing) leaves everything as it is.
Status completeInterruptedRestoreIfIdle(TargetContext& platform);
// For a run that holds the run lock: puts the target system back as it was before a restore that
// was killed or failed during its commit (its files, the files it replaced, its registry keys), and
// drops its journal. Success, with `note` saying what was done, also when there was nothing to undo.
Status abandonInterruptedRestore(TargetContext& platform, std::string& note);
// abandonInterruptedRestore for the window and qob: takes the run lock first (refused, naming the
// run, while another run holds it).
Status undoInterruptedRestore(TargetContext& platform, std::string& note);
// A restore's journal is waiting on this target system.
bool interruptedRestorePending(const Platform& platform);

} // namespace qob
