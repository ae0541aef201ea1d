// What another run does with a restore that did not end: completes it, clears it, or undoes it.
// Only ever under the target system's run lock, and never for a restore whose process still runs:
// its temporary files and journal are its own until it ends.
#include "platform/DurableFile.h"
#include "platform/RunLock.h"
#include "restore/RestoreJournal.h"
#include "restore/RestoreTransaction.h"

#include <algorithm>
#include <fstream>

namespace qob {

namespace fs = std::filesystem;
using namespace journal;

namespace {

// The hidden temporary files an extraction for `target` makes (see Archive::extractToTemp), and
// those of earlier versions, which named them like every other temporary file.
void removeTemporariesOf(const fs::path& target) {
    const fs::path folder = target.parent_path();
    const std::string name = "." + target.filename().string();
    removeAbandonedTemporaries(folder, name + ".qobnew-");
    removeAbandonedTemporaries(folder, name + ".qobtmp-");
}

std::string stillRunning(const Owner& owner) {
    return "A restore (process " + std::to_string(owner.pid) +
           ") is still working on this target system; try again when it has finished.";
}

struct Staging {
    Owner owner;
    bool hasOwner = false;
    std::vector<fs::path> targets;
    std::vector<fs::path> folders; // top down, as they were made
};

// What the staging list says; false when it names a live owner (then nothing is touched).
bool readStaging(const fs::path& staging, Staging& read) {
    std::ifstream in(staging, std::ios::binary);
    std::string line, name;
    bool& hasOwner = read.hasOwner;
    Owner& owner = read.owner;
    hasOwner = false;
    while (std::getline(in, line)) {
        if (line.size() > 2 && line.compare(0, 2, "T ") == 0 && unhex(line.substr(2), name)) {
            read.targets.emplace_back(name);
        } else if (line.size() > 2 && line.compare(0, 2, "D ") == 0 && unhex(line.substr(2), name)) {
            read.folders.emplace_back(name);
        } else if (!hasOwner && parseOwner(line, owner)) {
            hasOwner = true;
        }
    }
    return !hasOwner || ownerGone(owner);
}

// A restore killed before its commit: its temporary files and the folders it made go, the target
// stays as it was.
Status clearStaging(const fs::path& staging) {
    Staging read;
    if (!readStaging(staging, read)) {
        return Status::failure(stillRunning(read.owner));
    }
    for (const fs::path& target : read.targets) {
        removeTemporariesOf(target);
    }
    removeFoldersMade(read.folders);
    std::error_code ec;
    fs::remove(staging, ec);
    syncFolder(staging.parent_path());
    return Status::success();
}

enum class Read { None, Ok, Failed };

Read readJournal(const fs::path& path, Journal& journal, Status& failure) {
    std::error_code ec;
    // A journal that was being written when the run was killed: its commit never began.
    removeAbandonedTemporaries(path.parent_path(), path.filename().string() + ".");
    if (!fs::exists(fs::symlink_status(path, ec))) {
        return Read::None;
    }
    std::ifstream in(path, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.good() && !in.eof()) {
        failure =
            Status::failure("Cannot read the journal of an interrupted restore, " + path.string() + ".");
        return Read::Failed;
    }
    if (!parseJournal(text, journal)) {
        failure = Status::failure("The journal of an interrupted restore, " + path.string() +
                                  ", is damaged; the restore cannot be completed. Restore the backup again, "
                                  "then delete that file.");
        return Read::Failed;
    }
    if (journal.hasOwner && !ownerGone(journal.owner)) {
        failure = Status::failure(stillRunning(journal.owner));
        return Read::Failed;
    }
    return Read::Ok;
}

void finish(const Platform& platform, const Journal& journal) {
    removeAsides(journal.renames);
    std::error_code ec;
    fs::remove(restoreStagingPath(platform), ec);
    removeJournal(restoreJournalPath(platform));
}

bool ownerLive(const Status& s) {
    return !s && s.message.rfind("A restore (process ", 0) == 0;
}

} // namespace

bool interruptedRestorePending(const Platform& platform) {
    std::error_code ec;
    return fs::exists(fs::symlink_status(restoreJournalPath(platform), ec));
}

Status completeInterruptedRestore(TargetContext& platform) {
    Journal journal;
    Status failure;
    switch (readJournal(restoreJournalPath(platform), journal, failure)) {
    case Read::Failed:
        return failure;
    case Read::None: {
        std::error_code ec;
        const fs::path staging = restoreStagingPath(platform);
        return fs::exists(fs::symlink_status(staging, ec)) ? clearStaging(staging) : Status::success();
    }
    case Read::Ok:
        break;
    }
    if (movesDone(journal.renames)) {
        finish(platform, journal); // killed while it cleared up: the restore is whole
        return Status::success();
    }
    Registry& registry = platform.registry;
    registry.holdChanges();
    if (Status s = replayKeys(registry, journal.after); !s) {
        registry.dropHeldChanges();
        return Status::failure("An interrupted restore could not be completed: " + s.message + " " +
                               kAbandonAdvice);
    }
    if (RegResult rc = registry.saveHeldChanges(); rc != kRegSuccess) {
        registry.dropHeldChanges();
        return Status::failure("An interrupted restore could not be completed: " + savedFailure(rc) + " " +
                               kAbandonAdvice);
    }
    if (const std::string failures = rollForwardFiles(journal.renames); !failures.empty()) {
        return Status::failure("An interrupted restore could not be completed: " + failures + " " +
                               kAbandonAdvice);
    }
    finish(platform, journal);
    return Status::success();
}

Status completeInterruptedRestoreIfIdle(TargetContext& platform) {
    RunLock lock;
    const RunLockPlace place = platform.system.runLockPlace();
    if (!place.file.empty() &&
        !RunLock::acquire(lock, place.file, "start", place.what, {std::chrono::milliseconds(0), {}})) {
        return Status::success(); // another run works on it: its files are not ours to touch
    }
    Status done = completeInterruptedRestore(platform);
    return ownerLive(done) ? Status::success() : done;
}

Status abandonInterruptedRestore(TargetContext& platform, std::string& note) {
    Journal journal;
    Status failure;
    switch (readJournal(restoreJournalPath(platform), journal, failure)) {
    case Read::Failed:
        return failure;
    case Read::None: {
        std::error_code ec;
        const fs::path staging = restoreStagingPath(platform);
        if (!fs::exists(fs::symlink_status(staging, ec))) {
            note = "There is no interrupted restore on this target system; nothing was changed.";
            return Status::success();
        }
        note = "The interrupted restore had changed nothing; its temporary files were removed.";
        return clearStaging(staging);
    }
    case Read::Ok:
        break;
    }
    const bool asidesKept = std::all_of(journal.renames.begin(), journal.renames.end(), [](const Rename& r) {
        std::error_code ec;
        return r.aside.empty() || fs::exists(fs::symlink_status(r.aside, ec));
    });
    if (movesDone(journal.renames) && !asidesKept) {
        finish(platform, journal);
        note = "The interrupted restore had already been completed; it cannot be undone any more.";
        return Status::success();
    }
    if (!journal.canRollBack) {
        for (const Rename& r : journal.renames) {
            std::error_code ec;
            if (!r.temp.empty()) {
                fs::remove(r.temp, ec);
            }
        }
        finish(platform, journal);
        note = "The interrupted restore was written by an earlier version, which kept no copy of what it "
               "replaced: its remaining temporary files were removed, the files it had already moved stay.";
        return Status::success();
    }
    // The registry first: when it cannot be saved (Wine runs) nothing has changed yet.
    Registry& registry = platform.registry;
    std::vector<Key> before(journal.before.rbegin(), journal.before.rend());
    registry.holdChanges();
    if (Status s = replayKeys(registry, before); !s) {
        registry.dropHeldChanges();
        return Status::failure("The interrupted restore could not be undone: " + s.message);
    }
    if (RegResult rc = registry.saveHeldChanges(); rc != kRegSuccess) {
        registry.dropHeldChanges();
        return Status::failure("The interrupted restore could not be undone: " + savedFailure(rc));
    }
    if (const std::string failures = rollBackFiles(journal.renames); !failures.empty()) {
        return Status::failure("The interrupted restore could not be undone: " + failures);
    }
    Staging staging;
    if (readStaging(restoreStagingPath(platform), staging)) {
        removeFoldersMade(staging.folders);
    }
    finish(platform, journal);
    note = "The target system was put back as it was before the interrupted restore.";
    return Status::success();
}

Status undoInterruptedRestore(TargetContext& platform, std::string& note) {
    RunLock lock;
    if (Status locked = lockTargetSystem(platform.system, lock, "undo of an interrupted restore"); !locked) {
        return locked;
    }
    return abandonInterruptedRestore(platform, note);
}

} // namespace qob
