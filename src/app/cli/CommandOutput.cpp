#include "app/cli/CommandOutput.h"

#include "app/cli/JsonEvents.h"
#include "app/cli/ProgressLine.h"

namespace qob::cli {

OutputMode outputMode(const Args& args) {
    if (args.has("--json")) {
        return OutputMode::Json;
    }
    return args.has("--quiet") ? OutputMode::Quiet : OutputMode::Progress;
}

std::unique_ptr<JobObserver> makeObserver(OutputMode mode, const Args& args, std::ostream& out,
                                          std::ostream& err) {
    switch (mode) {
    case OutputMode::Json:
        return std::make_unique<JsonEvents>(out);
    case OutputMode::Quiet:
        return std::make_unique<JobObserver>();
    case OutputMode::Progress:
        break;
    }
    // On stderr: stdout may be piped into a file or a script while a person watches the terminal.
    return std::make_unique<ProgressLine>(err, args.console.errFd, args.console.clock);
}

} // namespace qob::cli
