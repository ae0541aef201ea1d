#pragma once
// A restore whose commit could not be completed keeps the target system closed to every run: the
// windows (Qt and Win32 alike) offer at their start the way out that `qob restore --abandon` is.
#include "app/cli/Target.h"
#include "outlook/AppState.h"
#include "platform/Dialogs.h"
#include "restore/RestoreTransaction.h"

#include <memory>
#include <string>

namespace qob {

// True when the user took it and the target system was put back (open it again).
inline bool offerUndoOfInterruptedRestore(Dialogs& dialogs, const std::string& error) {
    std::string ignored;
    std::unique_ptr<cli::Target> stuck =
        cli::Target::open(std::nullopt, dialogs, ignored, PrefixPolicy::Program, false);
    if (!stuck || !interruptedRestorePending(stuck->platform())) {
        return false;
    }
    const std::string question = error + "\r\n\r\nPut the target system back as it was before that restore?";
    if (dialogs.message(question, MsgIcon::Question, MsgButtons::YesNo, kApplicationTitle) !=
        MsgAnswer::Yes) {
        return false;
    }
    std::string note;
    const Status undone = undoInterruptedRestore(stuck->platform(), note);
    dialogs.message(undone ? note : undone.message, undone ? MsgIcon::Information : MsgIcon::Critical,
                    MsgButtons::Ok, kApplicationTitle);
    return static_cast<bool>(undone);
}

// The windows' target system, opened again after the user put an interrupted restore back;
// nullptr with the reason in `error` when there is none to work on.
inline std::unique_ptr<cli::Target> openWindowTarget(Dialogs& dialogs, std::string& error) {
    for (;;) {
        error.clear();
        std::unique_ptr<cli::Target> target =
            cli::Target::open(std::nullopt, dialogs, error, PrefixPolicy::Program);
        if (target || !offerUndoOfInterruptedRestore(dialogs, error)) {
            return target;
        }
    }
}

} // namespace qob
