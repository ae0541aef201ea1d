#include "schedule/AutoRunState.h"

#include "settings/Settings.h"

#include <charconv>
#include <string>
#include <utility>

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

std::optional<AutoRunEnd> readAutoRunEnd(const fs::path& programFolder) {
    const fs::path file = programFolder / kAutoRunStateFile;
    const std::string whole = readSetting(file, kSection, "lastwhole");
    if (whole != "0" && whole != "1") {
        return std::nullopt;
    }
    return AutoRunEnd{whole == "1", readSetting(file, kSection, "lastproblem"),
                      readSetting(file, kSection, "lastseen") == "1"};
}

Status recordRegistration(const fs::path& programFolder, Clock::time_point when) {
    return writeTime(programFolder, "registered", when);
}

Status recordAutomaticRun(const fs::path& programFolder, Clock::time_point when) {
    return writeTime(programFolder, "lastrun", when);
}

Status recordAutomaticRunEnd(const fs::path& programFolder, bool whole, const std::string& problem) {
    std::string line = problem;
    for (char& c : line) {
        if (c == '\n' || c == '\r') {
            c = ' ';
        }
    }
    const fs::path file = programFolder / kAutoRunStateFile;
    // The problem first: a reader that sees the new end never pairs it with the old text.
    for (const auto& [key, value] : {std::pair<const char*, std::string>{"lastproblem", whole ? "" : line},
                                     {"lastseen", "0"},
                                     {"lastwhole", whole ? "1" : "0"}}) {
        if (Status written = writeSetting(file, kSection, key, value); !written) {
            return written;
        }
    }
    return Status::success();
}

Status markAutomaticRunEndSeen(const fs::path& programFolder) {
    return writeSetting(programFolder / kAutoRunStateFile, kSection, "lastseen", "1");
}

} // namespace qob
