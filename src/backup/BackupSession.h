#pragma once
// What the interactive and the automatic run share: one backup file being built. The run's own
// information file and registry exports are scratch files with unique names in the program folder
// (an interactive and a scheduled run may work at the same time), the handlers are called through
// it, and finish() writes the archive, optionally reads it back, and deletes the scratch files.
#include "archive/Archive.h"
#include "settings/BackupInfo.h"
#include "backup/BackupItems.h"
#include "outlook/AppState.h"
#include "platform/Platform.h"
#include "platform/RunLock.h"

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
    BackupSession(Platform& platform, const AppState& state, Archive& archive);
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
        bool checked = false; // the read-back check ran
        Status check;
    };
    // Adds the flags line and the information file as the last entry, writes the archive
    // (protected when `password` is set), reads every entry back when `checkAfter`, and deletes
    // the scratch files. A run that stored nothing leaves an existing file at the target alone;
    // an incomplete one never replaces a backup that holds what it lacks.
    Result finish(const std::optional<std::string>& password, bool checkAfter);

private:
    void removeScratchFiles();
    bool earlierHoldsMore(const std::string& password) const;
    Status moveArchive(const std::filesystem::path& to);

    Platform& platform_;
    const AppState& state_;
    Archive& archive_;
    std::filesystem::path target_;
    std::filesystem::path infoFile_;
    std::vector<std::filesystem::path> scratchFiles_;
    std::unique_ptr<BackupItems> items_;
    std::string flags_ = std::string(kItemKindCount, '0');
    std::vector<ItemKind> incomplete_;
    std::map<ItemKind, std::string> heldBack_;
    std::vector<std::string> refused_;
    // Held from begin() to the end of the session: the target system and the backup file.
    RunLock systemLock_;
    RunLock fileLock_;
};

} // namespace qob
