#pragma once
// Starting Outlook after a backup or a restore ("runoutlookafterbackup", "runoutlookafterrestore").
// Outlook is started only when its program is really in the target system: starting Wine on a
// prefix without it would only show an error, and on a prefix Wine has not set up yet, Wine's
// first start rewrites the prefix. Whatever keeps it from starting is said in the run's summary.
#include "registry/TargetContext.h"

#include <functional>
#include <string>

namespace qob {

// Starts the program: true when it was started.
using StartOutlook = std::function<bool(const std::string& outlookExe)>;

// Starts Outlook through `start` when the registry names its folder and OUTLOOK.EXE is there.
// Returns "" when it was started, else the line for the summary saying why it was not.
std::string startOutlookAfterRun(TargetContext& platform, const StartOutlook& start);

} // namespace qob
