#pragma once
// Texts of the disc windows that more than one place builds: sizes, dates and the engine's errors
// (the disc window shows them in message boxes, qob disc prints them).
#include "disc/DiscTypes.h"

#include <cstdint>
#include <ctime>
#include <string>

namespace qob {

// "12.34 MB": bytes / 1048576 with two decimals.
std::string formatMegabytes(double bytes);
// The file list's size column: bytes / 1000 with thousands separators and two decimals, " KB".
std::string formatKilobytes(std::uint64_t bytes);
// The file list's date column, local time: "MM/DD/YYYY hh:mm:ss AM".
std::string formatFileDate(std::time_t when);
// The message of an engine error, by its type.
std::string discErrorText(const disc::EngineError& error);

} // namespace qob
