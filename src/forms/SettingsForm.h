#pragma once
// The settings window without its widgets (Frmsettings): the state of every control, filled from
// settings.dat when the window opens, and the buttons' handlers. Nothing is written until "OK";
// "Cancel" writes nothing. The Qt window binds its widgets to the public fields.
#include "platform/Dialogs.h"
#include "platform/StartupEntry.h"

#include <array>
#include <cstddef>
#include <filesystem>
#include <string>

namespace qob {

inline constexpr char kSettingsCaption[] = "Settings";
inline constexpr char kEnterBackupFolderMessage[] = "Please enter backup folder.";

// The check boxes, in the order OK writes them.
enum class SettingsBox : std::size_t {
    StartOnWindows,         // Check1
    CheckBackupFile,        // Check3
    RunOutlookAfterBackup,  // Check6
    RunOutlookAfterRestore, // Check7
    BurnDvd,                // Check2
    AutoCloseOutlook,       // Check4
    OpenFolderBackup,       // Check5
    AutoGenerateFile,       // Check8
};
inline constexpr std::size_t kSettingsBoxCount = 8;

struct SettingsBoxInfo {
    const char* caption;
    const char* section; // as the writer spells it; readers match without regard to case
    const char* key;
};
// Caption, section and key of each box, by SettingsBox.
extern const std::array<SettingsBoxInfo, kSettingsBoxCount> kSettingsBoxes;

inline constexpr char kReplaceAutoBackupCaption[] = "Replace to default AutoBackup file"; // Option1
inline constexpr char kNewAutoBackupCaption[] = "Auto Backup to a new file";              // Option2

class SettingsForm {
public:
    SettingsForm(Dialogs& dialogs, StartupEntry& startup, std::filesystem::path programFolder);

    // --- controls ---
    std::string backupFolder; // Text1
    std::array<bool, kSettingsBoxCount> boxes{};
    bool newAutoBackupFile = false; // Option2 selected; Option1 when false
    // "Keep automatic backups": how many automatic backups new-file mode keeps; 0 keeps all.
    int keepAutoBackups = 0;

    bool& box(SettingsBox which) { return boxes[static_cast<std::size_t>(which)]; }
    bool box(SettingsBox which) const { return boxes[static_cast<std::size_t>(which)]; }

    // --- events ---
    // Form_Load: fills the controls from settings.dat (a missing key shows its box ticked), except
    // that "Start software on Windows start up" shows whether the start-up entry exists and the
    // AutoBackup file choice shows the mode the automatic runs use (a new file when the key is
    // missing).
    void formLoad();
    // Command1: the folder-browse dialog; cancelling it empties the folder box.
    void browseClick();
    // Command2 "OK": checks the folder, writes every setting and the start-up entry. Returns true
    // when the window closes, false when it stays open (no folder given; nothing written). A write
    // that fails is reported in one message after every step has run; the window still closes.
    bool okClick();

private:
    Dialogs& dialogs_;
    StartupEntry& startup_;
    std::filesystem::path programFolder_;
};

} // namespace qob
