// Opening an archive for reading: its entries listed and indexed once, and what can be refused
// from the directory alone, before any data is read.
#include "archive/Archive.h"

#include "archive/CentralDirectory.h"
#include "platform/AsciiCase.h"

#include <zip.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace qob {

namespace {

std::string encryptionName(std::uint16_t method) {
    switch (method) {
    case ZIP_EM_NONE:
        return "not encrypted";
    case ZIP_EM_TRAD_PKWARE:
        return "encrypted with the traditional zip method";
    case ZIP_EM_AES_128:
        return "encrypted with AES-128";
    case ZIP_EM_AES_192:
        return "encrypted with AES-192";
    case ZIP_EM_AES_256:
        return "encrypted with AES-256";
    default:
        return "encrypted with method " + std::to_string(method);
    }
}

} // namespace

Status Archive::loadDirectory() {
    const zip_int64_t count = zip_get_num_entries(zip_, 0);
    if (count < 0) {
        return Status::failure("its directory cannot be read");
    }
    entries_.reserve(static_cast<std::size_t>(count));
    for (zip_int64_t i = 0; i < count; ++i) {
        auto info = entryInfo(static_cast<std::uint64_t>(i));
        if (!info) {
            return Status::failure("entry #" + std::to_string(i) + " of its directory cannot be read");
        }
        entries_.push_back(std::move(*info));
    }

    // Our own reading of the directory tells where each entry's data lies; it must agree with
    // libzip's, which reads the data, or the check below would look at another directory.
    const int fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return Status::failure(std::strerror(errno));
    }
    std::string why;
    const std::optional<CentralDirectory> dir = readCentralDirectory(fd, why);
    Status spans = Status::success();
    if (!dir) {
        spans = Status::failure(why);
    } else if (dir->entries.size() != entries_.size()) {
        spans = Status::failure("its directory does not read the same way twice (damaged or crafted)");
    } else {
        std::vector<std::string> names;
        names.reserve(entries_.size());
        for (std::size_t i = 0; i < entries_.size(); ++i) {
            if (dir->entries[i].compressedSize != entries_[i].compressedSize) {
                spans =
                    Status::failure("its directory does not read the same way twice (damaged or crafted)");
                break;
            }
            names.push_back(entries_[i].name);
        }
        if (spans) {
            spans = checkEntrySpans(fd, *dir, names);
        }
    }
    ::close(fd);
    if (!spans) {
        return spans;
    }
    if (Status s = checkProtection(); !s) {
        return s;
    }
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        byName_.try_emplace(entries_[i].name, i);
        byLowerName_.try_emplace(lowerAscii(entries_[i].name), i);
    }
    return Status::success();
}

// A backup is protected whole or not at all: one password, one method, for every entry. Anyone
// could otherwise put a plain entry (a signature, the accounts' registry text) into a protected
// backup without knowing its password, and the restore would use it. Each encrypted entry's key
// is then proved when it is read (the AES authentication code, the CRC).
Status Archive::checkProtection() const {
    const ArchiveEntryInfo* reference = nullptr;
    for (const ArchiveEntryInfo& e : entries_) {
        if (e.name == kInfoEntryName) {
            reference = &e;
            break;
        }
    }
    if (!reference || !reference->encrypted) {
        const ArchiveEntryInfo* firstEncrypted = nullptr;
        for (const ArchiveEntryInfo& e : entries_) {
            if (e.encrypted) {
                firstEncrypted = &e;
                break;
            }
        }
        if (!firstEncrypted) {
            return Status::success(); // not protected
        }
        if (reference) {
            return Status::failure("its information file \"" + reference->name +
                                   "\" is not encrypted while its entry \"" + firstEncrypted->name +
                                   "\" is; the backup may have been altered");
        }
        reference = firstEncrypted;
    }
    for (const ArchiveEntryInfo& e : entries_) {
        if (e.encryptionMethod != reference->encryptionMethod) {
            return Status::failure("it is protected, but its entry \"" + e.name + "\" is " +
                                   encryptionName(e.encryptionMethod) + " where \"" + reference->name +
                                   "\" is " + encryptionName(reference->encryptionMethod) +
                                   "; the backup may have been altered");
        }
    }
    return Status::success();
}

std::optional<ArchiveEntry> Archive::findEntry(const std::string& name) {
    if (!zip_ || creating_) {
        return std::nullopt;
    }
    if (auto it = byName_.find(name); it != byName_.end()) {
        return ArchiveEntry(*this, entries_[it->second]);
    }
    if (auto it = byLowerName_.find(lowerAscii(name)); it != byLowerName_.end()) {
        return ArchiveEntry(*this, entries_[it->second]);
    }
    return std::nullopt;
}

} // namespace qob
