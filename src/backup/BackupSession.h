#pragma once
// What the interactive and the automatic run share: one backup file being built. The run's own
// information file and registry exports are scratch files with unique names in the program folder
// (an interactive and a scheduled run may work at the same time), the handlers are called through
// it, and finish() writes the archive, optionally reads it back, and deletes the scratch files.
#include "backup/Archive.h"
#include "backup/BackupInfo.h"
#include "backup/BackupItems.h"
#include "frame/AppState.h"
#include "frame/Platform.h"
#include "platform/RunLock.h"

#include <filesystem>
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

    // Calls the handler of `kind`; its result becomes the kind's flag.
    bool run(ItemKind kind, const std::string& profile);
    // The eleven "0"/"1" characters so far (kinds not run are "0").
    const std::string& flags() const { return flags_; }
    // Files that could not be read while queuing them.
    std::vector<std::string> notStored() const;

    struct Result {
        Status written;
        bool checked = false; // the read-back check ran
        Status check;
    };
    // Adds the flags line and the information file as the last entry, writes the archive
    // (protected when `password` is set), reads every entry back when `checkAfter`, and deletes
    // the scratch files. A run that stored nothing leaves an existing file at the target alone.
    Result finish(const std::optional<std::string>& password, bool checkAfter);

private:
    void removeScratchFiles();

    Platform& platform_;
    const AppState& state_;
    Archive& archive_;
    std::filesystem::path target_;
    std::filesystem::path infoFile_;
    std::vector<std::filesystem::path> scratchFiles_;
    std::unique_ptr<BackupItems> items_;
    std::string flags_ = std::string(kItemKindCount, '0');
    // Held from begin() to the end of the session: the target system and the backup file.
    RunLock systemLock_;
    RunLock fileLock_;
};

} // namespace qob
