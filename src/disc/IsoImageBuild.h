#pragma once
// The composed tree as an ISO 9660 image (level 3, so a file may exceed 4 GiB) with Rock Ridge and,
// when asked, Joliet: the stream of blocks libburn writes, or an image file. For a recorder the
// files are read while the blocks are written, by libisofs' own generator thread; for an image file
// their bytes are copied straight to their places (FileReads::Direct).
#include "disc/DiscEngine.h"
#include "disc/DiscImage.h"
#include "disc/DiscTypes.h"

#include "platform/DurableFile.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>

#ifdef _WIN32
// No libburn on Windows: libisofs' own copy of libburn's block source, under the name the Linux
// build's libburn header gives it.
#ifndef LIBISOFS_WITHOUT_LIBBURN
#define LIBISOFS_WITHOUT_LIBBURN 1
#endif
#include <cstdint>
#include <libisofs/libisofs.h>
namespace burn {
using ::burn_source;
}
#else
namespace burn {
struct burn_source;
}
#endif

namespace qob::disc {

class StreamFailures;

// How the files' bytes reach the image: through our stream, a megabyte per read from the disk; or
// through libisofs' own, one 2 KiB read per block (kept to check that the others make the same
// image); or not through libisofs at all (Direct): it lays the image out and makes the blocks
// around the files' data, and copyImageTo copies each file's bytes straight from the file to the
// place libisofs gave it. A Direct build's source() holds zeros for the files' data: only
// copyImageTo makes its image.
enum class FileReads { Buffered, LibraryBlocks, Direct };

class IsoImageBuild {
public:
    // `leaveOut`: image paths of files not to write (they could not be read). `startBlock`: where
    // the session begins on the medium (0 but on an appendable disc). Null with `error` set when
    // the image cannot be made. `afterLayout`, when given, runs once every file's size is taken and
    // before libisofs' generator starts reading: the moment a file changing under the write is
    // told apart from one that changed after its bytes were already in the image.
    static std::unique_ptr<IsoImageBuild> create(const DiscImage& tree, const WriteOptions& options,
                                                 const std::set<std::string>& leaveOut,
                                                 std::uint32_t startBlock, std::string& error,
                                                 FileReads reads = FileReads::Buffered,
                                                 const std::function<void()>& afterLayout = {});
    ~IsoImageBuild();
    IsoImageBuild(const IsoImageBuild&) = delete;
    IsoImageBuild& operator=(const IsoImageBuild&) = delete;

    // The blocks, read once by the writer (the pointer stays owned here).
    burn::burn_source* source() const { return source_; }
    std::uint64_t size() const { return size_; }
    // The first file that could not be read whole while the blocks were made (libisofs puts zeros
    // in its place and goes on); `fileName` empty when none. Known once every block was read.
    FileError readFailure() const;

    FileReads reads() const { return reads_; }
    std::uint32_t startBlock() const { return startBlock_; }
    // Image path -> the file's path on this computer, for every file put in the image.
    const std::map<std::string, std::string>& sources() const { return sources_; }
    StreamFailures& failures() { return *failures_; }
    // The same image made again with the files read through libisofs (Buffered), for when a Direct
    // build's layout is not what its copy expects. The blocks read so far are gone.
    bool rebuildReadingFiles(std::string& error);

private:
    IsoImageBuild() = default;
    struct Parts;
    struct Recipe;
    std::unique_ptr<Parts> parts_;
    std::unique_ptr<Recipe> recipe_;
    std::shared_ptr<StreamFailures> failures_;
    burn::burn_source* source_ = nullptr;
    std::uint64_t size_ = 0;
    FileReads reads_ = FileReads::Buffered;
    std::uint32_t startBlock_ = 0;
    std::map<std::string, std::string> sources_;
};

// The image straight into an image file, with the write's progress (WriteStage::Writing); a stopped
// one cancels libisofs' generator. A Direct build's files are copied by the kernel where it can
// (copy_file_range), else a megabyte at a time; the others' blocks come from libisofs a megabyte at
// a time. A file that cannot be read whole fails the copy and is told by readFailure().
Status copyImageTo(IsoImageBuild& iso, DurableReplace& file, DiscEvents& events, const StopToken& stop);

} // namespace qob::disc
