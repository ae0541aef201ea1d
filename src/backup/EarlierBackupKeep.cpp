#include "backup/EarlierBackupKeep.h"

#include "platform/DurableFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <unistd.h>

namespace qob {

namespace fs = std::filesystem;

namespace {

std::string keepPrefix(const fs::path& file) {
    return "." + file.filename().string() + ".qobkeep-";
}

fs::path folderOf(const fs::path& file) {
    return file.parent_path().empty() ? fs::path(".") : file.parent_path();
}

} // namespace

void EarlierBackupKeep::removeLeftovers(const fs::path& file) {
    removeAbandonedTemporaries(folderOf(file), keepPrefix(file));
}

EarlierBackupKeep::EarlierBackupKeep(const fs::path& file) : file_(file) {
    const fs::path folder = folderOf(file);
    removeLeftovers(file);
    std::error_code ec;
    existed_ = fs::exists(fs::symlink_status(file, ec));
    if (!existed_) {
        return;
    }
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::random_device seed;
    std::mt19937 random(seed());
    std::uniform_int_distribution<std::size_t> pick(0, sizeof kLetters - 2);
    for (int attempt = 0; attempt < 20; ++attempt) {
        std::string name = keepPrefix(file);
        for (int i = 0; i < 6; ++i) {
            name += kLetters[pick(random)];
        }
        const fs::path link = folder / name;
        // linkat without AT_SYMLINK_FOLLOW: a link at the target is kept as the link it is.
        if (::linkat(AT_FDCWD, file.c_str(), AT_FDCWD, link.c_str(), 0) == 0) {
            link_ = link;
            return;
        }
        if (errno != EEXIST) {
            return;
        }
    }
}

EarlierBackupKeep::~EarlierBackupKeep() {
    release();
}

void EarlierBackupKeep::release() {
    if (!link_.empty()) {
        ::unlink(link_.c_str());
        link_.clear();
    }
    existed_ = false;
    file_.clear();
}

Status EarlierBackupKeep::putBack() {
    if (file_.empty()) {
        return Status::success();
    }
    if (!canPutBack()) {
        return Status::failure("The earlier backup " + file_.string() + " could not be kept aside.");
    }
    const bool ok = existed_ ? ::rename(link_.c_str(), file_.c_str()) == 0
                             : (::unlink(file_.c_str()) == 0 || errno == ENOENT);
    const std::string why = ok ? std::string() : std::strerror(errno);
    const std::string file = file_.string();
    if (ok) {
        link_.clear();
        syncFolder(folderOf(file_));
    }
    release();
    if (!ok) {
        return Status::failure("Cannot put the earlier backup " + file + " back: " + why);
    }
    return Status::success();
}

} // namespace qob
