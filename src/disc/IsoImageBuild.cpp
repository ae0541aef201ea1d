#include "disc/IsoImageBuild.h"

#include "disc/IsoFileStream.h"
#include "disc/LibburnDrive.h"

#include <cstdint>
#include <libisofs/libisofs.h>

#include <ctime>
#include <map>
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
            iso_node_set_mtime(reinterpret_cast<IsoNode*>(dir), item.fileDate);
            folders[item.imagePath] = dir;
            continue;
        }
        if (leaveOut.count(item.imagePath)) {
            continue;
        }
        // libisofs takes the file's size and date now and reads its bytes while writing.
        IsoNode* node = nullptr;
        rc = iso_tree_add_new_node(parts.image, parent, item.name.c_str(), item.sourcePath.c_str(), &node);
        if (rc >= 0 && iso_node_get_type(node) == LIBISO_FILE) {
            files.emplace_back(reinterpret_cast<IsoFile*>(node), item.sourcePath);
        }
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
    iso_write_opts_set_joliet(parts.options, (options.fileSystem & kJoliet) ? 1 : 0);
    iso_write_opts_set_joliet_long_names(parts.options, 1);
    // Owners and permissions of this computer mean nothing on another one.
    iso_write_opts_set_replace_mode(parts.options, 1, 1, 1, 1);
    if (!options.useFileDates) {
        iso_write_opts_set_replace_timestamps(parts.options, 2);
        iso_write_opts_set_default_timestamp(parts.options, std::time(nullptr));
    }
    iso_write_opts_set_ms_block(parts.options, startBlock);

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
        burn::burn_source_free(source_);
    }
}

} // namespace qob::disc
