#include "backup/BackupSession.h"

#include "backup/BackupTarget.h"
#include "backup/EarlierBackup.h"
#include "platform/RestoreJournalPlace.h"
#include "settings/InfoFile.h"
#include "settings/TempFiles.h"

#include <algorithm>
#include <utility>

namespace qob {

namespace fs = std::filesystem;

BackupSession::BackupSession(TargetContext& platform, const AppState& state, Archive& archive)
    : platform_(platform), state_(state), archive_(archive) {}

BackupSession::~BackupSession() {
    if (archive_.isCreating()) {
        archive_.closeArchive();
    }
    removeScratchFiles();
}

Status BackupSession::begin(const fs::path& target, const InfoHeader& header) {
    target_ = target;
    // A restore changing the profile meanwhile would leave a backup of neither state, and two
    // backups to one file would each break the other's write.
    if (Status locked = lockTargetSystem(platform_.system, systemLock_, "backup"); !locked) {
        return locked;
    }
    // A restore killed during its commit, while another run held the lock at this one's start,
    // leaves the profile half restored: such a state is not worth a backup.
    std::error_code journalError;
    if (fs::exists(fs::symlink_status(restoreJournalPath(platform_), journalError))) {
        return Status::failure(
            "A restore on this target system was interrupted and is not complete yet (" +
            restoreJournalPath(platform_).string() +
            "). Start qob or quiremail again while no other run works on it: the start completes that "
            "restore first.");
    }
    const RunLockPlace place = platform_.system.runLockPlace();
    // A missing folder is reported by the archive, in its own words.
    std::error_code ec;
    const fs::path folder = target.parent_path().empty() ? fs::path(".") : target.parent_path();
    if (Status locked = !fs::is_directory(folder, ec)
                            ? Status::success()
                            : RunLock::acquire(fileLock_, RunLock::forBackupFile(target), "backup",
                                               "the backup file \"" + target.string() + "\"",
                                               {place.wait, RunLock::Options{}.poll});
        !locked) {
        return locked;
    }
    if (fileLock_.held()) {
        EarlierBackupKeep::removeLeftovers(target);
    }
    Status s = sGetTempFile(platform_.programFolder, kInfoTempPrefix, infoFile_);
    if (!s) {
        return Status::failure("Cannot make the information file: " + s.message);
    }
    scratchFiles_.push_back(infoFile_);
    s = writeInfoHeader(infoFile_, header);
    if (!s) {
        return Status::failure("Cannot write the information file: " + s.message);
    }
    s = archive_.createArchive(target);
    if (!s) {
        return s;
    }
    items_ = std::make_unique<BackupItems>(platform_, state_, archive_, infoFile_, scratchFiles_);
    return Status::success();
}

void BackupSession::holdBack(ItemKind kind, std::string reason) {
    heldBack_[kind] = std::move(reason);
}

bool BackupSession::run(ItemKind kind, const std::string& profile) {
    if (auto held = heldBack_.find(kind); held != heldBack_.end()) {
        if (std::find(refused_.begin(), refused_.end(), held->second) == refused_.end())
            refused_.push_back(held->second);
        flags_[index(kind)] = '0';
        if (std::find(incomplete_.begin(), incomplete_.end(), kind) == incomplete_.end()) {
            incomplete_.push_back(kind);
        }
        return false;
    }
    const std::size_t leftOutBefore = items_ ? items_->notStored().size() : 0;
    bool ok = items_ && items_->run(kind, profile);
    flags_[index(kind)] = ok ? '1' : '0';
    const bool leftOut = items_ && items_->notStored().size() > leftOutBefore;
    if (leftOut) {
        const auto& files = items_->notStored();
        leftOut_[kind].assign(files.begin() + static_cast<long>(leftOutBefore), files.end());
    }
    if ((!ok && kind != ItemKind::Rules) || leftOut) {
        if (std::find(incomplete_.begin(), incomplete_.end(), kind) == incomplete_.end()) {
            incomplete_.push_back(kind);
        }
    }
    return ok;
}

bool BackupSession::earlierHoldsMore(const std::string& password) const {
    // A file there that cannot be read (another password, damaged, not a backup) is taken for a
    // whole backup: it is kept rather than guessed at.
    const std::optional<std::string> earlier = storedItemFlags(target_, password, platform_.programFolder);
    if (!earlier) {
        return true;
    }
    return std::any_of(incomplete_.begin(), incomplete_.end(),
                       [&](ItemKind kind) { return itemFlag(*earlier, kind); });
}

Status BackupSession::moveArchive(const fs::path& to) {
    const auto queued = archive_.queuedFiles();
    // The files were announced once already; the window need not show them again.
    auto announce = std::exchange(archive_.events().fileAdded, nullptr);
    Status s = archive_.createArchive(to);
    for (std::size_t i = 0; s && i < queued.size(); ++i) {
        s = archive_.addFile(queued[i].first, queued[i].second);
    }
    archive_.events().fileAdded = std::move(announce);
    return s;
}

std::string BackupSession::reasonFor(ItemKind kind) const {
    if (auto held = heldBack_.find(kind); held != heldBack_.end()) {
        return held->second;
    }
    std::string reason;
    if (auto files = leftOut_.find(kind); files != leftOut_.end()) {
        for (const std::string& file : files->second) {
            reason += (reason.empty() ? "" : "; ") + file;
        }
    }
    return reason;
}

std::vector<std::string> BackupSession::notStored() const {
    std::vector<std::string> out = refused_;
    if (items_) {
        auto files = items_->notStored();
        out.insert(out.end(), files.begin(), files.end());
    }
    return out;
}

BackupSession::Result BackupSession::write(const std::optional<std::string>& password, bool checkAfter) {
    Result result;
    result.file = target_;
    if (!items_) {
        result.written = Status::failure("The backup file was never started.");
        removeScratchFiles();
        return result;
    }
    // A backup that holds nothing must not take the place of one that holds mail: a profile that
    // vanished or a week of unreadable files would otherwise wipe the last good backup at this path.
    std::error_code ec;
    if (flags_.find('1') == std::string::npos && fs::exists(fs::symlink_status(target_, ec))) {
        archive_.closeArchive();
        result.written = Status::failure("Nothing could be backed up, so the earlier backup " +
                                         target_.string() + " was left as it is.");
        removeScratchFiles();
        return result;
    }
    if (!incomplete_.empty() && fs::exists(fs::symlink_status(target_, ec)) &&
        earlierHoldsMore(password.value_or(std::string()))) {
        result.file = incompleteBackupPath(target_);
        result.besideEarlier = true;
        // The name beside it may be taken by a file of the user's.
        const std::string refused = backupTargetRefusal(platform_, result.file);
        Status moved = refused.empty() ? moveArchive(result.file) : Status::failure(refused);
        if (!moved) {
            archive_.closeArchive();
            result.written = moved;
            removeScratchFiles();
            return result;
        }
    }
    Status s = saveINI(kKeyItemFlags, flags_, infoFile_);
    if (s) {
        s = archive_.addFile(infoFile_, kInfoEntryName);
    }
    if (!s) {
        // Without its information file a backup cannot be opened: better none at all.
        archive_.closeArchive();
        result.written = Status::failure("Cannot add the information file: " + s.message);
        removeScratchFiles();
        return result;
    }
    const bool protect = password && !password->empty();
    archive_.setProtected(protect);
    archive_.setWritePassword(protect ? *password : std::string());
    if (checkAfter) {
        kept_ = std::make_unique<EarlierBackupKeep>(result.file);
    }
    result.written = archive_.writeArchive();
    archive_.setWritePassword(std::string());
    if (!result.written || !checkAfter) {
        kept_.reset();
    }
    removeScratchFiles();
    return result;
}

void BackupSession::check(Result& result, const std::optional<std::string>& password,
                          const ArchiveEvents& events) {
    result.checked = true;
    const bool protect = password && !password->empty();
    Archive reader;
    reader.setReadPassword(protect ? *password : std::string());
    reader.setCacheDropFunction(archive_.cacheDropFunction());
    result.check = reader.openArchive(result.file);
    if (result.check) {
        // The file was just written and is still in memory: read it from the disk, so that a
        // check that passes means the medium holds a good copy.
        reader.dropCachedPages();
        // One count over the whole file: a window shows one bar for the check, not one per entry.
        std::uint64_t total = 0;
        for (const ArchiveEntryInfo& entry : reader.entries()) {
            total += entry.size;
        }
        std::uint64_t before = 0;
        std::uint64_t entryDone = 0;
        std::string current;
        reader.events().stopRequested = events.stopRequested;
        if (events.bytes) {
            reader.events().bytes = [&](const std::string& name, std::uint64_t done, std::uint64_t) {
                if (name != current) {
                    before += entryDone;
                    current = name;
                }
                entryDone = done;
                events.bytes(name, before + done, total);
            };
        }
        result.check = reader.verify();
    }
    if (result.check && !reader.findEntry(kInfoEntryName)) {
        result.check = Status::failure("The backup file holds no " + std::string(kInfoEntryName) + ".");
    }
    reader.closeArchive();
    if (result.check.cancelled && kept_) {
        const bool hadEarlier = kept_->hadEarlier();
        const Status back = kept_->putBack();
        const std::string file = result.file.string();
        std::string what = "The backup was cancelled while it was being checked; ";
        if (!back) {
            what += "the new, unchecked file " + file + " was kept: " + back.message;
        } else if (hadEarlier) {
            what += "the earlier backup " + file + " was put back as it was.";
        } else {
            what += file + " was removed.";
        }
        result.check = Status::stopped(what);
        if (back) {
            result.written = Status::stopped(what);
        }
    }
    kept_.reset();
}

void BackupSession::abandon() {
    if (archive_.isCreating()) {
        archive_.closeArchive();
    }
    removeScratchFiles();
}

void BackupSession::removeScratchFiles() {
    for (const fs::path& f : scratchFiles_) {
        std::error_code ec;
        fs::remove(f, ec);
    }
    scratchFiles_.clear();
}

} // namespace qob
