#include "disc/DiscReadBack.h"

#include "disc/DiscAddress.h"
#ifdef _WIN32
#include "platform/win32/WideText.h"
#endif

#include <cstdint>
#include <cstdlib>
#include <libisofs/libisofs.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

namespace qob::disc {

namespace {

#ifndef _WIN32
using namespace burn;

constexpr std::size_t kChunkBlocks = 32; // read the medium 64 KiB at a time, not per block

// libisofs reads the image through this: blocks of the grabbed drive, with a small read-ahead.
struct DriveSource {
    burn_drive* drive = nullptr;
    std::vector<char> chunk = std::vector<char>(kChunkBlocks * kBlockSize);
    std::int64_t chunkStart = -1; // first block held, -1 when none
    std::size_t chunkBlocks = 0;
};

int sourceOpen(IsoDataSource*) {
    return 1;
}
int sourceClose(IsoDataSource*) {
    return 1;
}
void sourceFree(IsoDataSource* src) {
    delete static_cast<DriveSource*>(src->data);
}

int sourceRead(IsoDataSource* src, uint32_t lba, uint8_t* buffer) {
    auto* s = static_cast<DriveSource*>(src->data);
    const auto block = static_cast<std::int64_t>(lba);
    if (s->chunkStart < 0 || block < s->chunkStart ||
        block >= s->chunkStart + static_cast<std::int64_t>(s->chunkBlocks)) {
        const std::int64_t start = block - block % static_cast<std::int64_t>(kChunkBlocks);
        off_t count = 0;
        // bit1: no message for a failed read; the end of the medium is tried block by block.
        if (burn_read_data(s->drive, static_cast<off_t>(start) * kBlockSize, s->chunk.data(),
                           static_cast<off_t>(s->chunk.size()), &count, 2) == 1) {
            s->chunkStart = start;
            s->chunkBlocks = kChunkBlocks;
        } else if (burn_read_data(s->drive, static_cast<off_t>(block) * kBlockSize, s->chunk.data(),
                                  static_cast<off_t>(kBlockSize), &count, 2) == 1) {
            s->chunkStart = block;
            s->chunkBlocks = 1;
        } else {
            s->chunkStart = -1;
            return ISO_DATA_SOURCE_MISHAP;
        }
    }
    std::memcpy(buffer, s->chunk.data() + (block - s->chunkStart) * static_cast<std::int64_t>(kBlockSize),
                kBlockSize);
    return 1;
}
#endif

struct ImageReader {
    IsoImage* image = nullptr;
    IsoReadOpts* options = nullptr;
    ~ImageReader() {
        if (options) {
            iso_read_opts_free(options);
        }
        if (image) {
            iso_image_unref(image);
        }
    }
};

IsoNode* findOnDisc(IsoImage* image, const std::string& imagePath) {
    const auto parts = splitImagePath(imagePath);
    if (!parts) {
        return nullptr;
    }
    IsoNode* node = reinterpret_cast<IsoNode*>(iso_image_get_root(image));
    for (const std::string& name : *parts) {
        if (!ISO_NODE_IS_DIR(node)) {
            return nullptr;
        }
        IsoNode* child = nullptr;
        if (iso_dir_get_node(reinterpret_cast<IsoDir*>(node), name.c_str(), &child) != 1) {
            return nullptr;
        }
        node = child;
    }
    return node;
}

// Compares one file with its copy on the disc.
VerifyKind compareFile(IsoNode* node, const ImageItem& item, const StopToken& stop) {
    // By the wide name on Windows, converted as the tree's own paths were made.
#ifdef _WIN32
    std::ifstream source(std::filesystem::path(item.sourcePath), std::ios::binary);
#else
    std::ifstream source(item.sourcePath, std::ios::binary);
#endif
    if (!source) {
        return VerifyKind::SourceUnreadable;
    }
    if (node == nullptr || !ISO_NODE_IS_FILE(node)) {
        return VerifyKind::DiscUnreadable;
    }
    auto* file = reinterpret_cast<IsoFile*>(node);
    source.seekg(0, std::ios::end);
    const auto sourceSize = static_cast<std::uint64_t>(source.tellg());
    source.seekg(0);
    if (static_cast<std::uint64_t>(iso_file_get_size(file)) != sourceSize) {
        return VerifyKind::SizeDiffers;
    }
    IsoStream* stream = iso_file_get_stream(file);
    if (iso_stream_open(stream) < 0) {
        return VerifyKind::DiscUnreadable;
    }
    std::vector<char> disc(1 << 20);
    std::vector<char> host(1 << 20);
    VerifyKind result = VerifyKind::Matched;
    std::uint64_t left = sourceSize;
    while (left > 0 && !stop.stopRequested()) {
        const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(left, disc.size()));
        std::size_t got = 0;
        while (got < want) {
            const int n = iso_stream_read(stream, disc.data() + got, want - got);
            if (n <= 0) {
                break;
            }
            got += static_cast<std::size_t>(n);
        }
        if (got != want) {
            result = VerifyKind::DiscUnreadable;
            break;
        }
        if (!source.read(host.data(), static_cast<std::streamsize>(want))) {
            result = VerifyKind::SourceUnreadable;
            break;
        }
        if (std::memcmp(disc.data(), host.data(), want) != 0) {
            result = VerifyKind::ContentDiffers;
            break;
        }
        left -= want;
    }
    iso_stream_close(stream);
    return result;
}

} // namespace

VerifySummary readBackAndCompare(IsoDataSource* medium, std::uint32_t startBlock, const DiscImage& tree,
                                 DiscEvents& events, const StopToken& stop) {
    VerifySummary summary;
    std::vector<ImageItem> files;
    for (const ImageItem& item : tree.allItems()) {
        if (!item.isFolder) {
            files.push_back(item);
        }
    }
    const int total = static_cast<int>(files.size());
    summary.files = total;
    events.verifyStarted(total);

    ImageReader reader;
    takeDiscMessages();
    int rc = iso_image_new("QOB_VERIFY", &reader.image);
    if (rc >= 0) {
        rc = iso_read_opts_new(&reader.options, 0);
    }
    if (rc >= 0) {
        iso_read_opts_set_start_block(reader.options, startBlock);
        IsoReadImageFeatures* features = nullptr;
        rc = iso_image_import(reader.image, medium, reader.options, &features);
        if (features) {
            iso_read_image_features_destroy(features);
        }
    }
    const bool readable = rc >= 0;
    if (!readable) {
        std::string words = takeDiscMessages();
        summary.status = Status::failure("The disc could not be read back: " +
                                         (words.empty() ? std::string(iso_error_to_msg(rc)) : words));
    }
    int counter = 0;
    for (const ImageItem& item : files) {
        if (stop.stopRequested()) {
            summary.status = Status::stopped("Verification cancelled.");
            break;
        }
        ++counter;
        const VerifyKind kind = readable ? compareFile(findOnDisc(reader.image, item.imagePath), item, stop)
                                         : VerifyKind::DiscUnreadable;
        if (kind == VerifyKind::Matched && !stop.stopRequested()) {
            ++summary.matched;
        }
        events.verifyMismatch(item, kind, counter, total);
    }
    events.verifyFinished(total, summary.matched);
    return summary;
}

#ifndef _WIN32
VerifySummary readBackAndCompare(GrabbedDrive& drive, std::uint32_t startBlock, const DiscImage& tree,
                                 DiscEvents& events, const StopToken& stop) {
    // libisofs releases a data source with free() once its last reference goes.
    auto* source = static_cast<IsoDataSource*>(std::calloc(1, sizeof(IsoDataSource)));
    if (source == nullptr) {
        VerifySummary summary;
        summary.status = Status::failure("The disc could not be read back: out of memory");
        return summary;
    }
    source->refcount = 1;
    source->open = sourceOpen;
    source->close = sourceClose;
    source->read_block = sourceRead;
    source->free_data = sourceFree;
    auto* data = new DriveSource;
    data->drive = drive.drive();
    source->data = data;
    VerifySummary summary = readBackAndCompare(source, startBlock, tree, events, stop);
    iso_data_source_unref(source);
    return summary;
}
#endif

} // namespace qob::disc
