#pragma once
// The disc engine of the Windows build. The image is made by libisofs, built from the same source
// as the Linux build's, so an image file holds the same ISO 9660 + Joliet + Rock Ridge volume on
// both systems; it is written to an image file directly, and to a recorder through Windows' own
// IMAPI2 (Imapi2Recorders). Where IMAPI2 cannot be started (it is missing, or the service is off)
// the recorders are unavailable, with the reason, and the image-file drive still works.
#ifdef _WIN32
#include "disc/DiscEngine.h"

#include <memory>
#include <string>

namespace qob::disc {

class Imapi2Recorders;

// The description of the image-file "drive" in device lists (as the Linux engine names it).
inline constexpr char kWin32ImageFileDeviceName[] = "Image File (.iso)";
// What a write or erase on a recorder says, before the reason, when IMAPI2 could not be started.
inline constexpr char kDevicesCannotBeInitialized[] = "Devices Cannot be initialized!";

class Win32DiscEngine : public DiscEngine {
public:
    Win32DiscEngine();
    ~Win32DiscEngine() override;

    // Not ok only when libisofs cannot start: the image-file drive needs nothing else.
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

    // Why no recorder can be used ("" when IMAPI2 started); known after initialize().
    std::string recorderProblem() const override;

private:
    Status writeImageFile(const std::string& address, const DiscImage& image, const WriteOptions& options,
                          DiscEvents& events, const StopToken& stop);
    Status writeRecorder(const std::string& address, const DiscImage& image, const WriteOptions& options,
                         DiscEvents& events, const StopToken& stop);

    bool libraryStarted_ = false;
    bool libraryOk_ = false;
    std::unique_ptr<Imapi2Recorders> recorders_;
};

} // namespace qob::disc
#endif
