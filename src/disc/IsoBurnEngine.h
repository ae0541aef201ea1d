#pragma once
// The disc engine of this program: images made by libisofs (ISO 9660 level 3 + Rock Ridge, with
// Joliet when asked) and written by libburn to a CD/DVD/BD recorder or, through libburn's "stdio:"
// pseudo-drive, to an image file. UDF is not written (libisofs has no UDF writer); the Mode2XA and
// cache options have no effect: the track is always mode 1 and libburn buffers through its fifo.
#include "disc/DiscEngine.h"

#include <memory>

namespace qob::disc {

class DiscLibraries;

class IsoBurnEngine : public DiscEngine {
public:
    IsoBurnEngine();
    ~IsoBurnEngine() override;

    Status initialize() override;
    std::vector<DiscDeviceInfo> devices() override;
    bool supports(const std::string& address, Capability capability) override;
    MediaInfo media(const std::string& address) override;
    std::vector<WriteSpeed> writeSpeeds(const std::string& address) override;
    Status eject(const std::string& address) override;
    Status closeTray(const std::string& address) override;
    Status write(const std::string& address, const DiscImage& image, const WriteOptions& options,
                 DiscEvents& events, const StopToken& stop) override;
    VerifySummary verify(const std::string& address, const DiscImage& image, DiscEvents& events,
                         const StopToken& stop) override;
    Status erase(const std::string& address, bool quick, DiscEvents& events) override;

private:
    std::unique_ptr<DiscLibraries> libraries_;
};

// The description of the image-file "drive" in device lists.
inline constexpr char kImageFileDeviceName[] = "Image File (.iso)";

} // namespace qob::disc
