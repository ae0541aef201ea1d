#include "disc/win32/Win32DiscEngine.h"

#include "disc/DiscAddress.h"
#include "disc/DiscReadBack.h"
#include "disc/IsoImageBuild.h"
#include "disc/win32/Imapi2Recorders.h"
#include "disc/win32/IsoLibraryWin32.h"
#include "platform/DurableFile.h"
#include "platform/win32/WideText.h"

#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>

namespace qob::disc {
namespace fs = std::filesystem;

namespace {

// The one libisofs start of this process's engines.
IsoLibrary& library() {
    static IsoLibrary instance;
    return instance;
}

// A path of the composed tree, read as the tree made it (std::filesystem's narrow form).
fs::path hostPath(const std::string& narrow) {
    return fs::path(narrow);
}

// The blocks of an image file, or of a disc by its raw volume, for libisofs to read back.
struct HandleSource {
    HANDLE handle = INVALID_HANDLE_VALUE;
};

int handleOpen(IsoDataSource*) {
    return 1;
}
int handleClose(IsoDataSource*) {
    return 1;
}
void handleFree(IsoDataSource* src) {
    auto* s = static_cast<HandleSource*>(src->data);
    if (s->handle != INVALID_HANDLE_VALUE) {
        CloseHandle(s->handle);
    }
    delete s;
}
int handleRead(IsoDataSource* src, uint32_t lba, uint8_t* buffer) {
    auto* s = static_cast<HandleSource*>(src->data);
    OVERLAPPED at{};
    const std::uint64_t offset = static_cast<std::uint64_t>(lba) * kBlockSize;
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD got = 0;
    if (!ReadFile(s->handle, buffer, static_cast<DWORD>(kBlockSize), &got, &at) || got != kBlockSize) {
        return ISO_DATA_SOURCE_MISHAP;
    }
    return 1;
}

// Reads the medium behind `path` (an image file, "\\.\D:") back and compares it with the tree.
VerifySummary readBack(const std::wstring& path, const DiscImage& image, DiscEvents& events,
                       const StopToken& stop) {
    const HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        VerifySummary summary;
        const std::string why = win32::errorText(GetLastError());
        summary.status = Status::failure("The disc could not be read back: " + why);
        // Every file still gets its answer, as when the disc cannot be read at all.
        std::vector<ImageItem> files;
        for (const ImageItem& item : image.allItems()) {
            if (!item.isFolder) {
                files.push_back(item);
            }
        }
        events.verifyStarted(static_cast<int>(files.size()));
        int counter = 0;
        for (const ImageItem& item : files) {
            events.verifyMismatch(item, VerifyKind::DiscUnreadable, ++counter,
                                  static_cast<int>(files.size()));
        }
        summary.files = static_cast<int>(files.size());
        events.verifyFinished(summary.files, 0);
        return summary;
    }
    // libisofs releases a data source with free() once its last reference goes.
    auto* source = static_cast<IsoDataSource*>(std::calloc(1, sizeof(IsoDataSource)));
    if (source == nullptr) {
        CloseHandle(h);
        VerifySummary summary;
        summary.status = Status::failure("The disc could not be read back: out of memory");
        return summary;
    }
    source->refcount = 1;
    source->open = handleOpen;
    source->close = handleClose;
    source->read_block = handleRead;
    source->free_data = handleFree;
    source->data = new HandleSource{h};
    VerifySummary summary = readBackAndCompare(source, 0, image, events, stop);
    iso_data_source_unref(source);
    return summary;
}

} // namespace

Win32DiscEngine::Win32DiscEngine() = default;
Win32DiscEngine::~Win32DiscEngine() = default;

Status Win32DiscEngine::initialize() {
    if (!libraryStarted_) {
        libraryStarted_ = true;
        libraryOk_ = library().ok();
        recorders_ = std::make_unique<Imapi2Recorders>();
    }
    if (!libraryOk_) {
        return Status::failure("libisofs could not be started.");
    }
    return Status::success();
}

std::string Win32DiscEngine::recorderProblem() const {
    return recorders_ ? recorders_->problem() : std::string();
}

std::vector<DiscDeviceInfo> Win32DiscEngine::devices() {
    std::vector<DiscDeviceInfo> result;
    if (initialize()) {
        result = recorders_->devices();
    }
    DiscDeviceInfo image;
    image.address = "stdio:";
    image.description = kWin32ImageFileDeviceName;
    image.isRecorder = true;
    image.isImageFile = true;
    result.push_back(image);
    return result;
}

bool Win32DiscEngine::supports(const std::string& address, Capability capability) {
    if (!initialize() || isStdioAddress(address)) {
        return false;
    }
    if (capability == Capability::BufferProtection) {
        return recorders_->isRecorder(address);
    }
    return erasesAs(recorders_->profiles(address), capability);
}

MediaInfo Win32DiscEngine::media(const std::string& address) {
    if (!initialize() || address.empty() || address == "stdio:") {
        return {};
    }
    if (!isStdioAddress(address)) {
        return recorders_->media(address);
    }
    // An image file: as much room as its folder's disk has.
    MediaInfo info;
    const fs::path path = hostPath(stdioPath(address));
    std::error_code ec;
    const fs::path folder = fs::absolute(path, ec).parent_path();
    ULARGE_INTEGER free{};
    if (!fs::is_directory(folder, ec) || fs::is_directory(path, ec) ||
        !GetDiskFreeSpaceExW(folder.c_str(), &free, nullptr, nullptr)) {
        return info;
    }
    info.type = MediaType::ImageFile;
    info.name = "stdio file";
    info.writable = true;
    std::uint64_t room = free.QuadPart;
    if (fs::is_regular_file(path, ec)) {
        room += fs::file_size(path, ec); // an earlier image is replaced
    }
    info.freeBlocks = room / kBlockSize;
    return info;
}

std::vector<WriteSpeed> Win32DiscEngine::writeSpeeds(const std::string&) {
    // IMAPI2 chooses the fastest speed the medium allows; none is offered to choose.
    return {};
}

Status Win32DiscEngine::eject(const std::string& address) {
    if (isStdioAddress(address)) {
        return Status::success(); // a file has no tray
    }
    if (Status s = initialize(); !s) {
        return s;
    }
    return recorders_->eject(address);
}

Status Win32DiscEngine::closeTray(const std::string& address) {
    if (isStdioAddress(address)) {
        return Status::success();
    }
    if (Status s = initialize(); !s) {
        return s;
    }
    return recorders_->closeTray(address);
}

Status Win32DiscEngine::write(const std::string& address, const DiscImage& image, const WriteOptions& options,
                              DiscEvents& events, const StopToken& stop) {
    if (Status s = initialize(); !s) {
        return s;
    }
    if (address.empty()) {
        return Status::failure("No drive was named.");
    }
    if (isStdioAddress(address)) {
        return writeImageFile(address, image, options, events, stop);
    }
    if (!recorderProblem().empty()) {
        return Status::failure(std::string(kDevicesCannotBeInitialized) + " " + recorderProblem());
    }
    return writeRecorder(address, image, options, events, stop);
}

namespace {

// Every file must still be there and readable: one gone since it was added stops the write; one
// that cannot be read is left out when the user agrees to go on. False: stop (the reason is set).
bool checkSources(const DiscImage& image, DiscEvents& events, std::set<std::string>& leaveOut,
                  std::optional<EngineError>& failure) {
    for (const ImageItem& item : image.allItems()) {
        if (item.isFolder) {
            continue;
        }
        std::error_code ec;
        const fs::path path = hostPath(item.sourcePath);
        if (!fs::is_regular_file(path, ec)) {
            failure = sourceError(ENOENT,
                                  "The file is no longer there: it was moved or deleted after it was added.",
                                  item.sourcePath);
            return false;
        }
        std::ifstream probe(path, std::ios::binary);
        if (!probe) {
            const int err = errno ? errno : EACCES;
            bool goOn = true;
            events.fileWarning({err, std::strerror(err), item.sourcePath}, goOn);
            if (!goOn) {
                return false;
            }
            leaveOut.insert(item.imagePath);
        }
    }
    return true;
}

} // namespace

Status Win32DiscEngine::writeImageFile(const std::string& address, const DiscImage& image,
                                       const WriteOptions& options, DiscEvents& events,
                                       const StopToken& stop) {
    // Written beside its final name and renamed into place when whole, so a failed or cancelled
    // write never leaves a truncated .iso where a good one was.
    const fs::path path = hostPath(stdioPath(address));
    std::error_code ec;
    if (path.empty()) {
        return Status::failure("No image file was named.");
    }
    if (fs::is_directory(path, ec)) {
        return Status::failure(stdioPath(address) + " is a folder, not an image file.");
    }
    const fs::path target = fs::absolute(path, ec);
    if (!fs::is_directory(target.parent_path(), ec)) {
        return Status::failure("The folder " + win32::narrow(target.parent_path().wstring()) +
                               " does not exist.");
    }
    if (fs::exists(path, ec) && !fs::is_regular_file(path, ec)) {
        return Status::failure(stdioPath(address) + " is not a regular file.");
    }
    DurableReplace file(target, "." + win32::narrow(path.filename().wstring()) + "-");
    if (!file.ok()) {
        return file.error();
    }

    // From here the write has started: every way out reports exactly one end.
    events.writeStatus(0, WriteStage::Preparing);
    auto fail = [&](const EngineError& error) {
        file.abandon();
        events.errorRaised(error);
        events.writeStatus(0, WriteStage::Failed);
        return Status::success();
    };
    auto cancelled = [&] {
        file.abandon();
        events.writeStatus(0, WriteStage::Cancelled);
        return Status::success();
    };
    std::set<std::string> leaveOut;
    std::optional<EngineError> failure;
    if (!checkSources(image, events, leaveOut, failure)) {
        return failure ? fail(*failure) : cancelled();
    }
    if (stop.stopRequested()) {
        return cancelled();
    }
    std::string error;
    std::unique_ptr<IsoImageBuild> iso =
        IsoImageBuild::create(image, options, leaveOut, 0, error, FileReads::Direct);
    if (!iso) {
        EngineError e;
        e.description = error;
        return fail(e);
    }
    const MediaInfo room = media(address);
    const std::uint64_t freeBytes = room.freeBlocks * kBlockSize;
    if (iso->size() > freeBytes) {
        return fail(deviceError(3,
                                "The image needs " + megabytes(iso->size()) + " but the disk has only " +
                                    megabytes(freeBytes) + " free.",
                                "Nothing was written."));
    }
    if (options.testWrite) {
        // A test write of an image file goes through the motions and keeps nothing.
        file.abandon();
        events.writeStatus(100, WriteStage::Done);
        return Status::success();
    }
    Status copied = copyImageTo(*iso, file, events, stop);
    if (copied.cancelled) {
        return cancelled();
    }
    if (const FileError unread = iso->readFailure(); !unread.fileName.empty()) {
        // libisofs put zeros where the file's bytes should be: no image is better than one that
        // looks whole.
        return fail(sourceError(unread.code, unread.description, unread.fileName));
    }
    if (!copied) {
        return fail(outputError(file.errorNumber(), copied.message, stdioPath(address)));
    }
    events.writeStatus(100, WriteStage::UpdatingVolume);
    if (Status s = file.commit(); !s) {
        return fail(outputError(file.errorNumber(), s.message, stdioPath(address)));
    }
    if (options.autoVerify) {
        const VerifySummary summary = readBack(target.wstring(), image, events, stop);
        if (summary.status.cancelled) {
            events.writeStatus(100, WriteStage::Cancelled);
            return Status::success();
        }
    }
    events.writeStatus(100, WriteStage::Done);
    return Status::success();
}

Status Win32DiscEngine::writeRecorder(const std::string& address, const DiscImage& image,
                                      const WriteOptions& options, DiscEvents& events,
                                      const StopToken& stop) {
    events.writeStatus(0, WriteStage::Preparing);
    fs::path scratch;
    auto removeScratch = [&] {
        std::error_code ec;
        if (!scratch.empty()) {
            fs::remove(scratch, ec);
        }
    };
    auto fail = [&](const EngineError& error) {
        removeScratch();
        events.errorRaised(error);
        events.writeStatus(0, WriteStage::Failed);
        return Status::success();
    };
    auto cancelled = [&] {
        removeScratch();
        events.writeStatus(0, WriteStage::Cancelled);
        return Status::success();
    };
    const MediaInfo medium = recorders_->media(address);
    if (medium.type == MediaType::None) {
        return fail(deviceError(2, "No medium is loaded in " + address + ".", ""));
    }
    if (!medium.writable) {
        return fail(deviceError(2,
                                "The " + medium.name + " in " + address + " is not writable" +
                                    (medium.rewritable ? ": erase it first." : "."),
                                ""));
    }
    if (options.testWrite) {
        // IMAPI2 writes data discs for real or not at all: no test write is pretended.
        return fail(deviceError(4, "A test write is not possible with Windows' disc recording.",
                                "Untick the test write to write the disc."));
    }
    std::set<std::string> leaveOut;
    std::optional<EngineError> failure;
    if (!checkSources(image, events, leaveOut, failure)) {
        return failure ? fail(*failure) : cancelled();
    }
    const std::uint32_t startBlock = recorders_->nextWritableBlock(address);
    std::string error;
    std::unique_ptr<IsoImageBuild> iso =
        IsoImageBuild::create(image, options, leaveOut, startBlock, error, FileReads::Direct);
    if (!iso) {
        EngineError e;
        e.description = error;
        return fail(e);
    }
    if (iso->size() > medium.freeBlocks * kBlockSize) {
        return fail(deviceError(3,
                                "The image needs " + megabytes(iso->size()) + " but the medium has only " +
                                    megabytes(medium.freeBlocks * kBlockSize) + " free.",
                                "Nothing was written."));
    }
    // IMAPI2 takes the image as a stream it reads at its own pace: it is made in a scratch file.
    wchar_t tempFolder[MAX_PATH + 1];
    const DWORD n = GetTempPathW(MAX_PATH + 1, tempFolder);
    const fs::path scratchFolder = n > 0 && n <= MAX_PATH ? fs::path(tempFolder) : fs::temp_directory_path();
    const fs::path scratchPath =
        scratchFolder / ("qob-disc-" + std::to_string(GetCurrentProcessId()) + ".iso");
    DurableReplace file(scratchPath, ".qob-disc-");
    if (!file.ok()) {
        return fail(
            outputError(file.errorNumber(), file.error().message, win32::narrow(scratchFolder.wstring())));
    }
    Status copied = copyImageTo(*iso, file, events, stop);
    if (copied.cancelled) {
        file.abandon();
        return cancelled();
    }
    if (const FileError unread = iso->readFailure(); !unread.fileName.empty()) {
        file.abandon();
        return fail(sourceError(unread.code, unread.description, unread.fileName));
    }
    if (!copied || !(copied = file.commit())) {
        file.abandon();
        return fail(outputError(file.errorNumber(), copied.message, win32::narrow(scratchFolder.wstring())));
    }
    scratch = scratchPath;
    if (stop.stopRequested()) {
        return cancelled();
    }
    // IMAPI2's write runs to its end once started; it reports no progress through automation.
    events.writeStatus(0, WriteStage::Writing);
    if (Status s = recorders_->writeImage(address, scratch, options.finalize); !s) {
        return fail(deviceError(4, "The write failed.", s.message));
    }
    removeScratch();
    events.writeStatus(100, WriteStage::ClosingTrack);
    if (options.autoVerify) {
        const std::string volume = recorders_->rawVolume(address);
        const VerifySummary summary = readBack(win32::widen(volume), image, events, stop);
        if (summary.status.cancelled) {
            events.writeStatus(100, WriteStage::Cancelled);
            return Status::success();
        }
    }
    events.writeStatus(100, WriteStage::Done);
    return Status::success();
}

VerifySummary Win32DiscEngine::verify(const std::string& address, const DiscImage& image, DiscEvents& events,
                                      const StopToken& stop) {
    if (Status s = initialize(); !s) {
        VerifySummary summary;
        summary.status = s;
        return summary;
    }
    if (isStdioAddress(address)) {
        return readBack(hostPath(stdioPath(address)).wstring(), image, events, stop);
    }
    return readBack(win32::widen(recorders_->rawVolume(address)), image, events, stop);
}

Status Win32DiscEngine::erase(const std::string& address, bool quick, DiscEvents& events) {
    if (Status s = initialize(); !s) {
        return s;
    }
    if (isStdioAddress(address)) {
        return Status::failure("An image file cannot be erased.");
    }
    if (!recorderProblem().empty()) {
        return Status::failure(std::string(kDevicesCannotBeInitialized) + " " + recorderProblem());
    }
    const MediaInfo medium = recorders_->media(address);
    if (!medium.rewritable) {
        return Status::failure(medium.type == MediaType::None
                                   ? "No medium is loaded in " + address + "."
                                   : "The " + medium.name + " in " + address + " cannot be erased.");
    }
    events.eraseStatus(EraseStage::Started, 0);
    // IMAPI2's erase runs to its end once started and reports nothing on the way.
    if (Status s = recorders_->erase(address, quick); !s) {
        DeviceError error;
        error.code = 4;
        error.description = "The erase failed.";
        error.detailText = s.message;
        events.deviceErrorRaised(error);
        events.eraseStatus(EraseStage::Failed, 0);
        return Status::success();
    }
    events.eraseStatus(EraseStage::Done, 100);
    return Status::success();
}

} // namespace qob::disc
