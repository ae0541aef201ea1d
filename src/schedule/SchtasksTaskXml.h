#pragma once
// What schtasks prints, read back: its output as UTF-8 text whatever it was written in, and the
// weekly task out of the XML form "schtasks /query /xml" prints.
#include "platform/Scheduler.h"

#include <cstdint>
#include <optional>
#include <string>

namespace qob {

// schtasks writes to a pipe in the console's code page on most versions and in UTF-16 on some:
// UTF-16 (with its byte-order mark, or told by the zero bytes of ASCII) and UTF-8 are taken as
// they are, anything else as text of `codePage` (Windows-1252 when that does not convert it).
std::string schtasksOutputText(const std::string& bytes, std::uint32_t codePage);

// The task a "schtasks /query /xml" text describes: its weekly days (a daily trigger is every
// day), the start time of its first trigger, the program its action starts (without the quotes
// around it) and the arguments, with one blank before them as the task was registered. nullopt
// when the text lacks a calendar trigger, a start time or an action that starts a program.
std::optional<ScheduledTask> parseTaskXml(const std::string& xml);

} // namespace qob
