#include "disc/IsoImageBuild.h"

#include "disc/DiscAddress.h"
#include "disc/IsoFileStream.h"
#include "platform/Environment.h"
#ifndef _WIN32
#include "disc/LibburnDrive.h"
#endif

#include <cstdint>
#include <libisofs/libisofs.h>
#ifdef __linux__
#include <fcntl.h>
#endif

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <map>
#include <string_view>
#include <utility>
#include <vector>

namespace qob::disc {

struct IsoImageBuild::Parts {
    IsoImage* image = nullptr;
    IsoWriteOpts* options = nullptr;
    ~Parts() {
        if (options) {
            iso_write_opts_free(options);
        }
        if (image) {
            iso_image_unref(image);
        }
    }
};

namespace {
std::string isoError(const char* what, int code) {
    std::string words = takeDiscMessages();
    if (words.empty()) {
        words = iso_error_to_msg(code);
    }
    return std::string(what) + ": " + words;
}

// "Now" for the image: SOURCE_DATE_EPOCH when it holds a time (the reproducible-builds convention),
// so the same files make the same image on every run and on both systems; else the clock.
// `fixed` tells which.
std::time_t imageNow(bool& fixed) {
    std::time_t now = 0;
    fixed = false;
    if (const auto epoch = environment("SOURCE_DATE_EPOCH")) {
        char* end = nullptr;
        const long long value = std::strtoll(epoch->c_str(), &end, 10);
        if (end != nullptr && *end == '\0' && value >= 0) {
            now = static_cast<std::time_t>(value);
            iso_nowtime(&now, 1);
            fixed = true;
            return now;
        }
    }
    iso_nowtime(&now, 2);
    return now;
}

} // namespace

std::unique_ptr<IsoImageBuild> IsoImageBuild::create(const DiscImage& tree, const WriteOptions& options,
                                                     const std::set<std::string>& leaveOut,
                                                     std::uint32_t startBlock, std::string& error,
                                                     FileReads reads,
                                                     const std::function<void()>& afterLayout) {
    std::unique_ptr<IsoImageBuild> build(new IsoImageBuild);
    build->parts_ = std::make_unique<Parts>();
    build->failures_ = std::make_shared<StreamFailures>();
    Parts& parts = *build->parts_;
    takeDiscMessages();
    bool fixedNow = false;
    const std::time_t now = imageNow(fixedNow);
    int rc = iso_image_new("QOB_DISC", &parts.image);
    if (rc < 0) {
        error = isoError("The disc image could not be made", rc);
        return nullptr;
    }
    iso_tree_set_follow_symlinks(parts.image, 1);
    iso_image_set_volume_id(parts.image, options.volumeIdentifier.c_str());
    iso_image_set_application_id(parts.image, "QUIRE OUTLOOK BACKUP");

    std::map<std::string, IsoDir*> folders{{"\\", iso_image_get_root(parts.image)}};
    std::vector<std::pair<IsoFile*, std::string>> files;
    for (const ImageItem& item : tree.allItems()) {
        IsoDir* parent = folders.at(item.parentPath);
        if (item.isFolder) {
            IsoDir* dir = nullptr;
            rc = iso_tree_add_new_dir(parent, item.name.c_str(), &dir);
            if (rc < 0) {
                error =
                    isoError(("The folder " + item.imagePath + " could not be put in the image").c_str(), rc);
                return nullptr;
            }
            // A folder made in the image is dated when it was made: no later than a fixed "now".
            iso_node_set_mtime(reinterpret_cast<IsoNode*>(dir),
                               fixedNow ? std::min(item.fileDate, now) : item.fileDate);
            folders[item.imagePath] = dir;
            continue;
        }
        if (leaveOut.count(item.imagePath)) {
            continue;
        }
        // libisofs takes the file's size and date now and reads its bytes while writing.
        IsoNode* node = nullptr;
#ifdef _WIN32
        // libisofs' own file system takes POSIX paths only: the file comes as a stream of ours,
        // with the facts libisofs would have taken from stat() set on its node.
        IsoStream* stream = nullptr;
        HostFileFacts facts;
        rc = newHostFileStream(item.sourcePath, build->failures_, &stream, facts);
        if (rc >= 0) {
            IsoFile* file = nullptr;
            rc = iso_tree_add_new_file(parent, item.name.c_str(), stream, &file);
            if (rc < 0) {
                iso_stream_unref(stream);
            } else {
                node = reinterpret_cast<IsoNode*>(file);
                iso_node_set_permissions(node, facts.mode & 07777);
                iso_node_set_atime(node, facts.atime);
                iso_node_set_mtime(node, facts.mtime);
                iso_node_set_ctime(node, facts.ctime);
            }
        }
#else
        rc = iso_tree_add_new_node(parts.image, parent, item.name.c_str(), item.sourcePath.c_str(), &node);
        if (rc >= 0 && iso_node_get_type(node) == LIBISO_FILE) {
            files.emplace_back(reinterpret_cast<IsoFile*>(node), item.sourcePath);
        }
#endif
        if (rc < 0) {
            error = isoError(("The file " + item.sourcePath + " could not be put in the image").c_str(), rc);
            return nullptr;
        }
    }

    // Once every node is made: libisofs numbers the Rock Ridge inodes in the order of its nodes'
    // addresses, which a change of stream between two nodes' making could shift.
    if (reads == FileReads::Buffered) {
        for (const auto& [file, path] : files) {
            rc = readThroughBuffer(iso_file_get_stream(file), path, build->failures_);
            if (rc < 0) {
                error = isoError(("The file " + path + " could not be put in the image").c_str(), rc);
                return nullptr;
            }
        }
    }

    // Level 3: a backup of 4 GiB or more is stored in several extents instead of being refused.
    iso_write_opts_new(&parts.options, 1);
    iso_write_opts_set_iso_level(parts.options, 3);
    iso_write_opts_set_rockridge(parts.options, 1);
    // Rock Ridge as of RRIP 1.10: no file serial numbers. libisofs numbers folders in the order of
    // its nodes' memory addresses, so RRIP 1.12's numbers would differ from run to run and between
    // Linux and Windows; a read-only disc has no use for them (readers number by position).
    iso_write_opts_set_rrip_version_1_10(parts.options, 1);
    iso_write_opts_set_joliet(parts.options, (options.fileSystem & kJoliet) ? 1 : 0);
    iso_write_opts_set_joliet_long_names(parts.options, 1);
    // Owners and permissions of this computer mean nothing on another one.
    iso_write_opts_set_replace_mode(parts.options, 1, 1, 1, 1);
    if (!options.useFileDates) {
        iso_write_opts_set_replace_timestamps(parts.options, 2);
        iso_write_opts_set_default_timestamp(parts.options, now);
    }
    iso_write_opts_set_ms_block(parts.options, startBlock);
    // The files' contents in libisofs' own order (by file identity). Its "sort by weight" with
    // every weight equal leaves that order to the C library's qsort: glibc's keeps it, Windows'
    // does not, and the same files would make two different images.
    iso_write_opts_set_sort_files(parts.options, 0);

    if (afterLayout) {
        afterLayout();
    }
    struct burn_source* source = nullptr;
    rc = iso_image_create_burn_source(parts.image, parts.options, &source);
    if (rc < 0 || source == nullptr) {
        error = isoError("The disc image could not be made", rc);
        return nullptr;
    }
    // libisofs and libburn name the same C struct in two C++ scopes.
    build->source_ = reinterpret_cast<burn::burn_source*>(source);
    build->size_ = static_cast<std::uint64_t>(build->source_->get_size(build->source_));
    return build;
}

FileError IsoImageBuild::readFailure() const {
    return failures_->first();
}

IsoImageBuild::~IsoImageBuild() {
    if (source_) {
#ifdef _WIN32
        // What libburn's burn_source_free does, which Windows has not.
        if (--source_->refcount < 1) {
            if (source_->free_data) {
                source_->free_data(source_);
            }
            std::free(source_);
        }
#else
        burn::burn_source_free(source_);
#endif
    }
}

namespace {
// The image's bytes go to the disk while later ones are still being made, instead of all at the
// final flush: every 8 MiB written is handed to the disk at once, and the writer waits for the
// 8 MiB before it, so no more than two such pieces are ever in flight or dirty.
void startWriteback(int fd, std::uint64_t from, std::uint64_t to) {
#ifdef __linux__
    constexpr std::uint64_t kPiece = 8u << 20;
    if (fd < 0 || from / kPiece == to / kPiece) {
        return;
    }
    const std::uint64_t end = to / kPiece * kPiece;
    const std::uint64_t start = end - kPiece;
    ::sync_file_range(fd, static_cast<off64_t>(start), kPiece, SYNC_FILE_RANGE_WRITE);
    if (start >= kPiece) {
        ::sync_file_range(fd, static_cast<off64_t>(start - kPiece), kPiece,
                          SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER);
    }
#else
    (void)fd;
    (void)from;
    (void)to;
#endif
}
} // namespace

Status copyImageTo(IsoImageBuild& iso, DurableReplace& file, DiscEvents& events, const StopToken& stop) {
    burn::burn_source* source = iso.source();
    std::vector<unsigned char> buffer(1 << 20);
    std::uint64_t done = 0;
    int lastPercent = -1;
    while (done < iso.size()) {
        if (stop.stopRequested()) {
            if (source->version >= 1 && source->cancel) {
                source->cancel(source);
            }
            return Status::stopped("Write cancelled.");
        }
        const int want = static_cast<int>(std::min<std::uint64_t>(buffer.size(), iso.size() - done));
        const int got = source->version >= 1 && source->read_xt ? source->read_xt(source, buffer.data(), want)
                                                                : source->read(source, buffer.data(), want);
        if (got <= 0) {
            const std::string words = takeDiscMessages();
            return Status::failure("The image could not be made: " +
                                   (words.empty() ? std::string("the files could not be read") : words));
        }
        if (Status s = file.write(std::string_view(reinterpret_cast<const char*>(buffer.data()),
                                                   static_cast<std::size_t>(got)));
            !s) {
            return s;
        }
        const std::uint64_t before = done;
        done += static_cast<std::uint64_t>(got);
        startWriteback(file.fd(), before, done);
        const int percent = static_cast<int>(100 * done / iso.size());
        if (percent != lastPercent) {
            lastPercent = percent;
            events.writeStatus(percent, WriteStage::Writing);
        }
    }
    return Status::success();
}

} // namespace qob::disc
