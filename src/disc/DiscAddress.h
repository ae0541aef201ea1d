#pragma once
// What every disc engine shares with the code around libisofs: how an image file is addressed
// ("stdio:" + its path, as libburn names it, on Linux and Windows alike) and the libraries' queued
// messages, which say why a call failed where its return value does not.
#include <string>

namespace qob::disc {

// "stdio:PATH" addresses a file; anything else a drive of the system.
bool isStdioAddress(const std::string& address);
std::string stdioPath(const std::string& address);

// The messages the disc libraries queued since the last call, oldest first, one per line.
std::string takeDiscMessages();

} // namespace qob::disc
