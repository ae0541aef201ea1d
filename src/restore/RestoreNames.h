#pragma once
// Names read from a backup file become file names in the user's folders, so none of them is
// trusted: a name must stay a plain file name inside the one folder it is restored to.
#include "platform/AsciiCase.h"

#include <string>

namespace qob {

// True when `name` may become a file inside one target folder on Windows and under Wine: not
// empty, no "/" or "\", no "..", no drive or alternate stream (":"), none of the characters Windows
// refuses (< > " | ? * and controls), no trailing dot or blank (Windows would strip them and hit
// another file), and not a device name (CON, PRN, AUX, NUL, COM0-9, LPT0-9), with or without an
// extension ("CON.txt" opens the console too).
bool isSafeRestoreName(const std::string& name);

bool equalsNoCase(const std::string& a, const std::string& b);

} // namespace qob
