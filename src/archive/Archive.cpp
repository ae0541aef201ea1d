#include "archive/Archive.h"

#include "archive/EntryReader.h"
#include "archive/FileEntryWriter.h"
#include "archive/ZipWriter.h"
#include "platform/PathText.h"
#include "platform/TextEncoding.h"

#include <zip.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace qob {
namespace fs = std::filesystem;

namespace {

// Makes the next reads of `file` come from the medium. Only clean pages can be dropped: the flush
// makes them so (a no-op for a file already synced, as a new backup is).
void dropFileCache(const fs::path& file) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        ::fdatasync(fd);
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
        ::close(fd);
    }
}

std::string quoted(const fs::path& p) {
    return "\"" + p.string() + "\"";
}

std::string lowerAscii(std::string s) {
    for (char& c : s) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return s;
}

bool writeAll(int fd, const char* data, size_t len) {
    while (len > 0) {
        ssize_t w = ::write(fd, data, len);
        if (w < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data += w;
        len -= static_cast<size_t>(w);
    }
    return true;
}

} // namespace

Status ArchiveEntry::extractTo(const fs::path& folder) const {
    return archive_->extractTo(info_, folder);
}

Status ArchiveEntry::extractToFile(const fs::path& file) const {
    return archive_->extractToFile(info_, file);
}

Status ArchiveEntry::extractToTemp(const fs::path& file, fs::path& temp) const {
    return archive_->extractToTemp(info_, file, temp);
}

Archive::Archive() = default;

Archive::~Archive() {
    busy_ = false;
    closeArchive();
}

Status Archive::fail(const std::string& what) {
    return Status::failure(what);
}

void Archive::closeArchive() {
    if (busy_) {
        return; // a handler called back into us in the middle of a write; the write closes it
    }
    if (zip_) {
        zip_discard(zip_);
        zip_ = nullptr;
    }
    entries_.clear();
    byName_.clear();
    byLowerName_.clear();
    creating_ = false;
    pending_.clear();
    totalBytes_ = 0;
    path_.clear();
}

void Archive::setPassword(const std::string& password) {
    writePassword_ = password;
    readPassword_ = password;
}

Status Archive::setCompressionLevel(int level) {
    if (level < 0 || level > 9) {
        return fail("Compression level " + std::to_string(level) + " is outside 0 to 9.");
    }
    level_ = level;
    return Status::success();
}

// --- writing -----------------------------------------------------------------------------------

Status Archive::createArchive(const fs::path& path) {
    if (busy_) {
        return fail("The archive is busy writing; try again when it has finished.");
    }
    closeArchive();
    if (path.empty() || path.filename().empty()) {
        return fail("No backup file name was given.");
    }
    std::error_code ec;
    fs::path folder = path.parent_path().empty() ? fs::path(".") : path.parent_path();
    if (!fs::is_directory(folder, ec)) {
        return fail("Cannot create the backup file " + quoted(path) + ": the folder " + quoted(folder) +
                    " does not exist.");
    }
    if (fs::is_directory(path, ec)) {
        return fail("Cannot create the backup file " + quoted(path) + ": a folder of that name exists.");
    }
    // Nothing is written before writeArchive(), which makes the new archive in a temporary file of
    // its own; the earlier file is never read.
    creating_ = true;
    path_ = path;
    return Status::success();
}

bool Archive::isSafeEntryName(const std::string& name) {
    if (name.empty() || name.size() > 255 || name == "." || name == ".." || !textenc::isValidUtf8(name)) {
        return false;
    }
    for (char c : name) {
        if (c == '/' || c == '\\' || c == ':' || static_cast<unsigned char>(c) < 0x20) {
            return false;
        }
    }
    return true;
}

bool Archive::isSafeEntryPath(const std::string& name) {
    if (name.size() > 255) {
        return false;
    }
    int parts = 0;
    for (std::size_t pos = 0; pos <= name.size(); ++parts) {
        std::size_t end = name.find('/', pos);
        if (end == std::string::npos) {
            end = name.size();
        }
        if (parts == 3 || !isSafeEntryName(name.substr(pos, end - pos))) {
            return false;
        }
        pos = end + 1;
    }
    return true;
}

bool Archive::hasEntry(const std::string& entryName) const {
    const std::string key = lowerAscii(entryName);
    return std::any_of(pending_.begin(), pending_.end(),
                       [&](const Pending& p) { return lowerAscii(p.name) == key; });
}

Status Archive::addFiles(const fs::path& file) {
    return addFile(file, file.filename().string());
}

Status Archive::addFile(const fs::path& file, const std::string& entryName) {
    if (busy_) {
        return fail("The archive is busy writing; try again when it has finished.");
    }
    if (!isCreating()) {
        return fail("Cannot add " + quoted(file) + ": no backup file is being created.");
    }
    if (!isSafeEntryPath(entryName)) {
        return fail("Cannot add " + quoted(file) + ": \"" + entryName + "\" is not a valid bare file name.");
    }
    if (hasEntry(entryName)) {
        return fail("Cannot add " + quoted(file) + ": the backup already holds an entry named \"" +
                    entryName + "\".");
    }
    int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return fail("Cannot read " + quoted(file) + ": " + std::strerror(errno));
    }
    struct stat st {};
    int statResult = ::fstat(fd, &st);
    ::close(fd);
    if (statResult != 0 || !S_ISREG(st.st_mode)) {
        return fail("Cannot add " + quoted(file) + ": it is not a regular file.");
    }
    pending_.push_back({file, entryName, static_cast<std::uint64_t>(st.st_size), st.st_mtime});
    totalBytes_ += static_cast<std::uint64_t>(st.st_size);
    if (events_.fileAdded) {
        events_.fileAdded(entryName);
    }
    return Status::success();
}

bool Archive::stopNow() {
    if (!stopped_ && events_.stopRequested && events_.stopRequested()) {
        stopped_ = true;
    }
    return stopped_;
}

void Archive::noteBytesRead(std::uint64_t count) {
    bytesRead_ += count;
    if (totalBytes_ == 0) {
        return;
    }
    int percent = static_cast<int>(std::min<std::uint64_t>(100, bytesRead_ * 100 / totalBytes_));
    if (percent > lastPercent_) {
        lastPercent_ = percent;
        if (events_.writeProgress) {
            events_.writeProgress(percent);
        }
    }
}

Status Archive::writeArchive() {
    auto finish = [this](Status result) {
        fs::path target = path_;
        busy_ = false;
        closeArchive();
        if (!result) {
            // The temporary file goes with its writer; this also catches one that could not go.
            removeStaleTempFiles(target);
        }
        if (events_.writeFinished) {
            events_.writeFinished(result);
        }
        return result;
    };
    if (busy_) {
        return fail("The archive is busy writing; try again when it has finished.");
    }
    if (!isCreating()) {
        return finish(fail("No backup file is being created; nothing was written."));
    }
    if (pending_.empty()) {
        // An archive with no entries is no backup: the earlier file, if any, stays.
        return finish(fail("The backup holds no files; " + quoted(path_) + " was not written."));
    }
    if (protected_ && writePassword_.empty()) {
        return finish(
            fail("Protection is on but no password was given; " + quoted(path_) + " was not written."));
    }
    for (const Pending& p : pending_) {
        // The finished archive is renamed over the target: were the target one of the files it
        // holds (a backup named after a data file), that file would be gone, replaced by a zip.
        std::error_code ec;
        if (fs::equivalent(p.file, path_, ec)) {
            return finish(fail("The backup file " + quoted(path_) + " is one of the files it would hold (" +
                               quoted(p.file) + "); it was not written."));
        }
    }
    removeStaleTempFiles(path_);
    bytesRead_ = 0;
    lastPercent_ = -1;
    stopped_ = false;
    busy_ = true;
    noteBytesRead(0);
    Status written = writeEntries();
    busy_ = false;
    if (!written && (written.cancelled || stopped_)) {
        return finish(Status::stopped("The backup was cancelled; " + quoted(path_) + " was not written."));
    }
    if (!written) {
        return finish(fail("Cannot write the backup file " + quoted(path_) + ": " + written.message));
    }
    if (lastPercent_ < 100) {
        lastPercent_ = 100;
        if (events_.writeProgress) {
            events_.writeProgress(100);
        }
    }
    return finish(Status::success());
}

Status Archive::writeEntries() {
    // The new archive goes to a temporary file of ours that replaces an earlier one, durably, only
    // once it is whole.
    DurableReplace out(path_, archiveTempPrefix(path_), sync_);
    if (!out.ok()) {
        return out.error();
    }
    ZipWriter zip(out.fd(), protected_ ? writePassword_ : std::string());
    for (const Pending& p : pending_) {
        FileEntrySpec spec;
        spec.file = p.file;
        spec.name = p.name;
        spec.size = p.size;
        spec.mtime = p.mtime;
        spec.level = level_;
        spec.onRead = [this, &p](std::uint64_t n) {
            noteBytesRead(n);
            if (events_.bytes) {
                events_.bytes(p.name, bytesRead_, totalBytes_);
            }
        };
        spec.stop = [this] { return stopNow(); };
        if (Status s = writeFileEntry(zip, spec); !s) {
            return s; // the temporary file goes with `out`
        }
    }
    if (Status s = zip.finish(); !s) {
        return s;
    }
    if (Status s = out.commit(); !s) {
        return s;
    }
    // A backup is written once and read rarely: its pages would only push the user's own files
    // out of memory.
    dropFileCache(path_);
    return Status::success();
}

// --- reading -----------------------------------------------------------------------------------

bool Archive::isPasswordProtected(const fs::path& path) const {
    int err = 0;
    zip_t* z = zip_open(pathText(path).c_str(), ZIP_RDONLY, &err);
    if (!z) {
        return false;
    }
    bool found = false;
    zip_int64_t n = zip_get_num_entries(z, 0);
    for (zip_int64_t i = 0; i < n && !found; ++i) {
        zip_stat_t st;
        if (zip_stat_index(z, static_cast<zip_uint64_t>(i), 0, &st) == 0 &&
            (st.valid & ZIP_STAT_ENCRYPTION_METHOD) && st.encryption_method != ZIP_EM_NONE) {
            found = true;
        }
    }
    zip_discard(z);
    return found;
}

Status Archive::openArchive(const fs::path& path) {
    if (busy_) {
        return fail("The archive is busy writing; try again when it has finished.");
    }
    closeArchive();
    openRefusal_.clear();
    int err = 0;
    // No ZIP_CHECKCONS: archives of the earlier program may hold two entries of one name.
    zip_ = zip_open(pathText(path).c_str(), ZIP_RDONLY, &err);
    if (!zip_) {
        zip_error_t ze;
        zip_error_init_with_code(&ze, err);
        std::string why = zip_error_strerror(&ze);
        zip_error_fini(&ze);
        return fail("Cannot open the backup file " + quoted(path) + ": " + why);
    }
    creating_ = false;
    path_ = path;
    if (Status s = loadDirectory(); !s) {
        closeArchive();
        openRefusal_ = s.message;
        return fail("Cannot open the backup file " + quoted(path) + ": " + s.message);
    }
    return Status::success();
}

std::int64_t Archive::entryCount() const {
    if (!zip_ || creating_) {
        return creating_ ? static_cast<std::int64_t>(pending_.size()) : 0;
    }
    return static_cast<std::int64_t>(entries_.size());
}

std::optional<ArchiveEntryInfo> Archive::entryInfo(std::uint64_t index) const {
    zip_stat_t st;
    // The name's own bytes: libzip would read a name without the UTF-8 flag as CP437, where the
    // Windows-era program wrote the system's ANSI code page.
    if (zip_stat_index(zip_, index, ZIP_FL_ENC_RAW, &st) != 0 || !(st.valid & ZIP_STAT_NAME)) {
        return std::nullopt;
    }
    ArchiveEntryInfo info;
    info.index = index;
    info.name = textenc::storedTextToUtf8(st.name, codePage_);
    info.size = (st.valid & ZIP_STAT_SIZE) ? st.size : 0;
    info.compressedSize = (st.valid & ZIP_STAT_COMP_SIZE) ? st.comp_size : 0;
    info.encryptionMethod = (st.valid & ZIP_STAT_ENCRYPTION_METHOD) ? st.encryption_method : 0;
    info.encrypted = info.encryptionMethod != ZIP_EM_NONE;
    zip_uint8_t opsys = 0;
    zip_uint32_t attributes = 0;
    if (zip_file_get_external_attributes(zip_, index, 0, &opsys, &attributes) == 0 &&
        opsys == ZIP_OPSYS_UNIX) {
        info.symlink = ((attributes >> 16) & S_IFMT) == S_IFLNK;
    }
    return info;
}

std::vector<ArchiveEntryInfo> Archive::entries() const {
    if (!zip_ || creating_) {
        return {};
    }
    return entries_;
}

void Archive::reportExtract(std::uint64_t done, std::uint64_t total, int& last) {
    int percent = total == 0 ? 100 : static_cast<int>(std::min<std::uint64_t>(100, done * 100 / total));
    if (percent > last) {
        last = percent;
        if (events_.extractProgress) {
            events_.extractProgress(percent);
        }
    }
}

// Reads the entry to its end, into fd (or nowhere when fd < 0): the data is inflated on a second
// thread while this one writes it, and its size and CRC are checked (and, for AES, the
// authentication code, which libzip checks at the end).
Status Archive::readEntry(std::uint64_t index, const EntrySink& sink) {
    if (index >= entries_.size()) {
        return fail("Entry #" + std::to_string(index) + " cannot be read: it is not in the archive.");
    }
    const ArchiveEntryInfo& info = entries_[index];
    const std::uint64_t size = info.size;
    EntryReadRequest request;
    request.index = index;
    request.name = info.name;
    request.size = info.size;
    request.password = readPassword_;
    int last = -1;
    EntryReadHandlers handlers;
    handlers.stopNow = [this] { return stopNow(); };
    handlers.take = [&](const char* data, std::size_t len, std::uint64_t done) {
        if (sink) {
            if (Status s = sink(data, len, done); !s) {
                return s;
            }
        }
        reportExtract(done, size, last);
        if (events_.bytes) {
            events_.bytes(info.name, done, size);
        }
        return Status::success();
    };
    // Busy while the handlers run, and free again however the read ends (a handler may throw).
    struct Busy {
        bool& flag;
        ~Busy() { flag = false; }
    } busy{busy_};
    busy_ = true;
    return readEntryData(zip_, request, handlers);
}

bool Archive::passwordReads(const ArchiveEntryInfo& probe, const std::string& password) {
    const std::string kept = readPassword_;
    readPassword_ = password;
    const bool ok = readEntry(probe.index, {}).ok;
    if (!ok) {
        readPassword_ = kept;
    }
    return ok;
}

bool Archive::verifyPassword() {
    if (!zip_ || creating_ || busy_) {
        return false;
    }
    const ArchiveEntryInfo* probe = nullptr;
    for (const auto& e : entries_) {
        if (e.encrypted && e.name == kInfoEntryName) {
            probe = &e;
            break;
        }
    }
    if (!probe) {
        for (const auto& e : entries_) {
            if (e.encrypted && (!probe || e.size < probe->size)) {
                probe = &e;
            }
        }
    }
    if (!probe) {
        return true; // nothing is protected, so any password reads it
    }
    if (passwordReads(*probe, readPassword_)) {
        return true;
    }
    // The Windows-era program made its keys from the password's ANSI bytes.
    const std::optional<std::string> ansi = textenc::utf8ToAnsi(readPassword_, codePage_);
    return ansi && *ansi != readPassword_ && passwordReads(*probe, *ansi);
}

Status Archive::extractTo(const ArchiveEntryInfo& entry, const fs::path& folder) {
    if (!isSafeEntryName(entry.name)) {
        return fail("The entry \"" + entry.name + "\" is not a bare file name; it is not extracted.");
    }
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) {
        return fail("Cannot extract \"" + entry.name + "\": the folder " + quoted(folder) +
                    " does not exist.");
    }
    return extractImpl(entry, folder / fs::path(entry.name), nullptr);
}

Status Archive::extractToFile(const ArchiveEntryInfo& entry, const fs::path& file) {
    return extractImpl(entry, file, nullptr);
}

Status Archive::extractToTemp(const ArchiveEntryInfo& entry, const fs::path& file, fs::path& temp) {
    return extractImpl(entry, file, &temp);
}

Status Archive::extractImpl(const ArchiveEntryInfo& entry, const fs::path& file, fs::path* keepTemp) {
    stopped_ = false;
    if (busy_) {
        return fail("The archive is busy; try again when it has finished.");
    }
    if (!zip_ || creating_) {
        return fail("Cannot extract \"" + entry.name + "\": no backup file is open.");
    }
    if (entry.symlink) {
        return fail("The entry \"" + entry.name + "\" is a symbolic link; it is not extracted.");
    }
    fs::path folder = file.parent_path().empty() ? fs::path(".") : file.parent_path();
    std::string base = file.filename().string();
    // A file kept for a restore's commit waits unlocked under a name of its own: the clean-ups of
    // `.qobtmp-` leftovers (a backup's, in any folder) must never take it for a killed run's.
    const std::string tempPrefix =
        "." + (base.size() > 200 ? std::string("entry") : base) + (keepTemp ? ".qobnew-" : ".qobtmp-");
    // A restore killed half-way left its hidden temporary file beside the target; the name is ours
    // alone, so the next extraction of the same file clears it unless a live run is writing it.
    removeAbandonedTemporaries(folder, tempPrefix);
    DurableReplace out(file, tempPrefix, sync_);
    if (!out.ok()) {
        return fail("Cannot extract \"" + entry.name + "\" into " + quoted(folder) + ": " +
                    out.error().message);
    }
    // The restored file takes the place of the old one with the old one's mode and owner, so a
    // mail file that only its user could read stays that way; a link planted at its name is
    // replaced, never followed. A new file gets the usual mode and, when we run as root in another
    // user's prefix, the folder's owner: Wine runs as that user and must be able to write it.
    const int fd = out.fd();
    const EntrySink toFile = [&](const char* data, std::size_t len, std::uint64_t done) {
        if (!writeAll(fd, data, len)) {
            return fail("\"" + entry.name + "\": cannot write the extracted data: " + std::strerror(errno) +
                        ".");
        }
        // Start writing the block to disk now rather than all at the final flush, so the disk
        // works while the rest is inflated; the flush then has little left to wait for.
        ::sync_file_range(fd, static_cast<off_t>(done - len), static_cast<off_t>(len), SYNC_FILE_RANGE_WRITE);
        return Status::success();
    };
    if (Status s = readEntry(entry.index, toFile); !s) {
        return s;
    }
    if (keepTemp) {
        if (Status s = out.keep(); !s) {
            return fail("Cannot write " + quoted(file) + ": " + s.message);
        }
        *keepTemp = out.tempPath();
    } else if (Status s = out.commit(); !s) {
        return fail("Cannot write " + quoted(file) + ": " + s.message);
    }
    if (events_.fileExtracted) {
        events_.fileExtracted(entry.name);
    }
    return Status::success();
}

Status Archive::readToMemory(const ArchiveEntryInfo& entry, std::uint64_t maxBytes, std::string& text) {
    text.clear();
    stopped_ = false;
    if (busy_) {
        return fail("The archive is busy; try again when it has finished.");
    }
    if (!zip_ || creating_) {
        return fail("Cannot read \"" + entry.name + "\": no backup file is open.");
    }
    if (entry.size > maxBytes) {
        return fail("\"" + entry.name + "\" holds " + std::to_string(entry.size) +
                    " bytes, more than such an entry can.");
    }
    // The reader never hands over more than the recorded size, so the text stays within the limit.
    Status s = readEntry(entry.index, [&](const char* data, std::size_t len, std::uint64_t) {
        text.append(data, len);
        return Status::success();
    });
    if (!s) {
        text.clear();
    }
    return s;
}

Status Archive::verify() {
    if (!zip_ || creating_) {
        return fail("No backup file is open.");
    }
    if (busy_) {
        return fail("The archive is busy; try again when it has finished.");
    }
    std::string bad;
    stopped_ = false;
    for (const auto& e : entries_) {
        Status s = readEntry(e.index, {});
        if (s.cancelled) {
            return s;
        }
        if (!s) {
            bad += (bad.empty() ? "" : "; ") + s.message;
        }
    }
    if (!bad.empty()) {
        return fail("The backup file " + quoted(path_) + " is damaged: " + bad);
    }
    return Status::success();
}

void Archive::dropCachedPages() {
    if (!zip_ || creating_ || path_.empty()) {
        return;
    }
    if (dropCache_) {
        dropCache_(path_);
        return;
    }
    dropFileCache(path_);
}

// --- helpers -----------------------------------------------------------------------------------

std::string archiveTempPrefix(const fs::path& target) {
    return "." + target.filename().string() + ".qobtmp-";
}

void Archive::removeStaleTempFiles(const fs::path& target) {
    fs::path folder = target.parent_path().empty() ? fs::path(".") : target.parent_path();
    // Our own hidden temporary names are no one else's: whatever a killed write left there goes,
    // a finished zip included (a kill between the last flush and the rename leaves one), and so
    // do those of backups of other names (the default and automatic names are dated, so a killed
    // backup's file would otherwise never be met again). A live writer holds its file locked; a
    // restore's files waiting for their commit are named differently (".qobnew-").
    // Names people give their own copies ("mail.qob.201611", "mail.qob.broken") are never ours.
    removeAbandonedHiddenTemporaries(folder, ".qobtmp-");
}

std::optional<std::uint64_t> Archive::freeSpace(const fs::path& folder) {
    struct statvfs st {};
    if (::statvfs(folder.c_str(), &st) != 0) {
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(st.f_bavail) * static_cast<std::uint64_t>(st.f_frsize);
}

} // namespace qob
