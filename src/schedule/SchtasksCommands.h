#pragma once
// The command texts that register, end and remove the weekly task with the Windows task
// scheduler's command-line tool. Built here so the Windows backend runs exactly these.
#include <array>
#include <optional>
#include <string>

namespace qob {

// "schtasks /end  /tn "Quire Outlook AutoBackup"" (two blanks before /tn, as always written).
std::string schtasksEndCommand();
// "schtasks /delete /f  /tn "Quire Outlook AutoBackup"".
std::string schtasksDeleteCommand();
// "schtasks /query /tn "Quire Outlook AutoBackup" /xml": the task as the scheduler holds it, in
// its XML form, whose element names do not change with the language of Windows.
std::string schtasksQueryCommand();
// "schtasks /query /fo CSV /nh": every task by its name, to tell a missing task from a refusal.
std::string schtasksListCommand();
// The ticked days (Monday … Sunday) as "Mon,Tue,…,Sun"; "*" when none is ticked.
std::string schtasksDayList(const std::array<bool, 7>& days);
// "schtasks /create /sc WEEKLY /d DAYS /st HH:MM:00 /tn "…" /tr "\"FOLDER\quiremail.exe\" ARGS"".
// `startTime` is "HH:MM"; the program folder is a Windows path without a final backslash.
std::string schtasksCreateCommand(const std::string& dayList, const std::string& startTime,
                                  const std::string& programFolder, const std::string& arguments);

// A start time typed or picked as "H:MM" or "HH:MM" (hour 0–23, minute 0–59).
struct StartTime {
    int hour = 0;
    int minute = 0;
};
std::optional<StartTime> parseStartTime(const std::string& text);
// "HH:MM", two digits each: 9:00 becomes 09:00.
std::string startTimeText(StartTime time);

} // namespace qob
