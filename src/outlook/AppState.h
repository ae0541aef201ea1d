#pragma once
// The program-wide values: set at start-up and at each profile selection, read by the backup and
// restore runs and their item handlers. One instance lives in the main form and is passed by
// reference; nothing here is global.
//
// Two kinds of path never mix: host paths (std::filesystem::path: program folder, info file, the
// .qob file, scratch files) and target paths (std::string of Windows path text: every folder and
// file inside the target system, and every path stored in the registry).
#include <array>
#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

namespace qob {

// Caption of every message box and of the main window.
inline constexpr char kApplicationTitle[] = "Quire Outlook Backup";

// The eleven kinds a backup can hold, in their fixed order; the value is the position in the item
// flags string `BackupItemFlags` and the slot of the restore side's item values.
enum class ItemKind : std::size_t {
    Config = 0,        // BackupConfig
    Datas = 1,         // BackupDatas
    Rules = 2,         // BackupRules
    Accounts = 3,      // BackupAccounts
    Signatures = 4,    // BackupSignatures
    Stationery = 5,    // BackupStationery
    Pab = 6,           // BackupPab
    Configsetting = 7, // BackupConfigsetting
    Templates = 8,     // BackupTemplates
    Setting = 9,       // BackupSetting
    Contacts = 10,     // BackupContacts
};
inline constexpr std::size_t kItemKindCount = 11;
// Check boxes per side (`backupitem(0..8)`, `restoreitem(0..8)`).
inline constexpr std::size_t kItemBoxCount = 9;

inline constexpr std::size_t index(ItemKind kind) {
    return static_cast<std::size_t>(kind);
}

// What the restore side keeps after a backup file has been opened.
struct RestoreState {
    // True until a backup file has been opened and read completely.
    bool invalidFile = true;
    // Host path of the opened backup file (shown in txtSourceFile, written to the restore log).
    std::filesystem::path sourcePath;
    // Value of "BackupItem": eleven "0"/"1" characters, one per ItemKind.
    std::string flags;
    // The text recorded under each item key, by ItemKind.
    std::array<std::string, kItemKindCount> itemValues;
    // Value of "BackupDatasPaths" when the backup has it: "<entry name><<original path>" pairs
    // joined by "|", telling which restored data file replaces which profile reference.
    std::string datasPaths;
    // The companion folders' files of signatures and stationery, when the backup lists them
    // (CompanionEntries.h), by ItemKind; "" for every other kind.
    std::array<std::string, kItemKindCount> companionValues;
    // The password last confirmed in the password prompt since the program started.
    std::string currentPassword;
};

struct AppState {
    // --- start-up ---
    // The whole argument text; non-empty selects the automatic run.
    std::string commandLine;
    // Host paths.
    std::filesystem::path programFolder;
    std::filesystem::path infoFilePath; // programFolder / "quirebox.dat"

    std::string computerName;
    std::string logonUser;
    std::string windowsFolder;     // target path, e.g. "C:\windows"
    std::string userProfileFolder; // target path: "%UserProfile%" expanded, e.g. "C:\users\me"
    std::string windowsVersion;    // "6.1"
    std::string officeVersion;     // "8.0" … "16.0"; empty until a version is recognised
    std::string profilesRootKey;   // key path, e.g. "HKEY_CURRENT_USER\Software\...\Profiles"
    std::vector<std::string> profileList;
    bool noProfile = false;

    // --- per profile, set by the profile selection (target paths and key paths) ---
    std::string sourceProfile; // the profile the values below belong to
    std::string accountsKey;
    std::string signaturesFolder;
    std::string stationeryFolder; // empty when the shared-files folder cannot be read
    std::string roamingDataFolder;
    std::string templatesFolder;
    std::string preferencesFolder;
    std::string contactsFolder;
    std::string optionsKey;
    // Where data files and address books go on restore (newer or older layout).
    std::string localDataFolder;

    // --- backup run ---
    // Host path of the backup file to write; empty until generated or chosen.
    std::filesystem::path targetPath;
    // Copy of txtPassword taken when a backup run starts.
    std::string password;
    // Cleared before an archive is written, set by the archive's write-finished notification.
    bool writeFinished = false;
    // The three temporary registry export files of a run (configuration, accounts, options):
    // host paths, deleted by the run after the archive has been written.
    std::filesystem::path tempConfigFile;
    std::filesystem::path tempAccountsFile;
    std::filesystem::path tempOptionsFile;

    // --- restore side ---
    RestoreState restore;
};

} // namespace qob
