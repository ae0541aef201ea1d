#pragma once
// How a long command (backup, restore) reports while its job runs: --json wins over --quiet, which
// wins over the progress line (itself silent when stderr is not a terminal).
#include "app/cli/Cli.h"
#include "platform/Job.h"

#include <functional>
#include <iosfwd>
#include <memory>
#include <string>

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

// A command that runs a job: it reports through `observer`, stops when `stop` asks, prints its
// summary in words on `out` and its errors on `err`.
using JobCommand = std::function<int(const Args& args, std::ostream& out, std::ostream& err,
                                     JobObserver& observer, const StopToken& stop)>;

// Runs `command` the way the output mode asks, with Ctrl-C and SIGTERM asking its job to stop:
// - the progress line: drawn on a terminal stderr; anything the command prints while it is shown
//   starts on a line of its own;
// - --quiet: the summary on stdout is dropped, errors still go to stderr;
// - --json: the events as JSON lines on stdout, then the summary as one JSON object (the words the
//   command printed on stdout are its "message").
// A command stopped by a signal exits with 128 + the signal's number (130 for Ctrl-C).
int runJobCommand(const std::string& name, const Args& args, std::ostream& out, std::ostream& err,
                  const JobCommand& command);

} // namespace qob::cli
