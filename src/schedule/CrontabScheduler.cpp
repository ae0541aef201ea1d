#include "schedule/CrontabScheduler.h"

#include <cctype>
#include <sstream>

namespace qob {

namespace {

// Single quotes keep everything literal for sh except the quote itself. Cron cuts the command at
// an unescaped "%" before sh sees it and turns "\%" into "%"; the escape stands outside the
// quotes, after a closing quote, so no backslash of the text can pair with it.
std::string cronQuote(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        if (c == '\'') {
            out += "'\\''";
        } else if (c == '%') {
            out += "'\\%'";
        } else {
            out += c;
        }
    }
    return out + "'";
}

bool isVariableName(const std::string& name) {
    if (name.empty() || std::isdigit(static_cast<unsigned char>(name[0]))) {
        return false;
    }
    for (char c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_') {
            return false;
        }
    }
    return true;
}

bool fitsOnALine(const std::string& text) {
    return text.find_first_of(std::string("\r\n\0", 3)) == std::string::npos;
}

// The words sh would see in the command part of a line this program wrote: single quotes, a
// backslash outside them, blanks between words, "#" starting a comment.
std::optional<std::vector<std::string>> shellWords(const std::string& text) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == ' ' || c == '\t') {
            if (inWord) {
                words.push_back(word);
                word.clear();
                inWord = false;
            }
        } else if (c == '#' && !inWord) {
            break;
        } else if (c == '\'') {
            const std::size_t end = text.find('\'', i + 1);
            if (end == std::string::npos) {
                return std::nullopt;
            }
            word += text.substr(i + 1, end - i - 1);
            i = end;
            inWord = true;
        } else if (c == '\\' && i + 1 < text.size()) {
            word += text[++i];
            inWord = true;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord) {
        words.push_back(word);
    }
    return words;
}

std::optional<int> number(const std::string& text, int low, int high) {
    if (text.empty() || text.size() > 2) {
        return std::nullopt;
    }
    int value = 0;
    for (char c : text) {
        if (!std::isdigit(static_cast<unsigned char>(c))) {
            return std::nullopt;
        }
        value = value * 10 + (c - '0');
    }
    if (value < low || value > high) {
        return std::nullopt;
    }
    return value;
}

std::string trimmed(std::string text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) {
        text.pop_back();
    }
    return text;
}

} // namespace

Status cronLine(const ScheduledTask& task, std::string& line) {
    if (task.program.empty() || task.program[0] != '/') {
        return Status::failure("The program the task starts must be given by its absolute path, not \"" +
                               task.program + "\".");
    }
    if (task.hour < 0 || task.hour > 23 || task.minute < 0 || task.minute > 59) {
        return Status::failure("The start time is not a time of day.");
    }
    if (!fitsOnALine(task.program) || !fitsOnALine(task.arguments)) {
        return Status::failure("A crontab line cannot hold a line break: the task was not registered.");
    }
    std::string days;
    if (task.everyDay()) {
        days = "*";
    } else {
        // Cron counts the week from Sunday (0); the task's days run from Monday.
        for (int d = 0; d < 7; ++d) {
            if (task.days[static_cast<std::size_t>(d)]) {
                days += (days.empty() ? "" : ",") + std::to_string((d + 1) % 7);
            }
        }
    }
    std::string text = std::to_string(task.minute) + " " + std::to_string(task.hour) + " * * " + days;
    for (const auto& [name, value] : task.environment) {
        if (!isVariableName(name) || !fitsOnALine(value)) {
            return Status::failure("The variable " + name + " cannot be set in a crontab line.");
        }
        text += " " + name + "=" + cronQuote(value);
    }
    line = text + " " + cronQuote(task.program) + " " + cronQuote(task.arguments) + kCronMarker;
    return Status::success();
}

bool isTaskLine(const std::string& line) {
    const std::string marker = kCronMarker;
    const std::size_t start = line.find_first_not_of(" \t");
    return start != std::string::npos && line[start] != '#' && line.size() > marker.size() &&
           line.compare(line.size() - marker.size(), marker.size(), marker) == 0;
}

std::optional<ScheduledTask> parseCronLine(const std::string& line) {
    if (!isTaskLine(line)) {
        return std::nullopt;
    }
    std::istringstream fields(line);
    std::string minute, hour, dayOfMonth, month, days;
    if (!(fields >> minute >> hour >> dayOfMonth >> month >> days) || dayOfMonth != "*" || month != "*") {
        return std::nullopt;
    }
    ScheduledTask task;
    auto m = number(minute, 0, 59);
    auto h = number(hour, 0, 23);
    if (!m || !h) {
        return std::nullopt;
    }
    task.minute = *m;
    task.hour = *h;
    if (days != "*") {
        std::istringstream list(days);
        std::string day;
        while (std::getline(list, day, ',')) {
            auto d = number(day, 0, 7);
            if (!d) {
                return std::nullopt;
            }
            task.days[static_cast<std::size_t>((*d + 6) % 7)] = true;
        }
    }
    std::string rest;
    std::getline(fields, rest);
    auto words = shellWords(rest);
    if (!words || words->size() < 2) {
        return std::nullopt;
    }
    std::size_t i = 0;
    for (; i < words->size(); ++i) {
        const std::string& w = (*words)[i];
        const std::size_t eq = w.find('=');
        if (eq == std::string::npos || !isVariableName(w.substr(0, eq))) {
            break;
        }
        task.environment[w.substr(0, eq)] = w.substr(eq + 1);
    }
    if (words->size() - i != 2) {
        return std::nullopt;
    }
    task.program = (*words)[i];
    task.arguments = (*words)[i + 1];
    return task;
}

std::string replaceTaskLine(const std::string& crontab, const std::optional<std::string>& line) {
    std::string out;
    std::size_t start = 0;
    while (start < crontab.size()) {
        std::size_t end = crontab.find('\n', start);
        const std::size_t next = end == std::string::npos ? crontab.size() : end + 1;
        if (end == std::string::npos) {
            end = crontab.size();
        }
        if (!isTaskLine(crontab.substr(start, end - start))) {
            out.append(crontab, start, next - start);
        }
        start = next;
    }
    if (line) {
        // Cron ignores a last line without its line break.
        if (!out.empty() && out.back() != '\n') {
            out += '\n';
        }
        out += *line + "\n";
    }
    return out;
}

std::vector<std::string> CrontabScheduler::command(const std::string& last) const {
    std::vector<std::string> argv{"crontab"};
    if (user_) {
        argv.push_back("-u");
        argv.push_back(*user_);
    }
    argv.push_back(last);
    return argv;
}

Status CrontabScheduler::readCrontab(std::string& text) {
    ProcessResult r = runner_.run(command("-l"), "");
    if (!r.started) {
        return Status::failure("The task scheduler cannot be reached (" + r.error +
                               "); is the cron package installed?");
    }
    if (r.exitCode != 0) {
        // A user who never had a crontab has an empty one.
        if (r.err.find("no crontab for") != std::string::npos) {
            text.clear();
            return Status::success();
        }
        return Status::failure("crontab -l: " + trimmed(r.err.empty() ? r.out : r.err));
    }
    text = r.out;
    return Status::success();
}

Status CrontabScheduler::writeCrontab(const std::string& text) {
    ProcessResult r = runner_.run(command("-"), text);
    if (!r.started) {
        return Status::failure("The task scheduler cannot be reached (" + r.error +
                               "); is the cron package installed?");
    }
    if (r.exitCode != 0) {
        return Status::failure("crontab: " + trimmed(r.err.empty() ? r.out : r.err));
    }
    return Status::success();
}

Status CrontabScheduler::registerTask(const ScheduledTask& task) {
    std::string line;
    if (Status made = cronLine(task, line); !made) {
        return made;
    }
    std::string crontab;
    if (Status read = readCrontab(crontab); !read) {
        return read;
    }
    return writeCrontab(replaceTaskLine(crontab, line));
}

Status CrontabScheduler::readTask(std::optional<ScheduledTask>& task) {
    task.reset();
    std::string crontab;
    if (Status read = readCrontab(crontab); !read) {
        return read;
    }
    std::istringstream lines(crontab);
    std::string line;
    while (std::getline(lines, line)) {
        if (!isTaskLine(line)) {
            continue;
        }
        task = parseCronLine(line);
        if (!task) {
            return Status::failure("The crontab holds a line of the task that this program cannot read: " +
                                   line);
        }
    }
    return Status::success();
}

Status CrontabScheduler::removeTask() {
    std::string crontab;
    if (Status read = readCrontab(crontab); !read) {
        return read;
    }
    const std::string without = replaceTaskLine(crontab, std::nullopt);
    // Nothing to remove: the crontab (and its time stamp) stays as it is.
    if (without == crontab) {
        return Status::success();
    }
    return writeCrontab(without);
}

} // namespace qob
