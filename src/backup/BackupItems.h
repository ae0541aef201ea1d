#pragma once
// The eleven backup item handlers. Each gathers the files of its kind, queues them into the archive
// being built and appends its item line to the information file; True when it stored something.
// Handlers never show a message and never throw.
#include "archive/Archive.h"
#include "archive/EntryNames.h"
#include "outlook/AppState.h"
#include "registry/TargetContext.h"

#include <filesystem>
#include <string>
#include <vector>

namespace qob {

// Registry export prefixes for sGetTempFile: configuration and options share one.
inline constexpr char kConfigTempPrefix[] = "qbc";
inline constexpr char kAccountsTempPrefix[] = "qba";

class BackupItems {
public:
    // `state` gives the per-profile folders and keys (set by the profile selection); `infoFile` is
    // this run's own information file; scratch files made here are added to `scratchFiles` for the
    // run to delete after the archive has been written.
    BackupItems(TargetContext& platform, const AppState& state, Archive& archive,
                std::filesystem::path infoFile, std::vector<std::filesystem::path>& scratchFiles);

    bool backupConfig(const std::string& profile);
    bool backupDatas(const std::string& profile);
    bool backupRules(const std::string& profile);
    bool backupAccounts(const std::string& profile);
    bool backupSignatures();
    bool backupStationery();
    bool backupPab(const std::string& profile);
    bool backupConfigsetting();
    bool backupTemplates();
    bool backupSetting();
    bool backupContacts();

    // Calls the handler of one kind.
    bool run(ItemKind kind, const std::string& profile);

    // Files a handler meant to store but could not read ("<path>: <reason>").
    const std::vector<std::string>& notStored() const { return notStored_; }

private:
    struct Found {
        std::filesystem::path host;
        std::string name; // as the file system spells it
    };
    // The file search: an ordinary, non-hidden file at a target path.
    std::optional<Found> findFile(const std::string& targetPath) const;
    // Adds a file (once per resolved path); the entry name, or "" when it could not be added.
    std::string add(const std::filesystem::path& host, const std::string& bareName);
    bool registryKind(const std::string& key, const char* prefix, ItemKind kind);
    bool folderKind(const std::string& folder, ItemKind kind);
    // The "<name>_files" folders of the HTML files among `files` (stored top-level files of a
    // signatures or stationery folder): their files as entries of their own, listed under the
    // kind's companions key. Files that could not be stored are named in notStored().
    void companionFolders(const std::string& folder, ItemKind kind, const std::vector<std::string>& files);
    bool record(ItemKind kind, const std::string& value);
    static void appendName(std::vector<std::string>& names, const std::string& name);
    static std::string join(const std::vector<std::string>& names, const char* separator);

    TargetContext& platform_;
    const AppState& state_;
    Archive& archive_;
    std::filesystem::path infoFile_;
    std::vector<std::filesystem::path>& scratchFiles_;
    EntryNames names_;
    std::vector<std::string> notStored_;
};

} // namespace qob
