#include "schedule/AutoCommandLine.h"

#include <algorithm>
#include <vector>

namespace qob {

std::optional<AutoCommandLine> parseAutoCommandLine(const std::string& commandLine) {
    std::vector<std::string> pieces;
    std::size_t start = 0;
    for (std::size_t eq = commandLine.find('='); eq != std::string::npos; eq = commandLine.find('=', start)) {
        pieces.push_back(commandLine.substr(start, eq - start));
        start = eq + 1;
    }
    pieces.push_back(commandLine.substr(start));
    if (pieces.size() != 5) {
        return std::nullopt;
    }
    for (std::size_t i = 1; i + 1 < pieces.size(); ++i) {
        std::string& p = pieces[i];
        p.erase(p.size() - std::min<std::size_t>(2, p.size()));
    }
    AutoCommandLine line{pieces[1], pieces[2], pieces[3], pieces[4]};
    if (line.profile.empty() || line.flags.empty() || line.backupFile.empty()) {
        return std::nullopt;
    }
    return line;
}

std::string argumentsOfCommandLine(const std::string& commandLine) {
    std::size_t at = 0;
    if (!commandLine.empty() && commandLine[0] == '"') {
        const std::size_t close = commandLine.find('"', 1);
        at = close == std::string::npos ? commandLine.size() : close + 1;
    }
    at = std::min(commandLine.size(), commandLine.find_first_of(" \t", at));
    at = std::min(commandLine.size(), commandLine.find_first_not_of(" \t", at));
    std::string arguments = commandLine.substr(at);
    // Typed by hand as one quoted argument: the quotes are the shell's, not the text's (a task's
    // text never holds one).
    if (arguments.size() >= 2 && arguments.front() == '"' && arguments.back() == '"' &&
        arguments.find('"', 1) == arguments.size() - 1) {
        arguments = arguments.substr(1, arguments.size() - 2);
    }
    return arguments;
}

std::string autoArgumentText(const std::string& profile, const std::string& items,
                             const std::string& password, const std::string& backupFile) {
    return " sf=" + profile + "xm=" + items + "ps=" + password + "bf=" + backupFile;
}

} // namespace qob
