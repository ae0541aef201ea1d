#pragma once
// The format of `quirebox.dat`, the information file that is every backup's last entry: its keys,
// the item flags string, the line-break escape of the description, item values and the default
// backup file name. Line access itself (saveINI/getINI) lives in frame/InfoFile.h.
#include "outlook/AppState.h"
#include "platform/Status.h"

#include <ctime>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace qob {

inline constexpr char kKeyComputer[] = "BackupComputer";
inline constexpr char kKeyLogonUser[] = "BackupLogonUser";
inline constexpr char kKeyIdentity[] = "BackupIdentity";
inline constexpr char kKeyTime[] = "BackupTime";
inline constexpr char kKeyOutlookVersion[] = "Outlookversion";
inline constexpr char kKeyInformation[] = "BackupInformation";
inline constexpr char kKeyItemFlags[] = "BackupItem";
inline constexpr char kLineBreakEscape[] = "PS$QBX";

// "BackupConfig" … "BackupContacts".
const char* itemKey(ItemKind kind);

// Each CR LF pair becomes "PS$QBX"; a lone CR or LF would break the line structure, so it is
// treated as a line break too (a text field may hand over bare LF on Linux).
std::string escapeDescription(const std::string& text);
// Each "PS$QBX" becomes CR LF.
std::string unescapeDescription(const std::string& stored);

// Exactly eleven characters, each "0" or "1".
bool isValidItemFlags(const std::string& flags);
bool itemFlag(const std::string& flags, ItemKind kind);

// Item values: bare entry names joined by ";" (no blanks, no trailing ";").
std::string joinItemValue(const std::vector<std::string>& names);
std::vector<std::string> splitItemValue(const std::string& value);

// "qarch-" + profile + "-" + MM-DD-YYYY + ".qob".
std::string defaultBackupFileName(const std::string& profile, const std::tm& date);

struct InfoHeader {
    std::string computer, logonUser, identity, time, outlookVersion, description;
};
// Writes the six fixed lines, in order, to a fresh `file` (an existing one is replaced).
Status writeInfoHeader(const std::filesystem::path& file, const InfoHeader& header);

} // namespace qob
