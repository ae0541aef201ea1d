#include "schedule/AutoRunState.h"

#include "settings/Settings.h"

#include <charconv>
#include <string>

namespace qob {

namespace fs = std::filesystem;
using Clock = std::chrono::system_clock;

namespace {

constexpr char kSection[] = "autorun";

std::optional<Clock::time_point> readTime(const fs::path& file, const char* key) {
    const std::string text = readSetting(file, kSection, key);
    long long seconds = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), seconds);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return Clock::time_point(std::chrono::seconds(seconds));
}

Status writeTime(const fs::path& programFolder, const char* key, Clock::time_point when) {
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(when.time_since_epoch()).count();
    return writeSetting(programFolder / kAutoRunStateFile, kSection, key, std::to_string(seconds));
}

} // namespace

AutoRunState readAutoRunState(const fs::path& programFolder) {
    const fs::path file = programFolder / kAutoRunStateFile;
    return {readTime(file, "registered"), readTime(file, "lastrun")};
}

Status recordRegistration(const fs::path& programFolder, Clock::time_point when) {
    return writeTime(programFolder, "registered", when);
}

Status recordAutomaticRun(const fs::path& programFolder, Clock::time_point when) {
    return writeTime(programFolder, "lastrun", when);
}

} // namespace qob
