#include "backup/Processes.h"
#include "platform/AsciiCase.h"

namespace qob {

int killProcessByName(SystemServices& system, const std::string& name) {
    const std::string wanted = lowerAscii(name);
    int count = 0;
    for (const ProcessInfo& p : system.processes()) {
        std::string exe = p.exeName.substr(0, p.exeName.find('\0'));
        if (lowerAscii(exe) == wanted && system.terminateProcess(p.pid)) {
            ++count;
        }
    }
    return count;
}

} // namespace qob
