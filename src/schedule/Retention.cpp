#include "schedule/Retention.h"

#include "backup/EarlierBackup.h"
#include "platform/AsciiCase.h"
#include "settings/ArchiveInfoFile.h"
#include "settings/BackupInfo.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <optional>

namespace qob {

namespace fs = std::filesystem;

namespace {

// "-MM-DD-YYYY-HH-MM.qob"
constexpr std::size_t kStampedTail = 21;

// The stamp of a name "<base>-MM-DD-YYYY-HH-MM.qob" as year, month, day, hour, minute, so that
// stamps compare in time order.
std::optional<std::array<int, 5>> stampOf(const std::string& name) {
    if (name.size() <= kStampedTail || lowerAscii(name.substr(name.size() - 4)) != ".qob") {
        return std::nullopt;
    }
    const std::string tail = name.substr(name.size() - kStampedTail, kStampedTail - 4);
    static const char pattern[] = "-dd-dd-dddd-dd-dd";
    for (std::size_t i = 0; i < tail.size(); ++i) {
        const bool digit = std::isdigit(static_cast<unsigned char>(tail[i])) != 0;
        if (pattern[i] == 'd' ? !digit : tail[i] != '-') {
            return std::nullopt;
        }
    }
    auto field = [&tail](std::size_t at, std::size_t n) { return std::stoi(tail.substr(at, n)); };
    return std::array<int, 5>{field(7, 4), field(1, 2), field(4, 2), field(12, 2), field(15, 2)};
}

} // namespace

RetentionResult removeOlderAutomaticBackups(const fs::path& written, const std::string& profile,
                                            const std::string& password, long keep,
                                            const fs::path& scratchFolder) {
    RetentionResult result;
    const std::string writtenName = written.filename().string();
    const auto writtenStamp = stampOf(writtenName);
    if (keep < 1 || !writtenStamp) {
        return result;
    }
    const std::string base = writtenName.substr(0, writtenName.size() - kStampedTail);
    std::vector<std::pair<std::array<int, 5>, fs::path>> older;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(written.parent_path(), ec)) {
        const std::string name = entry.path().filename().string();
        const auto stamp = stampOf(name);
        std::error_code typeEc;
        if (!stamp || *stamp >= *writtenStamp || name.compare(0, base.size(), base) != 0 ||
            name.size() != base.size() + kStampedTail || !entry.is_regular_file(typeEc)) {
            continue;
        }
        auto info = storedInfoValues(entry.path(), password, scratchFolder, {kKeyIdentity, kKeyInformation});
        if (!info || (*info)[kKeyIdentity] != profile ||
            unescapeDescription((*info)[kKeyInformation]) != kAutomaticDescription) {
            continue;
        }
        older.emplace_back(*stamp, entry.path());
    }
    std::sort(older.begin(), older.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    for (std::size_t i = static_cast<std::size_t>(keep - 1); i < older.size(); ++i) {
        if (fs::remove(older[i].second, ec)) {
            result.removed.push_back(older[i].second);
        } else if (ec) {
            result.problems.push_back(older[i].second.string() + ": " + ec.message());
        }
    }
    return result;
}

} // namespace qob
