#include "backup/CloseOutlook.h"

namespace qob {

bool closeOutlook(SystemServices& system, const std::function<void()>& onWait, const CloseWaits& waits) {
    return closeProcessByName(system, "outlook.exe", waits, onWait) != CloseResult::StillOpen;
}

void holdBackOutlookFiles(BackupSession& session) {
    // The registry items stay: a running wineserver serves a complete (if up to 30 s old) copy,
    // while a data file Outlook is writing can be copied torn.
    struct Held {
        ItemKind kind;
        const char* what;
    };
    static constexpr Held kHeld[] = {
        {ItemKind::Datas, "Data files"},
        {ItemKind::Rules, "Rules"},
        {ItemKind::Pab, "Personal Address Book"},
        {ItemKind::Setting, "Preferences"},
    };
    for (const Held& h : kHeld)
        session.holdBack(h.kind, std::string(h.what) + ": " + kOutlookDidNotClose);
}

} // namespace qob
