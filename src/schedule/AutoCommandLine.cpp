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

std::string autoArgumentText(const std::string& profile, const std::string& items,
                             const std::string& password, const std::string& backupFile) {
    return " sf=" + profile + "xm=" + items + "ps=" + password + "bf=" + backupFile;
}

} // namespace qob
