#pragma once
// Ctrl-C (and a polite kill) for the length of a qob command: instead of ending the process in the
// middle of a write, the signal asks the running job to stop at its next check, which leaves the
// earlier backup and the restore target as they were.
#include "platform/Job.h"

#include <memory>

namespace qob::cli {

class InterruptScope {
public:
    // Installs the handler for SIGINT and SIGTERM; it calls token.requestStop().
    explicit InterruptScope(StopToken& token);
    // Puts back the handlers (and an outer scope) that were there before.
    ~InterruptScope();
    InterruptScope(const InterruptScope&) = delete;
    InterruptScope& operator=(const InterruptScope&) = delete;

    // The signal that asked to stop (SIGINT, SIGTERM), or 0 when none came.
    int signal() const;
    // The exit status of a command that stopped because of the signal: 128 + its number, the
    // shell's convention (130 for Ctrl-C).
    int exitCode() const { return 128 + signal(); }

    // What the handler reaches; public only so that the handler in the source file can name it.
    struct State;

private:
    std::unique_ptr<State> state_;
    State* outer_;
};

} // namespace qob::cli
