#pragma once
// What the disc windows and `qob disc` ask of a disc engine: the drives, the medium in each, the
// drive's speeds and capabilities, and the three long runs: write (with verification), verify and
// erase. The long runs are plain calls that return when the run has ended; whoever wants to stay
// responsive (the window) calls them on a worker thread and marshals the DiscEvents to its own
// thread, exactly as it does for a backup job. A run reports through DiscEvents on the calling
// thread and checks the StopToken between blocks.
//
// Promise of every implementation: a write that starts (write() returns ok) reports exactly one
// of WriteStage::Done, Cancelled or Failed, last; an erase that starts reports exactly one of
// EraseStage::Done or Failed, last. Failed is preceded by an error report carrying the drive's own
// words.
#include "disc/DiscImage.h"
#include "disc/DiscTypes.h"
#include "platform/Job.h"
#include "platform/Status.h"

#include <string>
#include <vector>

namespace qob::disc {

class DiscEvents {
public:
    virtual ~DiscEvents() = default;
    virtual void writeStatus(int percent, WriteStage stage) {
        (void)percent;
        (void)stage;
    }
    // A source file could not be read as it should: the write goes on when `goOn` stays true.
    virtual void fileWarning(const FileError& error, bool& goOn) {
        (void)error;
        goOn = true;
    }
    virtual void errorRaised(const EngineError& error) { (void)error; }
    virtual void verifyStarted(int files) { (void)files; }
    virtual void verifyMismatch(const ImageItem& item, VerifyKind kind, int counter, int total) {
        (void)item;
        (void)kind;
        (void)counter;
        (void)total;
    }
    // `files` compared in all, `matched` of them equal.
    virtual void verifyFinished(int files, int matched) {
        (void)files;
        (void)matched;
    }
    virtual void eraseStatus(EraseStage stage, int percent) {
        (void)stage;
        (void)percent;
    }
    virtual void deviceErrorRaised(const DeviceError& error) { (void)error; }
};

struct VerifySummary {
    int files = 0;
    int matched = 0;
    Status status; // not ok when the medium could not be read at all, or on a cancel
};

class DiscEngine {
public:
    virtual ~DiscEngine() = default;

    // Prepares the engine; not ok (with the reason) when it cannot work at all.
    virtual Status initialize() = 0;
    // The drives found, recorders or not, and the image-file "drive" last.
    virtual std::vector<DiscDeviceInfo> devices() = 0;
    // Why no recorder can be used though the engine works ("" when nothing stands in their way):
    // the image file can still be written, and the disc window says why no drive is listed.
    virtual std::string recorderProblem() const { return {}; }
    virtual bool supports(const std::string& address, Capability capability) = 0;
    // Reads the medium anew.
    virtual MediaInfo media(const std::string& address) = 0;
    // The write speeds the drive offers for the loaded medium, fastest first; none when it names none.
    virtual std::vector<WriteSpeed> writeSpeeds(const std::string& address) = 0;
    virtual Status eject(const std::string& address) = 0;
    virtual Status closeTray(const std::string& address) = 0;

    // Writes `image` to the medium at `address` (for the image-file drive: "stdio:" + the file's
    // path), then, with options.autoVerify, reads it back and compares every file. Not ok, with the
    // reason, when the write could not start at all (then nothing was reported).
    virtual Status write(const std::string& address, const DiscImage& image, const WriteOptions& options,
                         DiscEvents& events, const StopToken& stop) = 0;
    // Reads the medium and compares every file of `image` with its source.
    virtual VerifySummary verify(const std::string& address, const DiscImage& image, DiscEvents& events,
                                 const StopToken& stop) = 0;
    // Erases a rewritable medium (quick: the table of contents only). Not ok, with the reason, when
    // the erase could not start (then nothing was reported). An erase cannot be cancelled.
    virtual Status erase(const std::string& address, bool quick, DiscEvents& events) = 0;
};

} // namespace qob::disc
