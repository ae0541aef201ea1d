#include "forms/EraseForm.h"

#include "outlook/AppState.h"

namespace qob {
using namespace disc;

namespace {
// A drive may erase a medium when it has the capability paired with the medium's kind.
struct Erasable {
    Capability capability;
    MediaType media;
};
constexpr Erasable kErasable[] = {{Capability::EraseDvdRam, MediaType::DvdRam},
                                  {Capability::EraseDvdRw, MediaType::DvdRw},
                                  {Capability::EraseCdRw, MediaType::CdRw},
                                  {Capability::EraseDvdPlusRw, MediaType::DvdPlusRw},
                                  {Capability::EraseBdRe, MediaType::BdRe}};
} // namespace

EraseForm::EraseForm(Dialogs& dialogs, DiscEngine& engine, std::string address)
    : dialogs_(dialogs), engine_(engine), address_(std::move(address)) {}

bool EraseForm::eraseClick() {
    if (!queryClose()) {
        return false;
    }
    const MediaInfo media = engine_.media(address_);
    auto refuse = [&](const char* text) {
        dialogs_.message(text, MsgIcon::Information, MsgButtons::Ok, kApplicationTitle);
        closeRequested = true;
        return false;
    };
    if (media.type == MediaType::None) {
        return refuse("No Media Loaded.");
    }
    if (!media.rewritable) {
        return refuse("The current media is not re-writable.");
    }
    bool admitted = false;
    for (const Erasable& row : kErasable) {
        if (engine_.supports(address_, row.capability) && media.type == row.media) {
            admitted = true;
            break;
        }
    }
    if (!admitted) {
        return refuse("Selected drive does not support re-writable discs of this format.");
    }
    // Nothing may close the window or start a second erase until the engine has answered.
    pending_ = true;
    eraseEnabled = false;
    cancelEnabled = false;
    return true;
}

void EraseForm::eraseReturned(const Status& result) {
    pending_ = false;
    if (!result) {
        ready();
        dialogs_.message("Could not start Erase operation!!!" +
                             (result.message.empty() ? "" : "\n" + result.message),
                         MsgIcon::Critical, MsgButtons::Ok, kApplicationTitle);
        closeRequested = true;
    } else if (busy_) {
        ready(); // no end report came: the window must not stay locked
    }
}

void EraseForm::ready() {
    eraseEnabled = true;
    cancelEnabled = true;
    busy_ = false;
}

void EraseForm::eraseStatus(EraseStage stage, int percent) {
    switch (stage) {
    case EraseStage::Started:
        busy_ = true;
        statusText = "Erasing Disc...Please Wait!!";
        eraseEnabled = false;
        cancelEnabled = false;
        progress = percent;
        break;
    case EraseStage::Progress:
        progress = percent;
        break;
    case EraseStage::Done:
        statusText = "Erase operation complete!!!";
        dialogs_.message("Erase Completed!!!", MsgIcon::Information, MsgButtons::Ok, kApplicationTitle);
        ready();
        closeRequested = true;
        break;
    case EraseStage::Failed:
        statusText = "Error Erasing Disc!!!";
        ready();
        closeRequested = true;
        break;
    }
}

void EraseForm::deviceErrorRaised(const DeviceError& error) {
    dialogs_.message("Device Error: (" + std::to_string(error.code) + ")   " + error.description + "\n(" +
                         std::to_string(error.detailCode) + ") " + error.detailText,
                     MsgIcon::Critical, MsgButtons::Ok, kApplicationTitle);
    ready();
}

} // namespace qob
