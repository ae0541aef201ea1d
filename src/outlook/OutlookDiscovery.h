#pragma once
// Finding Outlook in the target system: the Office generation, where the mail profiles live, which
// profiles exist, and where the chosen profile's folders and keys are. The main form calls these
// at start-up and at each profile selection; each backup run asks for the Office version again.
#include "outlook/AppState.h"
#include "platform/TargetFileSystem.h"
#include "registry/Registry.h"

#include <array>
#include <chrono>
#include <filesystem>
#include <string>

namespace qob {

// Result of getOutlookVersion when no Office installation was found.
inline constexpr char kNoOutlook[] = "No Outlook";
// The subkey of a profile holding its mail accounts.
inline constexpr char kAccountsSubKey[] = "9375CFF0413111d3B88A00104B2A6676";
inline constexpr char kOlderProfilesRootKey[] = "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows "
                                                "NT\\CurrentVersion\\Windows Messaging Subsystem\\Profiles";
inline constexpr char kPabToolTip[] = "Your MS Outlook don't support Personal Address Book!";

// The version text of the installed Office ("15.0"), read from the registry: the highest known
// generation that has an Outlook key, else the generation named by Outlook's App Paths entry (which
// may be a newer, unknown one: "17.0"). "" when no Office is installed.
std::string installedOfficeVersionText(Registry& registry);

// Maps an Office version text through the generation table: returns the Outlook name ("Outlook
// 2013") and sets officeVersion ("15.0"); returns "" and leaves officeVersion alone when the text
// names no known generation.
std::string outlookNameForVersion(const std::string& versionText, std::string& officeVersion);

// GetOutlookVersion: the Outlook name, "" for an unknown generation, or kNoOutlook; sets
// state.officeVersion when a generation is recognised.
std::string getOutlookVersion(Registry& registry, AppState& state);

// The profiles root key for an Office version: the Office key for 15.0 and later, the Windows
// Messaging Subsystem key otherwise (also for an empty version).
std::string profilesRootKeyFor(const std::string& officeVersion);

// True when the name is empty after removing every NUL and trimming blanks.
bool isBlankName(const std::string& name);

// LoadProfiles: fills state.profileList from the subkeys of state.profilesRootKey; sets
// state.noProfile when none is usable.
void loadProfiles(Registry& registry, AppState& state);

// "6.0", "6.1" and "6.2" use the AppData folders; every other Windows version the older ones.
bool usesNewerLayout(const std::string& windowsVersion);
// Office generations whose stationery lives in the shared-files folder and that have no personal
// address book.
bool isOffice12OrLater(const std::string& officeVersion);

// The stationery folder of an Office version: the machine's shared-files folder + "Stationery" for
// 12.0 to 16.0, the user's Application Data folder otherwise. "" when the shared-files
// folder cannot be read.
std::string stationeryFolderFor(Registry& registry, const std::string& officeVersion,
                                const std::string& userProfileFolder);

// Sets the per-profile keys and folders of `profile` in state (accounts key, signatures,
// stationery, roaming data, templates, preferences, contacts, options key, local data folder).
void setProfileValues(Registry& registry, AppState& state, const std::string& profile);

// The first existing personal address book file named by "001e6600" of the profile's subkeys;
// "" when there is none.
std::string findAddressBook(Registry& registry, const TargetFileSystem& files, const AppState& state,
                            const std::string& profile);

// True when the target folder exists and directly holds at least one file.
bool folderHoldsFiles(const TargetFileSystem& files, const std::string& folder);

// Which backupitem boxes may be ticked for the profile whose values are in state (box index 0..8).
struct ItemAvailability {
    std::array<bool, kItemBoxCount> enabled{};
    bool pabUnsupported = false; // box 4 off because this Office has no personal address book
};
ItemAvailability itemAvailability(Registry& registry, const TargetFileSystem& files, const AppState& state,
                                  const std::string& profile);

// "MM-DD-YYYY" of the local date of `when`.
std::string dateText(std::chrono::system_clock::time_point when);
// "qarch-" + profile + "-" + date: the default backup name, without folder or extension.
std::string defaultBackupName(const std::string& profile, std::chrono::system_clock::time_point when);

// The folder that receives backup files: the "backupfolder" setting when it is set and names an
// existing folder (a final separator dropped), else the program folder.
std::filesystem::path backupFolderFor(const std::string& backupFolderSetting,
                                      const std::filesystem::path& programFolder);

} // namespace qob
