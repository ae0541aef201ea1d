#pragma once
// What the interactive and the automatic run share: one backup file being built. The run's own
// information file and registry exports are scratch files with unique names in the program folder
// (an interactive and a scheduled run may work at the same time), the handlers are called through
// it, write() writes the archive and deletes the scratch files, and check() reads it back.
#include "archive/Archive.h"
#include "backup/BackupItems.h"
#include "backup/EarlierBackupKeep.h"
#include "outlook/AppState.h"
#include "platform/RunLock.h"
#include "registry/TargetContext.h"
#include "settings/BackupInfo.h"

#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace qob {

inline constexpr char kInfoTempPrefix[] = "qbi";

class BackupSession {
public:
    BackupSession(TargetContext& platform, const AppState& state, Archive& archive);
    ~BackupSession();
    BackupSession(const BackupSession&) = delete;
    BackupSession& operator=(const BackupSession&) = delete;

    // Starts the information file with its six lines and the archive at `target`. An existing
    // file there stays untouched until the new one has been written whole. Refused while another
    // run works on the same target system or writes the same backup file.
    Status begin(const std::filesystem::path& target, const InfoHeader& header);
    bool started() const { return items_ != nullptr; }

    // Calls the handler of `kind`; its result becomes the kind's flag. A kind held back fails
    // without its handler being called, and its reason joins notStored().
    bool run(ItemKind kind, const std::string& profile);
    void holdBack(ItemKind kind, std::string reason);
    // The eleven "0"/"1" characters so far (kinds not run are "0").
    const std::string& flags() const { return flags_; }
    // Files that could not be read while queuing them.
    std::vector<std::string> notStored() const;
    // Why a kind that was run is not whole in the backup: the reason it was held back, or the
    // files its handler left out ("" when it simply found nothing to store).
    std::string reasonFor(ItemKind kind) const;
    // The kinds that were run but are not whole in the backup, in run order: their handler stored
    // nothing, or left out a file it meant to store. The rules count only for the latter: a
    // profile without a rules file has none to store.
    const std::vector<ItemKind>& incompleteKinds() const { return incomplete_; }
    bool complete() const { return incomplete_.empty(); }

    struct Result {
        Status written;
        std::filesystem::path file; // where the backup was written (or was to be)
        // Incomplete, and the backup at the target holds some of what it lacks (or cannot be
        // read): written beside it as <name>-incomplete.qob, the earlier one left as it is.
        bool besideEarlier = false;
        bool checked = false; // the read-back check ran (to its end, or until it was cancelled)
        Status check;
    };
    // Adds the flags line and the information file as the last entry, writes the archive
    // (protected when `password` is set) with the archive's own events, and deletes the scratch
    // files. A run that stored nothing leaves an existing file at the target alone; an incomplete
    // one never replaces a backup that holds what it lacks. With `checkAfter`, the file it replaces
    // is kept aside until check() has run, so that a cancelled check can put it back.
    Result write(const std::optional<std::string>& password, bool checkAfter);
    // Reads every entry of the written file back. `events` get the bytes of the whole check (done
    // and total over all entries) and may stop it; a stopped check puts the replaced file back
    // (or removes the new one when there was none), and result.check says it was cancelled.
    void check(Result& result, const std::optional<std::string>& password, const ArchiveEvents& events);
    // Gives up before writing: the archive is discarded and the scratch files deleted.
    void abandon();

private:
    void removeScratchFiles();
    bool earlierHoldsMore(const std::string& password) const;
    Status moveArchive(const std::filesystem::path& to);

    TargetContext& platform_;
    const AppState& state_;
    Archive& archive_;
    std::filesystem::path target_;
    std::filesystem::path infoFile_;
    std::vector<std::filesystem::path> scratchFiles_;
    std::unique_ptr<BackupItems> items_;
    std::string flags_ = std::string(kItemKindCount, '0');
    std::vector<ItemKind> incomplete_;
    std::map<ItemKind, std::string> heldBack_;
    std::map<ItemKind, std::vector<std::string>> leftOut_;
    std::unique_ptr<EarlierBackupKeep> kept_;
    std::vector<std::string> refused_;
    // Held from begin() to the end of the session: the target system and the backup file.
    RunLock systemLock_;
    RunLock fileLock_;
};

} // namespace qob
