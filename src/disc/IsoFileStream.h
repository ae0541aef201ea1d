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

// Makes libisofs' own stream of a file added from this computer (a node's, before the image is
// laid out) read through a buffer of `bufferBytes`: the same object with the same identity and size,
// so nothing of the image's layout changes. ISO_SUCCESS, or a libisofs error code when the stream is
// not a plain file's or memory ran out (the stream is then left as it was).
int readThroughBuffer(IsoStream* stream, const std::string& path, std::shared_ptr<StreamFailures> failures,
                      std::size_t bufferBytes = 1 << 20);

} // namespace qob::disc
