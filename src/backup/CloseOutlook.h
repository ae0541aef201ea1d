#pragma once
// Closing Outlook before a backup ("autocloseoutlook"): Outlook is asked to close as Windows would
// ask it, never killed, since a data file it is writing would be torn. When it stays open, the
// items whose files it keeps open or rewrites are not copied half-written: they fail with a reason.
#include "backup/BackupSession.h"
#include "backup/Processes.h"
#include "platform/SystemServices.h"

#include <functional>

namespace qob {

// The status text while the run waits.
inline constexpr char kWaitingForOutlook[] = "Waiting for Outlook to close...";
// The reason given for every item held back because Outlook stayed open.
inline constexpr char kOutlookDidNotClose[] = "Outlook did not close";

// Asks Outlook to close and waits for it and for the registry to be saved (see
// closeProcessByName). True when Outlook no longer runs.
bool closeOutlook(SystemServices& system, const std::function<void()>& onWait, const CloseWaits& waits = {});

// Marks the items Outlook keeps open or rewrites while it runs (data files, rules, address book,
// preferences) as failed in `session`, each with kOutlookDidNotClose as the reason.
void holdBackOutlookFiles(BackupSession& session);

} // namespace qob
