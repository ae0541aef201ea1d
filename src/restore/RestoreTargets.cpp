#include "outlook/OutlookDiscovery.h"
#include "restore/RestoreItems.h"

namespace qob {

namespace {

std::string roamingMicrosoft(const AppState& state) {
    return state.userProfileFolder + (usesNewerLayout(state.windowsVersion)
                                          ? "\\AppData\\Roaming\\Microsoft"
                                          : "\\Application Data\\Microsoft");
}

} // namespace

std::string restoreLocalDataFolder(const AppState& state) {
    return state.userProfileFolder + (usesNewerLayout(state.windowsVersion)
                                          ? "\\AppData\\Local\\Microsoft\\Outlook"
                                          : "\\Local Settings\\Application Data\\Microsoft\\Outlook");
}

std::string restoreRoamingDataFolder(const AppState& state) {
    return roamingMicrosoft(state) + "\\Outlook";
}

std::string restoreSignaturesFolder(const AppState& state) {
    return roamingMicrosoft(state) + "\\Signatures";
}

std::string restoreTemplatesFolder(const AppState& state) {
    return roamingMicrosoft(state) + "\\Templates";
}

std::string restoreContactsFolder(const AppState& state) {
    return state.userProfileFolder + "\\Contacts";
}

std::string restoreStationeryFolder(Registry& registry, const AppState& state) {
    if (isOffice12OrLater(state.officeVersion)) {
        return stationeryFolderFor(registry, state.officeVersion, state.userProfileFolder);
    }
    // Unlike the backup side, the restore side follows the folder layout for older Office too.
    return roamingMicrosoft(state) + "\\Stationery";
}

std::string restoreProfileKey(const AppState& state, const std::string& profile) {
    return state.profilesRootKey + "\\" + profile;
}

std::string restoreAccountsKey(const AppState& state, const std::string& profile) {
    return restoreProfileKey(state, profile) + "\\" + kAccountsSubKey;
}

std::string restoreOptionsKey(const AppState& state) {
    return "HKEY_CURRENT_USER\\Software\\Microsoft\\Office\\" + state.officeVersion + "\\Outlook\\Options";
}

} // namespace qob
