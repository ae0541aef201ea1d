#pragma once
// Finding the Wine prefix that serves as the target system.
#include "platform/Status.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace qob {

// The prefix folder: the --prefix option when given, else $WINEPREFIX, else ~/.wine; made
// absolute. Empty when none of them is known (no option, no WINEPREFIX, no HOME).
std::filesystem::path chooseWinePrefix(const std::optional<std::string>& prefixOption,
                                       const std::optional<std::string>& winePrefixVariable,
                                       const std::optional<std::string>& home);

// The same, reading WINEPREFIX and HOME from the environment of this process.
std::filesystem::path locateWinePrefix(const std::optional<std::string>& prefixOption);

// Removes "--prefix DIR" or "--prefix=DIR" from an argument list and returns DIR (the last one
// when given twice). An option without its folder is an error told in `error`.
std::optional<std::string> takePrefixOption(std::vector<std::string>& args, std::string& error);

// Success when the folder looks like a Wine prefix: it has dosdevices/, drive_c/ or a .reg file.
Status checkWinePrefix(const std::filesystem::path& prefix);

} // namespace qob
