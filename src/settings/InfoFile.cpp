#include "settings/InfoFile.h"
#include "platform/AsciiCase.h"

#include <cctype>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <unistd.h>

namespace qob {
namespace {

bool hasLineBreak(const std::string& text) {
    return text.find_first_of("\r\n") != std::string::npos;
}

} // namespace

Status saveINI(const std::string& key, const std::string& value, const std::filesystem::path& file) {
    if (key.find('=') != std::string::npos || hasLineBreak(key))
        return Status::failure("Invalid information key \"" + key + "\" for " + file.string());
    if (hasLineBreak(value))
        return Status::failure("The value of " + key + " holds a line break and cannot be saved in " +
                               file.string());
    const std::string line = key + "=" + value + "\r\n";
    int fd = ::open(file.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0)
        return Status::failure("Cannot open " + file.string() + ": " + std::strerror(errno));
    ssize_t written;
    do {
        written = ::write(fd, line.data(), line.size());
    } while (written < 0 && errno == EINTR);
    int err = errno;
    bool closed = ::close(fd) == 0;
    if (written < 0)
        return Status::failure("Cannot write to " + file.string() + ": " + std::strerror(err));
    if (static_cast<std::size_t>(written) != line.size())
        return Status::failure("Cannot write to " + file.string() + ": the disk is full");
    if (!closed)
        return Status::failure("Cannot write to " + file.string() + ": " + std::strerror(errno));
    return Status::success();
}

std::optional<std::string> getINI(const std::string& key, const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return std::nullopt;
    // Read through istream::read, which turns a read error (a folder, an I/O error) into the bad
    // state rather than an exception.
    std::string text;
    char buffer[8192];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0)
        text.append(buffer, static_cast<std::size_t>(in.gcount()));
    if (in.bad())
        return std::nullopt;
    return findINI(key, text);
}

std::string findINI(const std::string& key, const std::string& text) {
    const std::string wanted = upperAscii(key);
    std::size_t from = 0;
    while (from < text.size()) {
        std::size_t end = text.find('\n', from);
        std::string line = text.substr(from, end == std::string::npos ? std::string::npos : end - from);
        from = end == std::string::npos ? text.size() : end + 1;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty())
            return std::string();
        std::size_t eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        if (upperAscii(line.substr(0, eq)) == wanted)
            return line.substr(eq + 1);
    }
    return std::string();
}

} // namespace qob
