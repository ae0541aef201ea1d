#include "backup/BackupSession.h"

#include "frame/InfoFile.h"
#include "frame/TempFiles.h"

namespace qob {

namespace fs = std::filesystem;

BackupSession::BackupSession(Platform& platform, const AppState& state, Archive& archive)
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

bool BackupSession::run(ItemKind kind, const std::string& profile) {
    bool ok = items_ && items_->run(kind, profile);
    flags_[index(kind)] = ok ? '1' : '0';
    return ok;
}

std::vector<std::string> BackupSession::notStored() const {
    return items_ ? items_->notStored() : std::vector<std::string>{};
}

BackupSession::Result BackupSession::finish(const std::optional<std::string>& password, bool checkAfter) {
    Result result;
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
    result.written = archive_.writeArchive();
    archive_.setWritePassword(std::string());
    if (result.written && checkAfter) {
        result.checked = true;
        Archive reader;
        reader.setReadPassword(protect ? *password : std::string());
        result.check = reader.openArchive(target_);
        if (result.check) {
            result.check = reader.verify();
        }
        if (result.check && !reader.findEntry(kInfoEntryName)) {
            result.check = Status::failure("The backup file holds no " + std::string(kInfoEntryName) + ".");
        }
        reader.closeArchive();
    }
    removeScratchFiles();
    return result;
}

void BackupSession::removeScratchFiles() {
    for (const fs::path& f : scratchFiles_) {
        std::error_code ec;
        fs::remove(f, ec);
    }
    scratchFiles_.clear();
}

} // namespace qob
