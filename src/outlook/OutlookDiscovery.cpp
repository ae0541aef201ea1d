#include "outlook/OutlookDiscovery.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace qob {

namespace {

// The generations this program knows, newest first (the order the registry is searched in).
// Every Outlook since 2016 (2019, 2021, Microsoft 365) is Office 16.0 with the 2013 registry layout.
constexpr std::array<const char*, 8> kKnownVersions = {"16.0", "15.0", "14.0", "12.0",
                                                       "11.0", "10.0", "9.0",  "8.0"};

std::string trimBlanks(const std::string& text) {
    std::size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) {
        return "";
    }
    std::size_t last = text.find_last_not_of(' ');
    return text.substr(first, last - first + 1);
}

std::string cutAtNul(const std::string& text) {
    return text.substr(0, text.find('\0'));
}

std::string replaceAll(std::string text, const std::string& from, const std::string& to) {
    std::size_t pos = 0;
    while ((pos = text.find(from, pos)) != std::string::npos) {
        text.replace(pos, from.size(), to);
        pos += to.size();
    }
    return text;
}

bool outlookKeyPresent(Registry& registry, const std::string& version) {
    return registry.keyExists("HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Office\\" + version +
                              "\\Outlook\\InstallRoot") ||
           registry.keyExists("HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Microsoft\\Office\\" + version +
                              "\\Outlook\\InstallRoot") ||
           registry.keyExists("HKEY_CURRENT_USER\\Software\\Microsoft\\Office\\" + version + "\\Outlook");
}

// Outlook's App Paths entry names its folder, e.g. "C:\Program Files\Microsoft Office\Office15\";
// the number after "Office" is the generation.
std::string versionFromAppPath(Registry& registry) {
    const std::string key =
        "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\OUTLOOK.EXE";
    std::string path = registry.getStringValue(key, "");
    if (path == "Error" || path.empty()) {
        path = registry.getStringValue(key, "Path");
    }
    if (path == "Error") {
        return "";
    }
    std::string upper;
    for (char c : path) {
        upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    for (std::size_t pos = upper.find("\\OFFICE"); pos != std::string::npos;
         pos = upper.find("\\OFFICE", pos + 1)) {
        std::size_t digits = pos + 7;
        std::size_t end = digits;
        while (end < upper.size() && std::isdigit(static_cast<unsigned char>(upper[end]))) {
            ++end;
        }
        if (end > digits && (end == upper.size() || upper[end] == '\\')) {
            return upper.substr(digits, end - digits) + ".0";
        }
    }
    return "";
}

} // namespace

std::string installedOfficeVersionText(Registry& registry) {
    for (const char* version : kKnownVersions) {
        if (outlookKeyPresent(registry, version)) {
            return version;
        }
    }
    return versionFromAppPath(registry);
}

std::string outlookNameForVersion(const std::string& versionText, std::string& officeVersion) {
    // The first substring found decides, in this order; a newer generation's text ("17.0") matches
    // none of them.
    struct Row {
        const char* substring;
        const char* name;
        const char* version;
    };
    static constexpr Row kTable[] = {
        {"8", "Outlook 97", "8.0"},     {"9", "Outlook 2000", "9.0"},   {"10", "Outlook 2002(XP)", "10.0"},
        {"11", "Outlook 2003", "11.0"}, {"12", "Outlook 2007", "12.0"}, {"14", "Outlook 2010", "14.0"},
        {"15", "Outlook 2013", "15.0"}, {"16", "Outlook 2016", "16.0"},
    };
    for (const Row& row : kTable) {
        if (versionText.find(row.substring) != std::string::npos) {
            officeVersion = row.version;
            return row.name;
        }
    }
    return "";
}

std::string getOutlookVersion(Registry& registry, AppState& state) {
    // The registry stands in for the Office automation object, which a Wine prefix does not offer:
    // no Office found is what a failed object creation meant.
    std::string versionText = installedOfficeVersionText(registry);
    if (versionText.empty()) {
        return kNoOutlook;
    }
    return outlookNameForVersion(versionText, state.officeVersion);
}

std::string profilesRootKeyFor(const std::string& officeVersion) {
    double number = std::atof(officeVersion.c_str());
    if (number >= 15) {
        return "HKEY_CURRENT_USER\\Software\\Microsoft\\Office\\" + officeVersion + "\\Outlook\\Profiles";
    }
    return kOlderProfilesRootKey;
}

bool isBlankName(const std::string& name) {
    std::string withoutNul;
    for (char c : name) {
        if (c != '\0') {
            withoutNul += c;
        }
    }
    return trimBlanks(withoutNul).empty();
}

void loadProfiles(Registry& registry, AppState& state) {
    state.profileList.clear();
    state.noProfile = false;
    std::vector<std::string> names = registry.getSubKeys(state.profilesRootKey);
    for (const std::string& name : names) {
        if (!isBlankName(name)) {
            state.profileList.push_back(name);
        }
    }
    if (state.profileList.empty()) {
        state.noProfile = true;
    }
}

bool usesNewerLayout(const std::string& windowsVersion) {
    return windowsVersion == "6.0" || windowsVersion == "6.1" || windowsVersion == "6.2";
}

bool isOffice12OrLater(const std::string& officeVersion) {
    return officeVersion == "12.0" || officeVersion == "14.0" || officeVersion == "15.0" ||
           officeVersion == "16.0";
}

std::string stationeryFolderFor(Registry& registry, const std::string& officeVersion,
                                const std::string& userProfileFolder) {
    if (!isOffice12OrLater(officeVersion)) {
        return userProfileFolder + "\\Application Data\\Microsoft\\Stationery";
    }
    std::string shared =
        registry.getStringValue("HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Shared Tools", "SharedFilesDir");
    // An unreadable value would otherwise make the folder "ErrorStationery", a relative path that
    // could name some unrelated folder.
    if (shared == "Error") {
        return "";
    }
    shared = trimBlanks(cutAtNul(shared));
    if (shared.empty()) {
        return "";
    }
    // Office stores the folder with a final backslash; a hand-made value without one must not
    // become "...Microsoft SharedStationery".
    if (shared.back() != '\\') {
        shared += '\\';
    }
    return shared + "Stationery";
}

void setProfileValues(Registry& registry, AppState& state, const std::string& profile) {
    const bool newer = usesNewerLayout(state.windowsVersion);
    const std::string& user = state.userProfileFolder;
    const std::string roaming = newer ? "\\AppData\\Roaming\\Microsoft" : "\\Application Data\\Microsoft";

    state.sourceProfile = profile;
    state.accountsKey = state.profilesRootKey + "\\" + profile + "\\" + kAccountsSubKey;
    state.signaturesFolder = user + roaming + "\\Signatures";
    state.stationeryFolder = stationeryFolderFor(registry, state.officeVersion, user);
    state.roamingDataFolder = user + roaming + "\\Outlook";
    state.optionsKey =
        "HKEY_CURRENT_USER\\Software\\Microsoft\\Office\\" + state.officeVersion + "\\Outlook\\Options";
    state.templatesFolder = user + roaming + "\\Templates";
    state.preferencesFolder = state.roamingDataFolder;
    state.contactsFolder = user + "\\Contacts";
    state.localDataFolder = user + (newer ? "\\AppData\\Local\\Microsoft\\Outlook"
                                          : "\\Local Settings\\Application Data\\Microsoft\\Outlook");
}

std::string findAddressBook(Registry& registry, const TargetFileSystem& files, const AppState& state,
                            const std::string& profile) {
    const std::string profileKey = state.profilesRootKey + "\\" + profile;
    for (const std::string& sub : registry.getSubKeys(profileKey)) {
        std::string path = registry.getStringValue(profileKey + "\\" + sub, "001e6600");
        if (path == "Error") {
            continue;
        }
        path = replaceAll(cutAtNul(path), "\\\\", "\\");
        if (!path.empty() && files.fileExists(path)) {
            return path;
        }
    }
    return "";
}

bool folderHoldsFiles(const TargetFileSystem& files, const std::string& folder) {
    if (folder.empty() || !files.folderExists(folder)) {
        return false;
    }
    // Hidden files (a leading "." under Wine) are not backed up, so they make no item available.
    return !files.listFiles(folder, false).empty();
}

ItemAvailability itemAvailability(Registry& registry, const TargetFileSystem& files, const AppState& state,
                                  const std::string& profile) {
    ItemAvailability out;
    out.enabled[0] = true;
    out.enabled[1] = registry.keyExists(state.accountsKey);
    out.enabled[2] = folderHoldsFiles(files, state.signaturesFolder);
    out.enabled[3] = folderHoldsFiles(files, state.stationeryFolder);
    if (isOffice12OrLater(state.officeVersion)) {
        out.pabUnsupported = true;
        out.enabled[4] = false;
    } else {
        out.enabled[4] = !findAddressBook(registry, files, state, profile).empty();
    }
    out.enabled[5] = true;
    out.enabled[6] = folderHoldsFiles(files, state.templatesFolder);
    out.enabled[7] = folderHoldsFiles(files, state.preferencesFolder);
    out.enabled[8] = folderHoldsFiles(files, state.contactsFolder);
    return out;
}

std::string dateText(std::chrono::system_clock::time_point when) {
    std::time_t t = std::chrono::system_clock::to_time_t(when);
    std::tm local{};
    localtime_r(&t, &local);
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, "%02d-%02d-%04d", local.tm_mon + 1, local.tm_mday,
                  local.tm_year + 1900);
    return buffer;
}

std::string defaultBackupName(const std::string& profile, std::chrono::system_clock::time_point when) {
    return "qarch-" + profile + "-" + dateText(when);
}

std::filesystem::path backupFolderFor(const std::string& backupFolderSetting,
                                      const std::filesystem::path& programFolder) {
    if (backupFolderSetting.empty() || backupFolderSetting == "0") {
        return programFolder;
    }
    std::string folder = backupFolderSetting;
    std::error_code ec;
    if (!std::filesystem::is_directory(std::filesystem::path(folder), ec)) {
        return programFolder;
    }
    while (folder.size() > 1 && (folder.back() == '/' || folder.back() == '\\')) {
        folder.pop_back();
    }
    return std::filesystem::path(folder);
}

} // namespace qob
