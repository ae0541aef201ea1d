#pragma once
// The erase window without its widgets (frmErase): checks that the drive chosen in the disc window
// holds a rewritable medium it can erase, starts the erase and follows it. Like a write, the erase
// runs in three steps: eraseClick() checks and says whether to run; the window runs
// engine.erase(address(), quickErase, <this form>) on a worker and hands the events to this form on
// its own thread; eraseReturned(status) with what erase() returned.
#include "disc/DiscEngine.h"
#include "platform/Dialogs.h"

#include <string>

namespace qob {

inline constexpr char kEraseWindowCaption[] = "Erase Re-Writable CD/DVD";
inline constexpr char kEraseNote[] =
    "NOTE: If not performing a quick erase, it could take several minutes to completely erase the disc. This "
    "operation cannot be cancelled. A quick erase will erase the table of contents, but not the actual data.";

class EraseForm : public disc::DiscEvents {
public:
    EraseForm(Dialogs& dialogs, disc::DiscEngine& engine, std::string address);

    // --- controls ---
    bool quickErase = true; // chkQuikErase
    bool eraseEnabled = true;
    bool cancelEnabled = true;
    int progress = 0;
    std::string statusText; // lblStatus
    // The window closes itself (after a refusal, or when the erase has ended).
    bool closeRequested = false;

    // cmdErase_Click: true when the erase is to be run now; false when refused (the message was
    // shown and closeRequested set).
    bool eraseClick();
    void eraseReturned(const Status& result);
    // Form_Unload and "Cancel": false while an erase runs.
    bool queryClose() const { return !busy_ && !pending_; }
    const std::string& address() const { return address_; }

    void eraseStatus(disc::EraseStage stage, int percent) override;
    void deviceErrorRaised(const disc::DeviceError& error) override;

private:
    void ready();

    Dialogs& dialogs_;
    disc::DiscEngine& engine_;
    std::string address_;
    bool busy_ = false;
    bool pending_ = false; // asked to start, not yet heard from
};

} // namespace qob
