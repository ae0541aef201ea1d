// The write of IsoBurnEngine: checks, the image, libburn's write job, then the read-back.
#include "disc/DiscReadBack.h"
#include "disc/IsoBurnEngine.h"
#include "disc/IsoImageBuild.h"
#include "disc/LibburnDrive.h"
#include "platform/DurableFile.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <set>
#include <string_view>
#include <thread>
#include <vector>

namespace qob::disc {
using namespace burn;
namespace fs = std::filesystem;

namespace {

// libburn's pieces of one write: disc, session, track and the fifo in front of the image.
struct BurnJob {
    burn_disc* disc = nullptr;
    burn_session* session = nullptr;
    burn_track* track = nullptr;
    burn_source* fifo = nullptr;
    burn_write_opts* options = nullptr;
    ~BurnJob() {
        if (options) {
            burn_write_opts_free(options);
        }
        if (fifo) {
            burn_source_free(fifo);
        }
        if (track) {
            burn_track_free(track);
        }
        if (session) {
            burn_session_free(session);
        }
        if (disc) {
            burn_disc_free(disc);
        }
    }
};

WriteStage stageOf(burn_drive_status status) {
    switch (status) {
    case BURN_DRIVE_WRITING_LEADIN:
    case BURN_DRIVE_WRITING_PREGAP:
        return WriteStage::LeadIn;
    case BURN_DRIVE_WRITING_LEADOUT:
        return WriteStage::LeadOut;
    case BURN_DRIVE_CLOSING_TRACK:
        return WriteStage::ClosingTrack;
    case BURN_DRIVE_CLOSING_SESSION:
        return WriteStage::UpdatingVolume;
    default:
        return WriteStage::Writing;
    }
}

template <typename Fail>
Status verifyAndEnd(const std::string& address, const DiscImage& image, const WriteOptions& options,
                    std::uint32_t startBlock, DiscEvents& events, const StopToken& stop, Fail& fail) {
    if (options.autoVerify) {
        std::string readError;
        GrabbedDrive readBack(address, readError);
        if (!readBack) {
            return fail(deviceError(1, "The written disc could not be opened to verify it.", readError));
        }
        const VerifySummary summary = readBackAndCompare(readBack, startBlock, image, events, stop);
        if (summary.status.cancelled) {
            events.writeStatus(100, WriteStage::Cancelled);
            return Status::success();
        }
    }
    events.writeStatus(100, WriteStage::Done);
    return Status::success();
}

// A whole image file takes the place of the earlier one, then is read back when asked.
template <typename Fail>
Status finishImageFile(const std::string& address, DurableReplace& file, const DiscImage& image,
                       const WriteOptions& options, std::uint32_t startBlock, DiscEvents& events,
                       const StopToken& stop, Fail& fail) {
    events.writeStatus(100, WriteStage::UpdatingVolume);
    if (Status s = file.commit(); !s) {
        EngineError e;
        e.type = ErrorType::OutputFile;
        e.description = s.message;
        e.file = {file.errorNumber(), s.message, stdioPath(address)};
        return fail(e);
    }
    return verifyAndEnd(address, image, options, startBlock, events, stop, fail);
}

} // namespace

Status IsoBurnEngine::write(const std::string& address, const DiscImage& image, const WriteOptions& options,
                            DiscEvents& events, const StopToken& stop) {
    if (Status s = initialize(); !s) {
        return s;
    }
    // An image file is written beside its final name and renamed into place when whole, so a
    // failed or cancelled write never leaves a truncated .iso where a good one was.
    std::string target = address;
    std::unique_ptr<DurableReplace> imageFile;
    if (isStdioAddress(address)) {
        const fs::path path = stdioPath(address);
        std::error_code ec;
        if (path.empty()) {
            return Status::failure("No image file was named.");
        }
        if (fs::is_directory(path, ec)) {
            return Status::failure(path.string() + " is a folder, not an image file.");
        }
        const fs::path folder = fs::absolute(path, ec).parent_path();
        if (!fs::is_directory(folder, ec)) {
            return Status::failure("The folder " + folder.string() + " does not exist.");
        }
        if (!fs::exists(path, ec) || fs::is_regular_file(path, ec)) {
            imageFile = std::make_unique<DurableReplace>(fs::absolute(path, ec),
                                                         "." + path.filename().string() + "-");
            if (!imageFile->ok()) {
                return imageFile->error();
            }
            target = "stdio:" + imageFile->tempPath().string();
        }
    } else if (address.empty()) {
        return Status::failure("No drive was named.");
    }

    // From here the write has started: every way out reports exactly one end.
    events.writeStatus(0, WriteStage::Preparing);
    auto fail = [&](const EngineError& error) {
        if (imageFile) {
            imageFile->abandon();
        }
        events.errorRaised(error);
        events.writeStatus(0, WriteStage::Failed);
        return Status::success();
    };
    auto cancelled = [&] {
        if (imageFile) {
            imageFile->abandon();
        }
        events.writeStatus(0, WriteStage::Cancelled);
        return Status::success();
    };

    // Every file must still be there and readable: a file that has gone since it was added stops
    // the write before anything is written; one that cannot be read is left out when the user
    // agrees to go on.
    std::set<std::string> leaveOut;
    for (const ImageItem& item : image.allItems()) {
        if (item.isFolder) {
            continue;
        }
        std::error_code ec;
        if (!fs::is_regular_file(item.sourcePath, ec)) {
            return fail(sourceError(
                ENOENT, "The file is no longer there: it was moved or deleted after it was added.",
                item.sourcePath));
        }
        std::ifstream probe(item.sourcePath, std::ios::binary);
        if (!probe) {
            const int err = errno;
            bool goOn = true;
            events.fileWarning({err, std::strerror(err), item.sourcePath}, goOn);
            if (!goOn) {
                return cancelled();
            }
            leaveOut.insert(item.imagePath);
        }
    }
    if (stop.stopRequested()) {
        return cancelled();
    }

    std::optional<GrabbedDrive> drive;
    std::string words;
    drive.emplace(target, words);
    if (!*drive) {
        return fail(deviceError(1, "The drive " + address + " could not be opened.", words));
    }
    const MediaInfo media = drive->media();
    if (media.type == MediaType::None) {
        return fail(deviceError(2, "No medium is loaded in " + address + ".", takeDiscMessages()));
    }
    if (!media.writable) {
        return fail(deviceError(2,
                                "The " + media.name + " in " + address + " is not writable" +
                                    (media.rewritable ? ": erase it first." : "."),
                                takeDiscMessages()));
    }

    BurnJob job;
    job.options = burn_write_opts_new(drive->drive());
    std::uint32_t startBlock = 0;
    const bool realDrive = drive->role() == 1;
    if (realDrive && burn_disc_get_status(drive->drive()) == BURN_DISC_APPENDABLE) {
        // A new session on an appendable disc starts after the earlier ones; its image must say so.
        int lba = 0;
        int nwa = 0;
        if (burn_disc_track_lba_nwa(drive->drive(), job.options, 0, &lba, &nwa) == 1 && nwa > 0) {
            startBlock = static_cast<std::uint32_t>(nwa);
        }
    }
    std::string error;
    // An image file gets the files' bytes straight from the files; a drive takes libisofs' blocks.
    const bool copiedHere = imageFile && !options.testWrite;
    std::unique_ptr<IsoImageBuild> iso = IsoImageBuild::create(
        image, options, leaveOut, startBlock, error, copiedHere ? FileReads::Direct : FileReads::Buffered);
    if (!iso) {
        EngineError e;
        e.type = ErrorType::Write;
        e.description = error;
        return fail(e);
    }
    const std::uint64_t freeBytes = media.freeBlocks * kBlockSize;
    if (iso->size() > freeBytes) {
        return fail(deviceError(3,
                                "The image needs " + megabytes(iso->size()) + " but the medium has only " +
                                    megabytes(freeBytes) + " free.",
                                "Nothing was written."));
    }

    if (copiedHere) {
        // An image file is written here, its files' bytes copied straight from the files:
        // libburn's image-file drive hands the blocks over 32 KiB at a time and reached 60 % of
        // cp's rate. The drive served to check the free space.
        drive.reset();
        Status copied = copyImageTo(*iso, *imageFile, events, stop);
        if (copied.cancelled) {
            return cancelled();
        }
        if (const FileError unread = iso->readFailure(); !unread.fileName.empty()) {
            // libisofs would have put zeros where the file's bytes should be: no image at all is
            // better than one that looks whole.
            return fail(sourceError(unread.code, unread.description, unread.fileName));
        }
        if (Status s = copied; !s) {
            EngineError e;
            e.type = ErrorType::OutputFile;
            e.description = s.message;
            e.file = {imageFile->errorNumber(), s.message, stdioPath(address)};
            return fail(e);
        }
        return finishImageFile(address, *imageFile, image, options, startBlock, events, stop, fail);
    }

    job.disc = burn_disc_create();
    job.session = burn_session_create();
    burn_disc_add_session(job.disc, job.session, BURN_POS_END);
    job.track = burn_track_create();
    burn_track_define_data(job.track, 0, 0, 1, BURN_MODE1);
    if (realDrive) {
        // 4 MiB between the image generator and the drive, against buffer underruns.
        job.fifo = burn_fifo_source_new(iso->source(), 2048, 2048, 0);
        burn_track_set_source(job.track, job.fifo);
    } else {
        // An image file takes the blocks as fast as they come: libburn's fifo hands them over 2 KiB
        // at a time and held a write to a tenth of cp's rate; libisofs' own ring buffer suffices.
        burn_track_set_source(job.track, iso->source());
    }
    burn_session_add_track(job.session, job.track, BURN_POS_END);

    burn_write_opts_set_perform_opc(job.options, 0);
    burn_write_opts_set_underrun_proof(job.options, options.bufferProtect ? 1 : 0);
    burn_write_opts_set_simulate(job.options, options.testWrite ? 1 : 0);
    if (realDrive) {
        burn_write_opts_set_multi(job.options, options.finalize ? 0 : 1);
    } else {
        // Not every 16 MiB, as libburn would: the whole file is flushed once before it is renamed
        // into place.
        burn_write_opts_set_stdio_fsync(job.options, -1);
    }
    char reasons[BURN_REASONS_LEN] = "";
    bool typeSet = false;
    if (options.writeMethod == kWriteMethodDiscAtOnce) {
        typeSet = burn_write_opts_set_write_type(job.options, BURN_WRITE_SAO, BURN_BLOCK_SAO) == 1 &&
                  burn_precheck_write(job.options, job.disc, reasons, 1) == 1;
    }
    if (!typeSet && burn_write_opts_auto_write_type(job.options, job.disc, reasons, 0) == BURN_WRITE_NONE) {
        return fail(deviceError(4, "The drive cannot write this medium this way.", reasons));
    }
    if (burn_precheck_write(job.options, job.disc, reasons, 0) != 1) {
        return fail(deviceError(4, "The drive refused the write.", reasons));
    }
    if (realDrive) {
        burn_drive_set_speed(drive->drive(), 0, options.writeSpeed);
    }

    takeDiscMessages();
    burn_disc_write(job.options, job.disc);
    bool cancelSent = false;
    int lastPercent = -1;
    WriteStage lastStage = WriteStage::Preparing;
    while (burn_drive_get_status(drive->drive(), nullptr) == BURN_DRIVE_SPAWNING) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    burn_progress progress{};
    for (burn_drive_status status;
         (status = burn_drive_get_status(drive->drive(), &progress)) != BURN_DRIVE_IDLE;) {
        if (stop.stopRequested() && !cancelSent) {
            burn_drive_cancel(drive->drive());
            cancelSent = true;
        }
        const WriteStage stage = stageOf(status);
        const int percent =
            progress.sectors > 0
                ? std::clamp(static_cast<int>(100LL * progress.sector / progress.sectors), 0, 100)
                : 0;
        if (stage != lastStage || percent != lastPercent) {
            lastStage = stage;
            lastPercent = percent;
            events.writeStatus(percent, stage);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    const bool wroteWell = burn_drive_wrote_well(drive->drive()) == 1;
    words = takeDiscMessages();
    drive.reset(); // let go of the file before it is renamed

    if (cancelSent || stop.stopRequested()) {
        return cancelled();
    }
    if (!wroteWell) {
        return fail(deviceError(4, "The write failed.", words));
    }
    if (const FileError unread = iso->readFailure(); !unread.fileName.empty()) {
        return fail(sourceError(unread.code, unread.description, unread.fileName));
    }
    if (options.testWrite) {
        if (imageFile) {
            imageFile->abandon(); // a test write puts nothing on the medium
        }
        events.writeStatus(100, WriteStage::Done);
        return Status::success();
    }
    if (imageFile) {
        return finishImageFile(address, *imageFile, image, options, startBlock, events, stop, fail);
    }
    return verifyAndEnd(address, image, options, startBlock, events, stop, fail);
}

} // namespace qob::disc
