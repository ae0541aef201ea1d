#pragma once
// The XDG autostart entry that starts `quiremail --catch-up` at each start of the user's session:
// written when the weekly task is registered, removed with it.
#include "platform/StartupEntry.h"

#include <filesystem>
#include <string>

namespace qob {

inline constexpr char kCatchUpAutostartFileName[] = "quire-outlook-backup-catch-up.desktop";
inline constexpr char kCatchUpOption[] = "--catch-up";

class CatchUpAutostart : public StartupEntry {
public:
    // `folder` holds the autostart files (XdgAutostart::defaultFolder); `executable` is quiremail.
    CatchUpAutostart(std::filesystem::path folder, std::filesystem::path executable);

    Status set(bool on) override;
    bool isSet() const override;

    const std::filesystem::path& file() const { return file_; }
    std::string contents() const;

private:
    std::filesystem::path folder_;
    std::filesystem::path file_;
    std::filesystem::path executable_;
};

} // namespace qob
