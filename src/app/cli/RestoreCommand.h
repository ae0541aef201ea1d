#pragma once
// qob restore, callable with the observer and stop token of whoever runs it: the command table
// runs it with none (no progress, never stopped); a front end with a progress line and a Ctrl-C
// handler passes its own. A stopped restore changes nothing and exits with 130.
#include "app/cli/Cli.h"
#include "app/cli/ExitCodes.h"
#include "platform/Job.h"

#include <iosfwd>

namespace qob::cli {

int runRestoreCommand(const Args& args, std::ostream& out, std::ostream& err, JobObserver& observer,
                      const StopToken& stop);

} // namespace qob::cli
