#pragma once
// A file's bytes for libisofs, read from the disk a megabyte at a time. libisofs asks for one 2 KiB
// block per call; its own file stream turns each call into a read() of 2 KiB (half a million system
// calls for a 1 GiB backup). This stream hands out the same bytes from a large buffer, and keeps the
// identity (file system, device, inode) and size libisofs' own stream gave the file, so the
// image's layout and contents stay exactly as they were. It also tells which file could not be
// read whole, where libisofs only fills in zeros.
#include "disc/DiscTypes.h"

#include <libisofs/libisofs.h>

#include <cstddef>
#include <ctime>
#include <memory>
#include <mutex>
#include <string>
#include <sys/types.h>

namespace qob::disc {

// The first file that could not be read whole while the image was made, told by the streams of
// one image (libisofs reads them on its own thread) and asked for by the writer.
class StreamFailures {
public:
    void record(int code, const std::string& description, const std::string& path);
    // `fileName` is empty while every file was read whole.
    FileError first() const;

private:
    mutable std::mutex mutex_;
    FileError first_;
};

// The file at `path` (UTF-8) opened for reading, binary; -1 with errno set when it cannot be.
int openImageSource(const std::string& path);

// Makes libisofs' own stream of a file added from this computer (a node's, before the image is
// laid out) read through a buffer of `bufferBytes`: the same object with the same identity and size,
// so nothing of the image's layout changes. ISO_SUCCESS, or a libisofs error code when the stream is
// not a plain file's or memory ran out (the stream is then left as it was). A `placeholder` stream
// hands libisofs zeros without reading the file: for an image whose file data is written apart.
int readThroughBuffer(IsoStream* stream, const std::string& path, std::shared_ptr<StreamFailures> failures,
                      bool placeholder = false, std::size_t bufferBytes = 1 << 20);

#ifdef _WIN32
// What libisofs takes from a file of this computer when it adds it by its POSIX path, which it
// cannot do with a Windows path: on Windows the program adds each file with a stream made here.
struct HostFileFacts {
    unsigned int fsId = 1; // libisofs' number for "the local file system"
    dev_t device = 0;      // the volume's serial number
    ino_t inode = 0;       // the file's index on its volume (Wine gives the Unix inode)
    off_t size = 0;
    mode_t mode = 0;
    std::time_t atime = 0, mtime = 0, ctime = 0;
};

// A stream of the file at `path` (UTF-8) read through a buffer of `bufferBytes`, identified as the
// file itself, so that libisofs orders and tells apart files as it does on Linux. ISO_SUCCESS with
// `stream` (one reference, for iso_tree_add_new_file) and `facts` filled, or a libisofs error code.
int newHostFileStream(const std::string& path, std::shared_ptr<StreamFailures> failures, IsoStream** stream,
                      HostFileFacts& facts, bool placeholder = false, std::size_t bufferBytes = 1 << 20);
#endif

} // namespace qob::disc
