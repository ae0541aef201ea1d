#include "forms/SettingsForm.h"

#include <algorithm>

#include "outlook/AppState.h"
#include "platform/TextEncoding.h"
#include "settings/AutoBackupSettings.h"
#include "settings/Settings.h"

#include <system_error>

namespace qob {
namespace fs = std::filesystem;

const std::array<SettingsBoxInfo, kSettingsBoxCount> kSettingsBoxes = {{
    {"Start software on Windows start up", "General", "startonwindows"},
    {"Check backup file after backup procedure", "General", "checkbackupfile"},
    {"Run Microsoft Outlook after backup finish", "General", "runoutlookafterbackup"},
    {"Run Microsoft Outlook after restore finish", "General", "runoutlookafterrestore"},
    {"Burn Backup file to CD/DVD after backup finish", "General", "burndvd"},
    {"If Outlook locks a file then automatically close Outlook", "backup", "autocloseoutlook"},
    {"Open folder after backup finishe", "backup", "openfolderbackup"},
    {"Automatically generate backup file name", "backup", "automgeneratefile"},
}};

namespace {

// Our own text: settings.dat keeps at most 127 characters a value, and a longer folder would be
// stored cut short, naming some other folder.
constexpr char kFolderTooLongMessage[] =
    "The backup folder's path is too long: settings.dat keeps at most 127 characters.";

std::string trimBlanks(const std::string& text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

} // namespace

SettingsForm::SettingsForm(Dialogs& dialogs, StartupEntry& startup, fs::path programFolder)
    : dialogs_(dialogs), startup_(startup), programFolder_(std::move(programFolder)) {}

void SettingsForm::formLoad() {
    const fs::path file = settingsPath(programFolder_);
    backupFolder = readSetting(file, "backup", "backupfolder");
    if (backupFolder.empty() || backupFolder == "0") {
        backupFolder = programFolder_.string();
    }
    for (std::size_t i = 0; i < kSettingsBoxCount; ++i) {
        boxes[i] = settingMatches(readSetting(file, kSettingsBoxes[i].section, kSettingsBoxes[i].key), 1);
    }
    // What happens at logon is what the entry says, whatever "startonwindows" holds (a missing key
    // would otherwise show the box ticked while nothing starts the program).
    box(SettingsBox::StartOnWindows) = startup_.isSet();
    // The mode the automatic runs use, read the way they read it.
    newAutoBackupFile = autoBackupToNewFile(programFolder_);
    const std::string keep = readSetting(file, "autobackup", "keepautobackups");
    keepAutoBackups = 0;
    if (!keep.empty() && keep.size() <= 6 && keep.find_first_not_of("0123456789") == std::string::npos) {
        keepAutoBackups = std::stoi(keep);
    }
}

void SettingsForm::browseClick() {
    backupFolder = dialogs_.browseFolder(kApplicationTitle, backupFolder).value_or("");
}

bool SettingsForm::okClick() {
    std::string folder = trimBlanks(backupFolder);
    if (folder.empty()) {
        dialogs_.message(kEnterBackupFolderMessage, MsgIcon::Critical, MsgButtons::Ok, kApplicationTitle);
        return false;
    }
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) {
        folder = programFolder_.string();
        backupFolder = folder;
    }
    if (textenc::utf8Length(folder) > kSettingValueMax) {
        if (folder != programFolder_.string()) {
            dialogs_.message(kFolderTooLongMessage, MsgIcon::Warning, MsgButtons::Ok, kApplicationTitle);
            return false;
        }
        // An empty value means the program folder to every reader, which a cut path would not.
        folder.clear();
    }

    // Every step runs even when one fails, so one bad write does not cost the others; the first
    // failure of each file is reported afterwards.
    const fs::path file = settingsPath(programFolder_);
    Status settingsWrite;
    auto write = [&](const char* section, const char* key, const std::string& value) {
        Status written = writeSetting(file, section, key, value);
        if (!written && settingsWrite) {
            settingsWrite = written;
        }
    };
    write("Backup", "backupfolder", folder);
    for (std::size_t i = 0; i < kSettingsBoxCount; ++i) {
        write(kSettingsBoxes[i].section, kSettingsBoxes[i].key, boxes[i] ? "1" : "0");
    }
    write("autobackup", "autobackupfile", newAutoBackupFile ? "1" : "0");
    // Missing means "keep all" too: a file that never had the key keeps its shape until one is chosen.
    if (keepAutoBackups > 0 || !readSetting(file, "autobackup", "keepautobackups").empty()) {
        write("autobackup", "keepautobackups", std::to_string(std::max(0, keepAutoBackups)));
    }
    const Status startupWrite = startup_.set(box(SettingsBox::StartOnWindows));

    if (!settingsWrite || !startupWrite) {
        std::string text;
        if (!settingsWrite) {
            text = "The settings could not be saved to " + file.string() + ":\r\n" + settingsWrite.message;
        }
        if (!startupWrite) {
            text += (text.empty() ? "" : "\r\n\r\n") + startupWrite.message;
        }
        dialogs_.message(text, MsgIcon::Warning, MsgButtons::Ok, kApplicationTitle);
    }
    return true;
}

} // namespace qob
