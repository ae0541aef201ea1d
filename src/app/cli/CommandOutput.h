#pragma once
// How a long command (backup, restore) reports while its job runs: --json wins over --quiet, which
// wins over the progress line (itself silent when stderr is not a terminal).
#include "app/cli/Cli.h"
#include "platform/Job.h"

#include <iosfwd>
#include <memory>

namespace qob::cli {

enum class OutputMode {
    Progress, // the line on a terminal; the summary in words on stdout
    Quiet,    // no progress, no summary; errors still on stderr
    Json,     // one JSON object per event on stdout, then the summary as one
};

OutputMode outputMode(const Args& args);

// The observer for the job: events go to `out` as JSON lines, or the progress line to `err`.
std::unique_ptr<JobObserver> makeObserver(OutputMode mode, const Args& args, std::ostream& out,
                                          std::ostream& err);

} // namespace qob::cli
