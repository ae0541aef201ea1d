#pragma once
// How cron runs a crontab line: the text after the five time fields, with "\%" turned into "%"
// and cut at an unescaped "%", handed to sh -c (checked against the cron daemon with a line of
// the crontab backend holding "%", "\%", quotes and blanks).
#include <string>

namespace qob::test {

inline std::string cronCommand(const std::string& line) {
    std::size_t at = 0;
    for (int field = 0; field < 5; ++field) {
        at = line.find(' ', line.find_first_not_of(' ', at));
    }
    std::string command;
    for (std::size_t i = at + 1; i < line.size(); ++i) {
        if (line[i] == '\\' && i + 1 < line.size() && line[i + 1] == '%') {
            command += line[++i];
        } else if (line[i] == '%') {
            break;
        } else {
            command += line[i];
        }
    }
    return command;
}

// A shell command that runs `command` with sh -c in cron's bare environment: no display, no
// terminal, PATH /usr/bin:/bin.
inline std::string asCronRunsIt(const std::string& command, const std::string& home) {
    std::string quoted;
    for (char c : command) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return "env -i HOME='" + home + "' LOGNAME=root SHELL=/bin/sh PATH=/usr/bin:/bin /bin/sh -c '" + quoted +
           "' </dev/null";
}

} // namespace qob::test
