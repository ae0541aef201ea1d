// qob disc drives | image | write | verify | erase: the disc engine without the window. Drives are
// named as libburn names them: /dev/sr0, or stdio:PATH for an image file.
#include "app/cli/Cli.h"
#include "app/cli/Interrupt.h"
#include "app/cli/ProgressLine.h"
#ifdef _WIN32
#include "disc/win32/Win32DiscEngine.h"
#else
#include "disc/IsoBurnEngine.h"
#endif
#include "forms/DiscText.h"

#include <filesystem>
#include <ostream>

namespace qob::cli {
namespace {
namespace fs = std::filesystem;
using namespace qob::disc;
#ifdef _WIN32
using Engine = Win32DiscEngine;
#else
using Engine = IsoBurnEngine;
#endif

// No one is there to answer: a second file of the same name is refused, not silently replaced.
class CommandImageEvents : public ImageEvents {
public:
    bool replaceFile(const ImageItem& existing, const std::string& newSource) override {
        clash = existing.imagePath + " is named twice (" + existing.sourcePath + " and " + newSource + ")";
        return false;
    }
    std::string clash;
};

// FILES… as the image's top level: each file under its name, each folder with all it holds.
bool compose(const Args& args, std::size_t first, DiscImage& image, std::ostream& err) {
    CommandImageEvents events;
    image.setEvents(&events);
    bool ok = true;
    for (std::size_t i = first; i < args.positional.size() && ok; ++i) {
        const fs::path path(args.positional[i]);
        std::error_code ec;
        std::string name = imageNameFor(fs::absolute(path, ec).lexically_normal().filename().string());
        if (name.empty()) {
            name = imageNameFor(fs::absolute(path, ec).lexically_normal().parent_path().filename().string());
        }
        const std::string imagePath = "\\" + name;
        if (fs::is_directory(path, ec)) {
            if (!image.addFolder(path.string(), imagePath)) {
                err << "qob: "
                    << (events.clash.empty() ? path.string() + ": not every file could be added"
                                             : events.clash)
                    << "\n";
                ok = false;
            }
        } else if (!fs::is_regular_file(path, ec)) {
            err << "qob: " << path.string() << ": no such file or folder\n";
            ok = false;
        } else if (!image.addFile(path.string(), imagePath)) {
            err << "qob: " << (events.clash.empty() ? path.string() + ": could not be added" : events.clash)
                << "\n";
            ok = false;
        }
    }
    image.setEvents(nullptr);
    return ok;
}

// The engine's events as a progress line and, at the end, what to say.
class CommandDiscEvents : public DiscEvents {
public:
    CommandDiscEvents(ProgressLine& line, std::ostream& err, std::uint64_t bytes)
        : line_(line), err_(err), bytes_(bytes) {}

    void writeStatus(int percent, WriteStage stage) override {
        if (stage == WriteStage::Writing) {
            if (!writing_) {
                writing_ = true;
                line_.phaseStarted(JobPhase::Writing);
            }
            line_.progress(
                {JobPhase::Writing, "", bytes_ * static_cast<std::uint64_t>(percent) / 100, bytes_});
        }
        if (stage == WriteStage::Done || stage == WriteStage::Cancelled || stage == WriteStage::Failed) {
            end = stage;
            line_.endLine();
        }
    }
    void fileWarning(const FileError& error, bool& goOn) override {
        line_.endLine();
        err_ << "qob: warning: " << error.fileName << ": " << error.description << " (left out)\n";
        goOn = true;
    }
    void errorRaised(const EngineError& error) override {
        line_.endLine();
        err_ << "qob: " << discErrorText(error) << "\n";
    }
    void verifyStarted(int files) override {
        line_.phaseStarted(JobPhase::Checking);
        total_ = files;
    }
    void verifyMismatch(const ImageItem& item, VerifyKind kind, int counter, int) override {
        line_.progress({JobPhase::Checking, item.imagePath, static_cast<std::uint64_t>(counter),
                        static_cast<std::uint64_t>(total_)});
        const char* why = nullptr;
        switch (kind) {
        case VerifyKind::SourceUnreadable:
            why = "the source file could not be read";
            break;
        case VerifyKind::DiscUnreadable:
            why = "missing or unreadable on the disc";
            break;
        case VerifyKind::ContentDiffers:
            why = "the contents differ";
            break;
        case VerifyKind::SizeDiffers:
            why = "the sizes differ";
            break;
        case VerifyKind::Matched:
            break;
        }
        if (why) {
            line_.endLine();
            err_ << "qob: verify: " << item.imagePath << " (disc), " << item.sourcePath
                 << " (source): " << why << "\n";
        }
    }
    void verifyFinished(int files, int matched) override {
        line_.endLine();
        verified = true;
        verifiedFiles = files;
        verifiedMatched = matched;
    }
    void eraseStatus(EraseStage stage, int percent) override {
        if (stage == EraseStage::Started) {
            line_.phaseStarted(JobPhase::Writing);
        } else if (stage == EraseStage::Progress) {
            line_.progress({JobPhase::Writing, "", static_cast<std::uint64_t>(percent), 100});
        } else {
            erased = stage == EraseStage::Done;
            line_.endLine();
        }
    }
    void deviceErrorRaised(const DeviceError& error) override {
        line_.endLine();
        err_ << "qob: " << error.description << "\n" << error.detailText << "\n";
    }

    WriteStage end = WriteStage::Preparing;
    bool verified = false;
    int verifiedFiles = 0;
    int verifiedMatched = 0;
    bool erased = false;

private:
    ProgressLine& line_;
    std::ostream& err_;
    std::uint64_t bytes_;
    bool writing_ = false;
    int total_ = 0;
};

int engineOrReport(Engine& engine, std::ostream& err) {
    if (Status s = engine.initialize(); !s) {
        err << "qob: " << s.message << "\n";
        return 1;
    }
    return 0;
}

int writeImage(const Args& args, const std::string& address, std::size_t first, const std::string& usage,
               std::ostream& out, std::ostream& err) {
    if (args.positional.size() <= first || address.empty()) {
        err << "usage: qob " << usage << "\n";
        return 2;
    }
    DiscImage image;
    if (!compose(args, first, image, err)) {
        return 2;
    }
    WriteOptions options;
    options.volumeIdentifier = args.get("--volume-id", "Outlook Data Backup CD");
    options.autoVerify = args.has("--verify");
    options.testWrite = args.has("--test");
    options.finalize = args.has("--finalize");
    options.writeMethod = args.has("--dao") ? kWriteMethodDiscAtOnce : kWriteMethodTrackAtOnce;
    Engine engine;
    if (int rc = engineOrReport(engine, err); rc != 0) {
        return rc;
    }
    StopToken stop;
    InterruptScope interrupt(stop);
    ProgressLine line(err, args.has("--quiet") ? -1 : args.console.errFd);
    CommandDiscEvents events(line, err, image.imageSize());
    if (Status s = engine.write(address, image, options, events, stop); !s) {
        err << "qob: " << s.message << "\n";
        return 1;
    }
    if (events.end == WriteStage::Cancelled) {
        err << "qob: the write was cancelled\n";
        return interrupt.signal() ? interrupt.exitCode() : 1;
    }
    if (events.end != WriteStage::Done) {
        return 1;
    }
    const bool allMatch = !events.verified || events.verifiedMatched == events.verifiedFiles;
    if (args.has("--quiet")) {
        return allMatch ? 0 : 1; // no summary: the exit code says it
    }
    out << address << ": " << image.fileCount() << " files, " << image.folderCount() << " folders written"
        << (options.testWrite ? " (test write: nothing was recorded)" : "") << "\n";
    if (events.verified) {
        out << "verified: " << events.verifiedMatched << " of " << events.verifiedFiles << " files match\n";
    }
    return allMatch ? 0 : 1;
}

int discDrives(const Args& args, std::ostream& out, std::ostream& err) {
    Engine engine;
    if (int rc = engineOrReport(engine, err); rc != 0) {
        return rc;
    }
    (void)args;
#ifdef _WIN32
    // The image file is written without IMAPI2; say why no recorder is listed.
    if (const std::string why = engine.recorderProblem(); !why.empty()) {
        err << "qob: no recorder can be used: " << why << "\n";
    }
#endif
    for (const DiscDeviceInfo& device : engine.devices()) {
        if (device.isImageFile) {
            out << "stdio:PATH\t" << device.description << "\n";
            continue;
        }
        const MediaInfo media = engine.media(device.address);
        out << device.address << "\t" << device.description << (device.isRecorder ? "" : " (reads only)")
            << "\t"
            << (media.type == MediaType::None
                    ? std::string("no medium")
                    : media.name + (media.writable ? ", writable, " : ", ") +
                          formatMegabytes(static_cast<double>(media.freeBlocks * kBlockSize)) + " free")
            << "\n";
    }
    return 0;
}

int discImage(const Args& args, std::ostream& out, std::ostream& err) {
    const std::string usage = "disc image [--volume-id NAME] [--verify] OUT.iso FILES...";
    if (args.positional.empty()) {
        err << "usage: qob " << usage << "\n";
        return 2;
    }
    return writeImage(args, "stdio:" + args.positional[0], 1, usage, out, err);
}

int discWrite(const Args& args, std::ostream& out, std::ostream& err) {
    return writeImage(
        args, args.get("--drive"), 0,
        "disc write --drive ADDR [--volume-id NAME] [--verify] [--test] [--finalize] [--dao] FILES...", out,
        err);
}

int discVerify(const Args& args, std::ostream& out, std::ostream& err) {
    const std::string address = args.get("--drive");
    if (args.positional.empty() || address.empty()) {
        err << "usage: qob disc verify --drive ADDR FILES...\n";
        return 2;
    }
    DiscImage image;
    if (!compose(args, 0, image, err)) {
        return 2;
    }
    Engine engine;
    if (int rc = engineOrReport(engine, err); rc != 0) {
        return rc;
    }
    StopToken stop;
    InterruptScope interrupt(stop);
    ProgressLine line(err, args.has("--quiet") ? -1 : args.console.errFd);
    CommandDiscEvents events(line, err, image.imageSize());
    const VerifySummary summary = engine.verify(address, image, events, stop);
    if (!summary.status) {
        err << "qob: " << summary.status.message << "\n";
        return summary.status.cancelled && interrupt.signal() ? interrupt.exitCode() : 1;
    }
    if (!args.has("--quiet")) {
        out << address << ": " << summary.matched << " of " << summary.files << " files match\n";
    }
    return summary.matched == summary.files ? 0 : 1;
}

int discErase(const Args& args, std::ostream& out, std::ostream& err) {
    const std::string address = args.get("--drive");
    if (address.empty() || !args.positional.empty()) {
        err << "usage: qob disc erase --drive ADDR [--full]\n";
        return 2;
    }
    Engine engine;
    if (int rc = engineOrReport(engine, err); rc != 0) {
        return rc;
    }
    ProgressLine line(err, args.has("--quiet") ? -1 : args.console.errFd);
    CommandDiscEvents events(line, err, 0);
    if (Status s = engine.erase(address, !args.has("--full"), events); !s) {
        err << "qob: " << s.message << "\n";
        return 1;
    }
    if (!events.erased) {
        return 1;
    }
    if (!args.has("--quiet")) {
        out << address << ": erased\n";
    }
    return 0;
}

const CommandRegistration drivesCommand{
    {.name = "disc drives",
     .usage = "disc drives              the disc drives, what each holds, and the image-file drive",
     .valueOptions = {},
     .run = discDrives,
     .arguments = {}}};
const CommandRegistration imageCommand{
    {.name = "disc image",
     .usage = "disc image [--volume-id NAME] [--verify] OUT.iso FILES...   an ISO image of the files",
     .valueOptions = {"--volume-id"},
     .run = discImage,
     .flags = {"--verify"},
     .arguments = {"OUT.iso", "FILES..."}}};
const CommandRegistration writeCommand{{.name = "disc write",
                                        .usage =
                                            "disc write --drive ADDR [--volume-id NAME] [--verify] [--test] "
                                            "[--finalize] [--dao] FILES...   write a disc",
                                        .valueOptions = {"--drive", "--volume-id"},
                                        .run = discWrite,
                                        .flags = {"--verify", "--test", "--finalize", "--dao"},
                                        .arguments = {"FILES..."},
                                        .required = {"--drive"}}};
const CommandRegistration verifyCommand{
    {.name = "disc verify",
     .usage = "disc verify --drive ADDR FILES...   compare the disc with the files",
     .valueOptions = {"--drive"},
     .run = discVerify,
     .arguments = {"FILES..."},
     .required = {"--drive"}}};
const CommandRegistration eraseCommand{
    {.name = "disc erase",
     .usage = "disc erase --drive ADDR [--full]   erase a rewritable disc (quick unless --full)",
     .valueOptions = {"--drive"},
     .run = discErase,
     .flags = {"--full"},
     .arguments = {},
     .required = {"--drive"}}};

} // namespace
} // namespace qob::cli
