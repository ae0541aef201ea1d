#include "SimulatedRecorder.h"

#include <algorithm>
#include <filesystem>

namespace qob::test {
using namespace qob::disc;

SimulatedDrive simulatedDrive(const std::string& address, MediaType type, bool rewritable,
                              std::uint64_t capacityBlocks) {
    SimulatedDrive d;
    d.info.address = address;
    d.info.description = "SIMULATED RECORDER (" + address + ")";
    d.info.isRecorder = true;
    d.media.type = type;
    d.media.name = "simulated";
    d.media.writable = type != MediaType::None;
    d.media.rewritable = rewritable;
    d.media.freeBlocks = type != MediaType::None ? capacityBlocks : 0;
    d.capacityBlocks = capacityBlocks;
    return d;
}

SimulatedDrive* SimulatedRecorder::drive(const std::string& address) {
    for (SimulatedDrive& d : drives) {
        if (d.info.address == address) {
            return &d;
        }
    }
    return nullptr;
}

Status SimulatedRecorder::initialize() {
    return initializes ? Status::success() : Status::failure("no simulated engine");
}

std::vector<DiscDeviceInfo> SimulatedRecorder::devices() {
    std::vector<DiscDeviceInfo> result;
    for (const SimulatedDrive& d : drives) {
        result.push_back(d.info);
    }
    return result;
}

bool SimulatedRecorder::supports(const std::string& address, Capability capability) {
    SimulatedDrive* d = drive(address);
    return d && d->capabilities.count(capability);
}

MediaInfo SimulatedRecorder::media(const std::string& address) {
    SimulatedDrive* d = drive(address);
    return d ? d->media : MediaInfo{};
}

std::vector<WriteSpeed> SimulatedRecorder::writeSpeeds(const std::string& address) {
    SimulatedDrive* d = drive(address);
    return d ? d->speeds : std::vector<WriteSpeed>{};
}

Status SimulatedRecorder::eject(const std::string& address) {
    ejected.push_back(address);
    return Status::success();
}

Status SimulatedRecorder::closeTray(const std::string& address) {
    trayClosed.push_back(address);
    return Status::success();
}

Status SimulatedRecorder::write(const std::string& address, const DiscImage& image,
                                const WriteOptions& options, DiscEvents& events, const StopToken& stop) {
    ++writes;
    lastAddress = address;
    lastOptions = options;
    SimulatedDrive* d = drive(address);
    if (refuseStart || !d) {
        return Status::failure("the simulated drive refuses to start");
    }
    events.writeStatus(0, WriteStage::Preparing);
    auto fail = [&](EngineError error) {
        events.errorRaised(error);
        events.writeStatus(0, WriteStage::Failed);
        return Status::success();
    };
    for (const ImageItem& item : image.allItems()) {
        if (!item.isFolder && !std::filesystem::exists(item.sourcePath)) {
            EngineError e;
            e.type = ErrorType::SourceFile;
            e.description = "The file is no longer there.";
            e.file = {2, e.description, item.sourcePath};
            return fail(e);
        }
    }
    EngineError device;
    device.type = ErrorType::Device;
    if (d->media.type == MediaType::None || !d->media.writable) {
        device.device = {2, "No writable medium.", "simulated", 0};
        return fail(device);
    }
    if (image.imageSize() > d->media.freeBlocks * kBlockSize) {
        device.device = {3, "The image does not fit.", "Nothing was written.", 0};
        return fail(device);
    }
    for (int percent = 0; percent <= 100; percent += 25) {
        if (onWriteProgress) {
            onWriteProgress(percent);
        }
        if (stop.stopRequested()) {
            events.writeStatus(percent, WriteStage::Cancelled);
            return Status::success();
        }
        if (d->failWriteAtPercent >= 0 && percent >= d->failWriteAtPercent) {
            device.device = {4, "The write failed.", d->failureWords, 0};
            d->media.writable = false; // a half-written disc
            return fail(device);
        }
        events.writeStatus(percent, WriteStage::Writing);
    }
    events.writeStatus(100, WriteStage::ClosingTrack);
    events.writeStatus(100, WriteStage::LeadOut);
    if (!options.testWrite) {
        d->media.writable = false;
        d->media.erasable = d->media.rewritable;
        d->media.freeBlocks = 0;
    }
    if (options.autoVerify) {
        verify(address, image, events, stop);
    }
    events.writeStatus(100, WriteStage::Done);
    return Status::success();
}

VerifySummary SimulatedRecorder::verify(const std::string& address, const DiscImage& image,
                                        DiscEvents& events, const StopToken&) {
    VerifySummary summary;
    SimulatedDrive* d = drive(address);
    std::vector<ImageItem> files;
    for (const ImageItem& item : image.allItems()) {
        if (!item.isFolder) {
            files.push_back(item);
        }
    }
    summary.files = static_cast<int>(files.size());
    events.verifyStarted(summary.files);
    int counter = 0;
    for (const ImageItem& item : files) {
        const bool wrong = d && d->readsBackWrong.count(item.imagePath);
        summary.matched += wrong ? 0 : 1;
        events.verifyMismatch(item, wrong ? VerifyKind::ContentDiffers : VerifyKind::Matched, ++counter,
                              summary.files);
    }
    events.verifyFinished(summary.files, summary.matched);
    return summary;
}

Status SimulatedRecorder::erase(const std::string& address, bool quick, DiscEvents& events) {
    erases.push_back(quick);
    SimulatedDrive* d = drive(address);
    if (refuseStart || !d) {
        return Status::failure("the simulated drive refuses to erase");
    }
    events.eraseStatus(EraseStage::Started, 0);
    if (onErase) {
        onErase();
    }
    events.eraseStatus(EraseStage::Progress, 50);
    if (d->eraseFails) {
        events.deviceErrorRaised({5, "The disc could not be erased.", "Erase error (drive says so)", 7});
        events.eraseStatus(EraseStage::Failed, 50);
        return Status::success();
    }
    d->media.writable = true;
    d->media.erasable = false;
    d->media.freeBlocks = d->capacityBlocks;
    events.eraseStatus(EraseStage::Done, 100);
    return Status::success();
}

} // namespace qob::test
