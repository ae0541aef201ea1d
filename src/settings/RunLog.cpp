#include "settings/RunLog.h"

#include <array>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace qob {

namespace {

const std::array<const char*, 9> kResultNames = {
    "Backup Personal Folders", "Backup Accounts Settings",     "Backup Signatures",
    "Backup Stationeries",     "Backup Personal Address Book", "Backup Options Settings",
    "Backup Templates",        "Backup Preferences",           "Backup Contacts Folder",
};

// A reason goes into one log entry: its own line breaks would split it.
std::string oneLine(std::string text) {
    for (char& c : text) {
        if (c == '\r' || c == '\n') {
            c = ' ';
        }
    }
    return text;
}

} // namespace

std::filesystem::path runLogPath(const std::filesystem::path& programFolder) {
    return programFolder / "brlog.dat";
}

bool appendLog(const std::filesystem::path& file, const std::string& text) {
    const std::string entry = text + "\r\n";
    int fd = ::open(file.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        return false;
    }
    ssize_t written = 0;
    do {
        written = ::write(fd, entry.data(), entry.size());
    } while (written < 0 && errno == EINTR);
    bool ok = written == static_cast<ssize_t>(entry.size());
    ok = ::close(fd) == 0 && ok;
    return ok;
}

const char* itemResultName(std::size_t box) {
    return box < kResultNames.size() ? kResultNames[box] : "";
}

std::string logSeparator() {
    return std::string(84, '.') + "\r";
}

std::string logRunStart(const std::string& time, const std::string& profile) {
    return time + " Start Backup Profile " + profile + " Data...\n";
}

std::string logAutoRunStart(const std::string& time, const std::string& profile) {
    return time + " Start Auto Backup Profile " + profile + " Data...\n";
}

std::string logTarget(const std::string& time, const std::string& targetPath) {
    return time + " Backup File is " + targetPath + "\n";
}

std::string logItemResult(const std::string& time, const std::string& name, bool ok) {
    return time + " " + name + (ok ? " Succeeded!" : " Fail!") + "\n";
}

std::string logNotStored(const std::string& time, const std::string& what) {
    return time + " Not stored: " + oneLine(what) + "\n";
}

std::string logRunEnd(const std::string& time, const std::string& profile) {
    return time + " Backup Profile " + profile + " Data was Completed!\r";
}

std::string logRunFailed(const std::string& time, const std::string& profile, const std::string& reason) {
    return time + " Backup Profile " + profile + " Data was not backed up! " + oneLine(reason) + "\r";
}

std::string logRunIncomplete(const std::string& time, const std::string& profile) {
    return time + " Backup Profile " + profile + " Data is Incomplete!\r";
}

std::string logWrittenBeside(const std::string& time, const std::string& file, const std::string& earlier) {
    return time + " Incomplete backup written as " + file + ", beside " + earlier + "\n";
}

} // namespace qob
