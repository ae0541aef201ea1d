#pragma once
// qob backup, with the backup job's events and its stop token supplied by the caller: the progress
// line (or --json, or nothing with --quiet) and the Ctrl-C handler plug in here. The registered
// command runs it with an observer that shows nothing and a token nothing sets.
#include "app/cli/Cli.h"
#include "platform/Job.h"

#include <iosfwd>

namespace qob::cli {

// Exit codes: 0 a whole backup; 1 refused, failed or incomplete; 2 bad arguments; 130 cancelled
// (the earlier backup is as it was).
int runBackupCommand(const Args& args, std::ostream& out, std::ostream& err, JobObserver& observer,
                     const StopToken& stop);

} // namespace qob::cli
