#include "settings/TargetSystemSetting.h"

#include "platform/wine/PrefixCandidates.h"
#include "platform/wine/WinePrefix.h"
#include "settings/Settings.h"

namespace qob {
namespace {

bool blankOrQuote(char c) {
    return c == ' ' || c == '\t' || c == '"';
}

} // namespace

std::optional<std::string> readTargetSystemChoice(const std::filesystem::path& programFolder) {
    std::string value = readSetting(settingsPath(programFolder), kTargetSystemSection, kTargetSystemKey);
    if (value.empty())
        return std::nullopt;
    return value;
}

Status rememberTargetSystem(const std::filesystem::path& programFolder, const std::filesystem::path& prefix) {
    if (Status valid = checkWinePrefix(prefix); !valid)
        return valid;
    const std::string text = canonicalPrefixPath(prefix).string();
    // The settings file cuts values and trims them when read: a path that would come back
    // different would point the weekly backup at another folder.
    if (text.size() > kSettingValueMax)
        return Status::failure("The path of the Wine prefix " + text + " is longer than " +
                               std::to_string(kSettingValueMax) +
                               " characters, more than the settings file can keep.");
    if (blankOrQuote(text.front()) || blankOrQuote(text.back()))
        return Status::failure(
            "The path of the Wine prefix " + text +
            " begins or ends with a blank or a quote, which the settings file cannot keep.");
    return writeSetting(settingsPath(programFolder), kTargetSystemSection, kTargetSystemKey, text);
}

Status forgetTargetSystem(const std::filesystem::path& programFolder) {
    return writeSetting(settingsPath(programFolder), kTargetSystemSection, kTargetSystemKey, "");
}

} // namespace qob
