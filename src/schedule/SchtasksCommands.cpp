#include "schedule/SchtasksCommands.h"

#include "platform/Scheduler.h"

#include <cctype>
#include <cstdio>

namespace qob {

namespace {

const std::string kQuotedName = std::string("\"") + kScheduledTaskName + "\"";

} // namespace

std::string schtasksEndCommand() {
    return "schtasks /end  /tn " + kQuotedName;
}

std::string schtasksDeleteCommand() {
    return "schtasks /delete /f  /tn " + kQuotedName;
}

std::string schtasksQueryCommand() {
    return "schtasks /query /tn " + kQuotedName + " /xml";
}

std::string schtasksListCommand() {
    return "schtasks /query /fo CSV /nh";
}

std::string schtasksDayList(const std::array<bool, 7>& days) {
    static const char* const names[7] = {"Mon,", "Tue,", "Wed,", "Thu,", "Fri,", "Sat,", "Sun"};
    std::string list;
    for (std::size_t d = 0; d < 7; ++d) {
        if (days[d]) {
            list += names[d];
        }
    }
    if (!list.empty() && list.back() == ',') {
        list.pop_back();
    }
    return list.empty() ? "*" : list;
}

std::string schtasksCreateCommand(const std::string& dayList, const std::string& startTime,
                                  const std::string& programFolder, const std::string& arguments) {
    return "schtasks /create /sc WEEKLY /d " + dayList + " /st " + startTime + ":00" + " /tn " + kQuotedName +
           " /tr \"\\\"" + programFolder + "\\quiremail.exe\\\"" + arguments + "\"";
}

std::optional<StartTime> parseStartTime(const std::string& text) {
    const std::size_t colon = text.find(':');
    if (colon == std::string::npos || colon == 0 || colon > 2 || text.size() != colon + 3) {
        return std::nullopt;
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (i != colon && !std::isdigit(static_cast<unsigned char>(text[i]))) {
            return std::nullopt;
        }
    }
    StartTime t{std::stoi(text.substr(0, colon)), std::stoi(text.substr(colon + 1))};
    if (t.hour > 23 || t.minute > 59) {
        return std::nullopt;
    }
    return t;
}

std::string startTimeText(StartTime time) {
    char text[8];
    std::snprintf(text, sizeof text, "%02d:%02d", time.hour % 100, time.minute % 100);
    return text;
}

} // namespace qob
