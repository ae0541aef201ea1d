#include "backup/Processes.h"

#include <algorithm>
#include <cctype>

namespace qob {

namespace {

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

} // namespace

int killProcessByName(SystemServices& system, const std::string& name) {
    const std::string wanted = lower(name);
    int count = 0;
    for (const ProcessInfo& p : system.processes()) {
        std::string exe = p.exeName.substr(0, p.exeName.find('\0'));
        if (lower(exe) == wanted && system.terminateProcess(p.pid)) {
            ++count;
        }
    }
    return count;
}

} // namespace qob
