#include "backup/Processes.h"
#include "platform/AsciiCase.h"

#include <algorithm>

namespace qob {

namespace {

bool isNamed(const ProcessInfo& p, const std::string& wanted) {
    return lowerAscii(p.exeName.substr(0, p.exeName.find('\0'))) == wanted;
}

bool anyRunning(const SystemServices& system, const std::string& wanted) {
    const auto list = system.processes();
    return std::any_of(list.begin(), list.end(), [&](const ProcessInfo& p) { return isNamed(p, wanted); });
}

// Polls until `done` holds or `limit` has been slept away; true when it held. The time is counted
// in sleeps, so a slow look never shortens the wait.
template <typename Done>
bool waitFor(SystemServices& system, std::chrono::milliseconds limit, std::chrono::milliseconds poll,
             const std::function<void()>& onWait, Done done) {
    poll = std::max(poll, std::chrono::milliseconds(1));
    for (std::chrono::milliseconds waited{0};; waited += poll) {
        if (onWait)
            onWait();
        if (done())
            return true;
        if (waited >= limit)
            return false;
        system.sleep(poll);
    }
}

} // namespace

int killProcessByName(SystemServices& system, const std::string& name) {
    const std::string wanted = lowerAscii(name);
    int count = 0;
    for (const ProcessInfo& p : system.processes()) {
        if (isNamed(p, wanted) && system.terminateProcess(p.pid)) {
            ++count;
        }
    }
    return count;
}

CloseResult closeProcessByName(SystemServices& system, const std::string& name, const CloseWaits& waits,
                               const std::function<void()>& onWait) {
    const std::string wanted = lowerAscii(name);
    if (!anyRunning(system, wanted))
        return CloseResult::NotRunning;
    if (!system.askToClose(name)) {
        // It may have exited on its own between the look and the request.
        if (anyRunning(system, wanted))
            return CloseResult::StillOpen;
    } else if (!waitFor(system, waits.processExit, waits.poll, onWait,
                        [&] { return !anyRunning(system, wanted); })) {
        return CloseResult::StillOpen;
    }
    // The program has gone, but what it wrote to the registry may still be only in the registry
    // holder's memory. Waiting longer than its save period is enough even if it never exits.
    waitFor(system, waits.registrySaved, waits.poll, onWait, [&] { return !system.registryHeld(); });
    return CloseResult::Closed;
}

} // namespace qob
