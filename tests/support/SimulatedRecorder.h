#pragma once
// A disc engine with recorders that do not exist: each simulated drive has a medium (kind,
// rewritable or not, capacity, blank or full), speeds and capabilities, and can be told to fail
// part-way through a write or an erase, or to read a file back wrong. Writes and erases report the
// same stages, in the same order, as the real engine, so the disc windows can be tested for drives
// CI does not have.
#include "disc/DiscEngine.h"

#include <functional>
#include <set>
#include <string>
#include <vector>

namespace qob::test {

struct SimulatedDrive {
    disc::DiscDeviceInfo info;
    disc::MediaInfo media;
    std::uint64_t capacityBlocks = 0; // what a blank medium offers
    std::set<disc::Capability> capabilities;
    std::vector<disc::WriteSpeed> speeds;
    int failWriteAtPercent = -1; // the drive reports an error at this point of the write
    std::string failureWords = "Write error: 3 0C 00 (drive says so)";
    bool eraseFails = false;
    std::set<std::string> readsBackWrong; // image paths whose copy on the disc differs
};

// A drive with a loaded medium of `type`, `capacityBlocks` blocks, blank and writable.
SimulatedDrive simulatedDrive(const std::string& address, disc::MediaType type, bool rewritable,
                              std::uint64_t capacityBlocks);

class SimulatedRecorder : public disc::DiscEngine {
public:
    bool initializes = true;
    bool refuseStart = false;      // write() and erase() do not start
    std::string recordersUnusable; // why no recorder can be used ("": they can)
    std::vector<SimulatedDrive> drives;

    // What the engine was asked.
    int writes = 0;
    std::string lastAddress;
    disc::WriteOptions lastOptions;
    std::vector<bool> erases; // quick flags
    std::vector<std::string> ejected, trayClosed;
    // Called at each step of a write with its percent (a test may request a stop from here).
    std::function<void(int percent)> onWriteProgress;
    // Called once an erase has started (a test may hold it there).
    std::function<void()> onErase;

    SimulatedDrive* drive(const std::string& address);

    Status initialize() override;
    std::vector<disc::DiscDeviceInfo> devices() override;
    std::string recorderProblem() const override { return recordersUnusable; }
    bool supports(const std::string& address, disc::Capability capability) override;
    disc::MediaInfo media(const std::string& address) override;
    std::vector<disc::WriteSpeed> writeSpeeds(const std::string& address) override;
    Status eject(const std::string& address) override;
    Status closeTray(const std::string& address) override;
    Status write(const std::string& address, const disc::DiscImage& image, const disc::WriteOptions& options,
                 disc::DiscEvents& events, const StopToken& stop) override;
    disc::VerifySummary verify(const std::string& address, const disc::DiscImage& image,
                               disc::DiscEvents& events, const StopToken& stop) override;
    Status erase(const std::string& address, bool quick, disc::DiscEvents& events) override;
};

} // namespace qob::test
