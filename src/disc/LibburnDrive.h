#pragma once
// The libburn side of the engine, kept out of every public header: the library's lifetime, one
// grabbed drive, the media facts of the loaded disc, and the library's queued messages (libburn
// tells why something failed only there: many of its calls return nothing).
#include "disc/DiscAddress.h"
#include "disc/DiscTypes.h"

#include <cstdint>
#include <libburn/libburn.h>
#include <string>
#include <vector>

namespace qob::disc {

// libburn and libisofs keep process-wide state: the first user starts them and the last one ends
// them, so that two engines (a window and its erase dialog, or tests) never pull it from under
// each other.
class DiscLibraries {
public:
    DiscLibraries();
    ~DiscLibraries();
    DiscLibraries(const DiscLibraries&) = delete;
    DiscLibraries& operator=(const DiscLibraries&) = delete;
    bool ok() const { return ok_; }

private:
    bool ok_ = false;
};

class GrabbedDrive {
public:
    // Grabs the drive (loading the tray of a real one). `error` says why when it cannot be had.
    GrabbedDrive(const std::string& address, std::string& error);
    ~GrabbedDrive();
    GrabbedDrive(const GrabbedDrive&) = delete;
    GrabbedDrive& operator=(const GrabbedDrive&) = delete;

    explicit operator bool() const { return drive_ != nullptr; }
    burn::burn_drive* drive() const { return drive_; }
    const burn::burn_drive_info& info() const { return info_[0]; }
    // 1 a real drive, 2 a random-access file, 3 a write-only file (a pipe, /dev/null), 0 nothing.
    int role() const;
    // Waits until the drive knows what is loaded, and describes it.
    MediaInfo media();
    std::vector<int> profiles();
    // Let go of it with the tray opened.
    void releaseEjecting() { eject_ = true; }

private:
    burn::burn_drive_info* info_ = nullptr;
    burn::burn_drive* drive_ = nullptr;
    bool eject_ = false;
};

MediaType mediaTypeOfProfile(int profile);
// kB/s of the medium's 1x speed, for the speed factors a user knows ("48x").
double baseSpeedOfProfile(int profile);

} // namespace qob::disc
