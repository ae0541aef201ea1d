#pragma once
// The recorders of this computer through Windows' own IMAPI2, reached by automation (IDispatch and
// the documented names of its objects, methods and properties) so that the build needs no IMAPI2
// headers, which mingw-w64 lacks. Every call is synchronous; a failure says IMAPI2's own words.
#ifdef _WIN32
#include "disc/DiscTypes.h"
#include "platform/Status.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

struct IDispatch;

namespace qob::disc {

class Imapi2Recorders {
public:
    Imapi2Recorders();
    ~Imapi2Recorders();
    Imapi2Recorders(const Imapi2Recorders&) = delete;
    Imapi2Recorders& operator=(const Imapi2Recorders&) = delete;

    // Empty when IMAPI2 is usable; else why not ("IMAPI2 is not installed: …").
    const std::string& problem() const { return problem_; }

    // Each recorder under its first drive letter ("D:\"), else its IMAPI2 unique id.
    std::vector<DiscDeviceInfo> devices();
    bool isRecorder(const std::string& address);
    MediaInfo media(const std::string& address);
    // MMC profiles the drive supports (0x0a CD-RW, 0x1a DVD+RW, ...).
    std::vector<int> profiles(const std::string& address);
    Status eject(const std::string& address);
    Status closeTray(const std::string& address);
    // Where a new session starts on an appendable medium (0 on a blank one).
    std::uint32_t nextWritableBlock(const std::string& address);
    // Writes the image file `iso` as one data session; `finalize` closes the disc.
    Status writeImage(const std::string& address, const std::filesystem::path& iso, bool finalize);
    Status erase(const std::string& address, bool quick);
    // The path through which the medium's blocks can be read ("\\.\D:"), "" when it has no letter.
    std::string rawVolume(const std::string& address);

private:
    struct Recorder;
    bool open(const std::string& address, Recorder& out, std::string& error);

    bool comStarted_ = false;
    std::string problem_;
    IDispatch* master_ = nullptr;
};

} // namespace qob::disc
#endif
