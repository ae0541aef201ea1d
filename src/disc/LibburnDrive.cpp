#include "disc/LibburnDrive.h"

// libisofs.h uses uint32_t without including its header.
#include <cstdint>
#include <libisofs/libisofs.h>

#include <chrono>
#include <mutex>
#include <thread>

namespace qob::disc {
using namespace burn;

namespace {
struct LibraryCount {
    std::mutex mutex;
    int users = 0;
    bool ok = false;
};
// The libraries' own state is process-wide, so their user count must be too.
LibraryCount& libraryCount() {
    static LibraryCount count;
    return count;
}
} // namespace

DiscLibraries::DiscLibraries() {
    LibraryCount& count = libraryCount();
    std::lock_guard<std::mutex> lock(count.mutex);
    if (count.users++ == 0) {
        count.ok = iso_init() >= 0;
        if (count.ok) {
            iso_set_local_charset(const_cast<char*>("UTF-8"), 0);
            // Queue what matters for the reports; print nothing (a window has no terminal).
            iso_set_msgs_severities(const_cast<char*>("SORRY"), const_cast<char*>("NEVER"),
                                    const_cast<char*>("libisofs: "));
            count.ok = burn_initialize() == 1;
            if (count.ok) {
                burn_msgs_set_severities(const_cast<char*>("SORRY"), const_cast<char*>("NEVER"),
                                         const_cast<char*>("libburn: "));
            }
        }
    }
    ok_ = count.ok;
}

DiscLibraries::~DiscLibraries() {
    LibraryCount& count = libraryCount();
    std::lock_guard<std::mutex> lock(count.mutex);
    if (--count.users == 0) {
        if (count.ok) {
            burn_finish();
            iso_finish();
        }
        count.ok = false;
    }
}

std::string takeDiscMessages() {
    std::string text;
    auto add = [&text](const char* message) {
        if (message[0] != '\0') {
            text += (text.empty() ? "" : "\n") + std::string(message);
        }
    };
    char message[BURN_MSGS_MESSAGE_LEN];
    char severity[80];
    int code = 0;
    int osErrno = 0;
    while (burn_msgs_obtain(const_cast<char*>("SORRY"), &code, message, &osErrno, severity) == 1) {
        add(message);
    }
    char isoMessage[ISO_MSGS_MESSAGE_LEN];
    int imageId = 0;
    while (iso_obtain_msgs(const_cast<char*>("SORRY"), &code, &imageId, isoMessage, severity) == 1) {
        add(isoMessage);
    }
    return text;
}

bool isStdioAddress(const std::string& address) {
    return address.rfind("stdio:", 0) == 0;
}

std::string stdioPath(const std::string& address) {
    return isStdioAddress(address) ? address.substr(6) : std::string();
}

GrabbedDrive::GrabbedDrive(const std::string& address, std::string& error) {
    takeDiscMessages(); // what is left from before is not this drive's story
    std::string copy = address;
    if (burn_drive_scan_and_grab(&info_, copy.data(), 1) != 1 || info_ == nullptr) {
        error = takeDiscMessages();
        if (error.empty()) {
            error = "The drive " + address + " was not found.";
        }
        if (info_) {
            burn_drive_info_free(info_);
            info_ = nullptr;
        }
        return;
    }
    drive_ = info_[0].drive;
}

GrabbedDrive::~GrabbedDrive() {
    if (drive_) {
        burn_drive_release(drive_, eject_ ? 1 : 0);
    }
    if (info_) {
        burn_drive_info_free(info_);
    }
}

int GrabbedDrive::role() const {
    return drive_ ? burn_drive_get_drive_role(drive_) : 0;
}

std::vector<int> GrabbedDrive::profiles() {
    int count = 0;
    int list[64];
    char current[64];
    std::vector<int> result;
    if (drive_ && burn_drive_get_all_profiles(drive_, &count, list, current) == 1) {
        result.assign(list, list + count);
    }
    return result;
}

MediaType mediaTypeOfProfile(int profile) {
    switch (profile) {
    case 0x09:
        return MediaType::CdR;
    case 0x0a:
        return MediaType::CdRw;
    case 0x11:
        return MediaType::DvdR;
    case 0x12:
        return MediaType::DvdRam;
    case 0x13:
    case 0x14:
        return MediaType::DvdRw;
    case 0x15:
    case 0x16:
        return MediaType::DvdRDl;
    case 0x1a:
        return MediaType::DvdPlusRw;
    case 0x1b:
        return MediaType::DvdPlusR;
    case 0x2b:
        return MediaType::DvdPlusRDl;
    case 0x41:
    case 0x42:
        return MediaType::BdR;
    case 0x43:
        return MediaType::BdRe;
    case 0xffff:
        return MediaType::ImageFile;
    case 0:
        return MediaType::None;
    default:
        return MediaType::Other;
    }
}

double baseSpeedOfProfile(int profile) {
    if (profile >= 0x08 && profile <= 0x0a) {
        return 176.4; // CD: 75 sectors of 2352 bytes a second
    }
    if (profile >= 0x40 && profile <= 0x43) {
        return 4495.625;
    }
    return 1385.0; // DVD
}

MediaInfo GrabbedDrive::media() {
    MediaInfo info;
    if (!drive_) {
        return info;
    }
    enum burn_disc_status status = burn_disc_get_status(drive_);
    // A drive that has just been loaded needs a moment to read the disc.
    for (int i = 0; status == BURN_DISC_UNREADY && i < 200; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        status = burn_disc_get_status(drive_);
    }
    const int role = burn_drive_get_drive_role(drive_);
    if (role == 0 || status == BURN_DISC_EMPTY || status == BURN_DISC_UNREADY) {
        return info;
    }
    int profile = 0;
    char name[80] = "";
    if (burn_disc_get_profile(drive_, &profile, name) != 1) {
        profile = 0;
    }
    if (role != 1) {
        profile = 0xffff; // a file, whatever the drive says
    }
    info.type = mediaTypeOfProfile(profile);
    if (info.type == MediaType::None) {
        info.type = MediaType::Other;
    }
    info.name = role != 1 ? "image file" : name;
    info.rewritable = profile == 0x0a || profile == 0x12 || profile == 0x13 || profile == 0x14 ||
                      profile == 0x1a || profile == 0x43;
    info.writable = status == BURN_DISC_BLANK || status == BURN_DISC_APPENDABLE;
    info.erasable = role == 1 && burn_disc_erasable(drive_) == 1;
    if (info.writable) {
        const off_t space = burn_disc_available_space(drive_, nullptr);
        info.freeBlocks = space > 0 ? static_cast<std::uint64_t>(space) / kBlockSize : 0;
    }
    return info;
}

} // namespace qob::disc
