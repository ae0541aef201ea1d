#pragma once
// The XDG autostart entry that starts `quiremail --catch-up` at each start of the user's session:
// written when the weekly task is registered, removed with it.
#include "platform/XdgAutostart.h"

#include <filesystem>
#include <string>

namespace qob {

inline constexpr char kCatchUpAutostartFileName[] = "quire-outlook-backup-catch-up.desktop";
inline constexpr char kCatchUpOption[] = "--catch-up";

// The entry that starts `quiremail --catch-up` at the start of the user's session.
class CatchUpAutostart : public XdgAutostart {
public:
    // `folder` holds the autostart files (XdgAutostart::defaultFolder); `executable` is quiremail.
    CatchUpAutostart(std::filesystem::path folder, std::filesystem::path executable);
};

} // namespace qob
