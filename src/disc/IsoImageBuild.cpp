#include "disc/IsoImageBuild.h"

#include "disc/DiscAddress.h"
#include "disc/IsoFileStream.h"
#include "platform/Environment.h"
#ifndef _WIN32
#include "disc/LibburnDrive.h"
#endif

#include <cstdint>
#include <libisofs/libisofs.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <map>
#include <string_view>
#include <utility>
#include <vector>

namespace qob::disc {

struct IsoImageBuild::Recipe {
    DiscImage tree;
    WriteOptions options;
    std::set<std::string> leaveOut;
};

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
    build->reads_ = reads;
    build->startBlock_ = startBlock;
    if (reads == FileReads::Direct) {
        build->recipe_.reset(new Recipe{tree, options, leaveOut});
    }
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
        rc = newHostFileStream(item.sourcePath, build->failures_, &stream, facts, reads == FileReads::Direct);
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
                build->sources_[item.imagePath] = item.sourcePath;
            }
        }
#else
        rc = iso_tree_add_new_node(parts.image, parent, item.name.c_str(), item.sourcePath.c_str(), &node);
        if (rc >= 0 && iso_node_get_type(node) == LIBISO_FILE) {
            files.emplace_back(reinterpret_cast<IsoFile*>(node), item.sourcePath);
            build->sources_[item.imagePath] = item.sourcePath;
        }
#endif
        if (rc < 0) {
            error = isoError(("The file " + item.sourcePath + " could not be put in the image").c_str(), rc);
            return nullptr;
        }
    }

    // Once every node is made: libisofs numbers the Rock Ridge inodes in the order of its nodes'
    // addresses, which a change of stream between two nodes' making could shift.
    if (reads != FileReads::LibraryBlocks) {
        for (const auto& [file, path] : files) {
            rc = readThroughBuffer(iso_file_get_stream(file), path, build->failures_,
                                   reads == FileReads::Direct);
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

bool IsoImageBuild::rebuildReadingFiles(std::string& error) {
    if (!recipe_) {
        error = "The disc image could not be made again";
        return false;
    }
    std::unique_ptr<IsoImageBuild> fresh =
        create(recipe_->tree, recipe_->options, recipe_->leaveOut, startBlock_, error, FileReads::Buffered);
    if (!fresh) {
        return false;
    }
    // The old generator goes with `fresh`, which now holds it.
    std::swap(parts_, fresh->parts_);
    std::swap(failures_, fresh->failures_);
    std::swap(source_, fresh->source_);
    std::swap(size_, fresh->size_);
    std::swap(sources_, fresh->sources_);
    reads_ = FileReads::Buffered;
    return true;
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

} // namespace qob::disc
