#include "settings/AutoBackupSettings.h"

#include "settings/Settings.h"

namespace qob {

bool autoBackupToNewFile(const std::filesystem::path& programFolder) {
    return settingMatches(readSetting(settingsPath(programFolder), "autobackup", "autobackupfile"), 1);
}

} // namespace qob
