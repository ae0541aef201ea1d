#include "disc/IsoBurnEngine.h"

#include "disc/DiscReadBack.h"
#include "disc/LibburnDrive.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace qob::disc {
using namespace burn;

namespace {

std::string trimmed(const char* text) {
    std::string s(text);
    while (!s.empty() && s.back() == ' ') {
        s.pop_back();
    }
    return s;
}

// Waits for a job libburn runs on its own thread (a write or an erase) to end.
template <typename OnStatus> void waitForDrive(burn_drive* drive, OnStatus onStatus) {
    while (burn_drive_get_status(drive, nullptr) == BURN_DRIVE_SPAWNING) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    burn_progress progress{};
    for (;;) {
        const burn_drive_status status = burn_drive_get_status(drive, &progress);
        if (status == BURN_DRIVE_IDLE) {
            return;
        }
        onStatus(status, progress);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}

} // namespace

IsoBurnEngine::IsoBurnEngine() = default;
IsoBurnEngine::~IsoBurnEngine() = default;

Status IsoBurnEngine::initialize() {
    if (!libraries_) {
        libraries_ = std::make_unique<DiscLibraries>();
    }
    if (!libraries_->ok()) {
        return Status::failure("libburn or libisofs could not be started.");
    }
    return Status::success();
}

std::vector<DiscDeviceInfo> IsoBurnEngine::devices() {
    std::vector<DiscDeviceInfo> result;
    if (initialize()) {
        burn_drive_info* infos = nullptr;
        unsigned int count = 0;
        // The scan runs on libburn's thread: 0 means "not finished yet".
        int rc = 0;
        for (int i = 0; i < 600 && (rc = burn_drive_scan(&infos, &count)) == 0; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        if (rc > 0) {
            for (unsigned int i = 0; i < count; ++i) {
                char address[BURN_DRIVE_ADR_LEN] = "";
                if (burn_drive_get_adr(&infos[i], address) <= 0) {
                    continue;
                }
                DiscDeviceInfo device;
                device.address = address;
                device.description =
                    trimmed(infos[i].vendor) + " " + trimmed(infos[i].product) + " (" + address + ")";
                device.isRecorder =
                    infos[i].write_cdr || infos[i].write_cdrw || infos[i].write_dvdr || infos[i].write_dvdram;
                result.push_back(device);
            }
            burn_drive_info_free(infos);
        }
        takeDiscMessages();
    }
    DiscDeviceInfo image;
    image.address = "stdio:";
    image.description = kImageFileDeviceName;
    image.isRecorder = true;
    image.isImageFile = true;
    result.push_back(image);
    return result;
}

bool IsoBurnEngine::supports(const std::string& address, Capability capability) {
    if (!initialize() || isStdioAddress(address)) {
        return false;
    }
    std::string error;
    GrabbedDrive drive(address, error);
    if (!drive) {
        return false;
    }
    if (capability == Capability::BufferProtection) {
        // Every MMC recorder of this century protects against underruns; libburn asks for it
        // only where the drive offers it.
        return drive.role() == 1;
    }
    return erasesAs(drive.profiles(), capability);
}

MediaInfo IsoBurnEngine::media(const std::string& address) {
    if (!initialize() || address.empty() || address == "stdio:") {
        return {};
    }
    std::string error;
    GrabbedDrive drive(address, error);
    return drive ? drive.media() : MediaInfo{};
}

std::vector<WriteSpeed> IsoBurnEngine::writeSpeeds(const std::string& address) {
    std::vector<WriteSpeed> speeds;
    if (!initialize() || isStdioAddress(address)) {
        return speeds;
    }
    std::string error;
    GrabbedDrive drive(address, error);
    if (!drive) {
        return speeds;
    }
    int profile = 0;
    char name[80] = "";
    burn_disc_get_profile(drive.drive(), &profile, name);
    burn_speed_descriptor* list = nullptr;
    if (burn_drive_get_speedlist(drive.drive(), &list) == 1) {
        for (burn_speed_descriptor* s = list; s != nullptr; s = s->next) {
            const bool known = std::any_of(speeds.begin(), speeds.end(),
                                           [&](const WriteSpeed& w) { return w.value == s->write_speed; });
            if (s->write_speed > 0 && !known) {
                speeds.push_back({s->write_speed, s->write_speed / baseSpeedOfProfile(profile)});
            }
        }
        burn_drive_free_speedlist(&list);
    }
    std::sort(speeds.begin(), speeds.end(),
              [](const WriteSpeed& a, const WriteSpeed& b) { return a.value > b.value; });
    return speeds;
}

Status IsoBurnEngine::eject(const std::string& address) {
    if (isStdioAddress(address)) {
        return Status::success(); // a file has no tray
    }
    if (Status s = initialize(); !s) {
        return s;
    }
    std::string error;
    GrabbedDrive drive(address, error);
    if (!drive) {
        return Status::failure(error);
    }
    drive.releaseEjecting();
    return Status::success();
}

Status IsoBurnEngine::closeTray(const std::string& address) {
    if (isStdioAddress(address)) {
        return Status::success();
    }
    if (Status s = initialize(); !s) {
        return s;
    }
    // Grabbing a drive loads its tray.
    std::string error;
    GrabbedDrive drive(address, error);
    return drive ? Status::success() : Status::failure(error);
}

VerifySummary IsoBurnEngine::verify(const std::string& address, const DiscImage& image, DiscEvents& events,
                                    const StopToken& stop) {
    VerifySummary summary;
    if (Status s = initialize(); !s) {
        summary.status = s;
        return summary;
    }
    std::string error;
    GrabbedDrive drive(address, error);
    if (!drive || drive.media().type == MediaType::None) {
        summary.status = Status::failure(drive ? "No medium is loaded in " + address + "." : error);
        return summary;
    }
    int startBlock = 0;
    if (drive.role() == 1 && burn_disc_get_msc1(drive.drive(), &startBlock) != 1) {
        startBlock = 0;
    }
    return readBackAndCompare(drive, static_cast<std::uint32_t>(startBlock), image, events, stop);
}

Status IsoBurnEngine::erase(const std::string& address, bool quick, DiscEvents& events) {
    if (Status s = initialize(); !s) {
        return s;
    }
    std::string error;
    GrabbedDrive drive(address, error);
    if (!drive) {
        return Status::failure(error);
    }
    const MediaInfo media = drive.media();
    if (drive.role() != 1) {
        return Status::failure("An image file is not erased: writing replaces it.");
    }
    if (media.type == MediaType::None) {
        return Status::failure("No medium is loaded in " + address + ".");
    }
    if (!media.erasable) {
        return Status::failure("The " + media.name + " in " + address +
                               " cannot be erased (it is blank or not rewritable).");
    }
    takeDiscMessages();
    events.eraseStatus(EraseStage::Started, 0);
    burn_disc_erase(drive.drive(), quick ? 1 : 0);
    int last = -1;
    waitForDrive(drive.drive(), [&](burn_drive_status, const burn_progress& progress) {
        const int percent =
            progress.sectors > 0 ? static_cast<int>(100LL * progress.sector / progress.sectors) : 0;
        if (percent != last) {
            last = percent;
            events.eraseStatus(EraseStage::Progress, std::clamp(percent, 0, 100));
        }
    });
    const std::string words = takeDiscMessages();
    if (burn_drive_wrote_well(drive.drive()) != 1) {
        DeviceError device;
        device.code = 5;
        device.description = "The disc could not be erased.";
        device.detailText = words.empty() ? "The drive gave no reason." : words;
        events.deviceErrorRaised(device);
        events.eraseStatus(EraseStage::Failed, 0);
    } else {
        events.eraseStatus(EraseStage::Done, 100);
    }
    return Status::success();
}

} // namespace qob::disc
