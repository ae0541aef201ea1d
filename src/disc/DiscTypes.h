#pragma once
// The words the disc windows and the disc engine share: media kinds, drive capabilities, write and
// erase stages, verification kinds and the error reports. The numeric codes are the ones the disc
// windows test against (their tables name the codes, not the meaning), so they are fixed here once.
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

namespace qob::disc {

// Bytes in one data block of a CD, DVD or BD (and of an ISO 9660 image).
inline constexpr std::uint64_t kBlockSize = 2048;

// What is loaded in a drive. 0 is "nothing"; the rewritable kinds carry the codes the erase window
// pairs with the drive's erase capabilities.
enum class MediaType : int {
    None = 0,
    CdR = 1,
    CdRw = 2,
    DvdR = 3,
    DvdRw = 4,
    DvdPlusRw = 5,
    DvdPlusR = 6,
    DvdPlusRDl = 7,
    DvdRDl = 8,
    DvdRam = 9,
    BdR = 14,
    BdRe = 15,
    ImageFile = 16, // a file written as if it were a disc (an .iso image)
    Other = 20,
};

// What a drive can do, asked one at a time.
enum class Capability : int {
    EraseDvdRam = 17,
    EraseDvdRw = 19,
    EraseCdRw = 22,
    EraseDvdPlusRw = 23,
    EraseBdRe = 27,
    BufferProtection = 57, // buffer underrun protection
};

// The drive can erase as `capability` asks: one of the MMC profiles it lists (`profiles`) is
// that kind of rewritable medium. False for capabilities that are not erases.
bool erasesAs(const std::vector<int>& profiles, Capability capability);

struct MediaInfo {
    MediaType type = MediaType::None;
    std::string name;        // the drive's name for it ("DVD+RW", "stdio file"), "" when none
    bool writable = false;   // blank or appendable: a write may start
    bool rewritable = false; // may be erased and written again
    bool erasable = false;   // holds data that an erase would remove (a full or appendable rewritable)
    std::uint64_t freeBlocks = 0;
};

struct WriteSpeed {
    int value = 0;       // kilobytes (1000 bytes) per second, as the drive reports it
    double factor = 0.0; // its multiple of the medium's base speed (48.0 for a 48x CD)
};

struct DiscDeviceInfo {
    std::string address;     // "/dev/sr0", or "stdio:PATH" for an image file
    std::string description; // vendor and product as the drive names itself
    bool isRecorder = false;
    bool isImageFile = false; // the image-file "drive": its path is chosen when writing
};

// Stages of a write, reported with a percentage. Every write that starts ends with exactly one of
// Done, Cancelled or Failed.
enum class WriteStage : int {
    Preparing = 0,
    Writing = 1,
    Buffering = 2,
    Syncing = 3,
    ClosingTrack = 4,
    LeadIn = 5,
    LeadOut = 6,
    Verifying = 7,
    UpdatingVolume = 8,
    Done = 9,
    Cancelled = 10,
    Failed = 11,
};

// Stages of an erase. Every erase that starts ends with exactly one of Done or Failed.
enum class EraseStage : int { Started = 0, Progress = 1, Done = 2, Failed = 3 };

// What verification found for one file.
enum class VerifyKind : int {
    SourceUnreadable = 0, // the file on this computer could not be read
    DiscUnreadable = 1,   // the file on the disc is missing or could not be read
    ContentDiffers = 2,
    Matched = 3, // no fault: reported so that progress can be shown per file
    SizeDiffers = 5,
};

// File systems of the written volume: 1 ISO 9660, 2 Joliet, 4 UDF, summed. Rock Ridge is always
// written beside them (long names and dates for every other reader); UDF is not written.
enum FileSystemBits : int { kIso9660 = 1, kJoliet = 2, kUdf = 4 };

// Write methods: disc-at-once, else track-at-once.
inline constexpr int kWriteMethodDiscAtOnce = 248;
inline constexpr int kWriteMethodTrackAtOnce = 2;

struct WriteOptions {
    int fileSystem = kIso9660 | kJoliet;
    std::string volumeIdentifier = "New Disc";
    bool useFileDates = true; // false: every item carries the time of the write
    bool autoVerify = false;
    bool mode2xa = false;    // CD only; the written track is always mode 1 (see DiscEngine.h)
    bool cacheImage = false; // the engine always buffers through its own fifo
    bool testWrite = false;  // the drive goes through the motions with the laser off
    bool finalize = false;   // close the disc: nothing may be appended afterwards
    bool bufferProtect = true;
    int writeMethod = kWriteMethodTrackAtOnce;
    int writeSpeed = 0; // kilobytes per second, 0 = the fastest the drive offers
};

struct DeviceError {
    int code = 0;
    std::string description;
    std::string detailText;
    int detailCode = 0;
};

struct FileError {
    int code = 0;
    std::string description;
    std::string fileName;
};

// ErrorType: 1 device, 2 output file, 3 source file, 5 system; any other value is a write error.
enum class ErrorType : int { Device = 1, OutputFile = 2, SourceFile = 3, System = 5, Write = 6 };

struct EngineError {
    ErrorType type = ErrorType::Write;
    std::string description;
    int systemCode = 0;
    DeviceError device;
    FileError file;
};

// The reports both engines make: of the drive (its words, or that it gave none), of a source file
// that cannot be read, of the image file that cannot be written.
EngineError deviceError(int code, const std::string& description, const std::string& words);
EngineError sourceError(int code, const std::string& description, const std::string& file);
EngineError outputError(int code, const std::string& description, const std::string& file);
// "12.34 MB" (MiB, as the disc windows count).
std::string megabytes(std::uint64_t bytes);

// One item of the image as events and listings report it.
struct ImageItem {
    bool isFolder = false;
    std::string parentPath; // image path of the parent folder ("" for the root itself)
    std::string imagePath;  // "\", "\name", "\folder\name"
    std::string name;
    std::string sourcePath; // host path of a file ("" for folders made in the image)
    std::string oldImagePath;
    std::uint64_t size = 0;
    std::time_t fileDate = 0;
};

} // namespace qob::disc
