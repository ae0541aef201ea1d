#pragma once
// The archive component behind every backup file: a zip archive (Zip64, deflate, optionally
// WinZip AES-256 with one password for all entries) whose entries are named by bare file name.
// It holds at most one archive at a time: one being created, or one opened for reading.
//
// Writing streams each file into the archive as it is read, so memory stays flat whatever the
// data size and progress follows bytes. Each file is deflated on two threads (ParallelDeflate) and
// written, encrypted in large blocks when a password is set, by the program's own ZipWriter:
// libzip is used for reading only. The archive is written into a hidden temporary file beside the
// target, flushed to disk and renamed over the target only when everything was written, so an
// earlier backup survives any failure, a power loss included.
#include "archive/ArchiveEvents.h"
#include "platform/DurableFile.h"
#include "platform/Status.h"

#include <atomic>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

typedef struct zip zip_t;

namespace qob {

inline constexpr const char* kInfoEntryName = "quirebox.dat";

struct ArchiveEntryInfo {
    std::uint64_t index = 0;
    // UTF-8: as stored when it is valid UTF-8 (ours, with the zip's UTF-8 flag), else read in the
    // archive's ANSI code page (the Windows-era program stored ANSI bytes without the flag).
    std::string name;
    std::uint64_t size = 0;
    std::uint64_t compressedSize = 0;
    bool encrypted = false;
    std::uint16_t encryptionMethod = 0; // ZIP_EM_* (1 = traditional, 0x0101..0x0103 = AES-128..256)
    bool symlink = false;
};

class Archive;

// An entry found by name in the open archive; valid until the archive is closed.
class ArchiveEntry {
public:
    ArchiveEntry(Archive& archive, ArchiveEntryInfo info) : archive_(&archive), info_(std::move(info)) {}
    const ArchiveEntryInfo& info() const { return info_; }
    const std::string& name() const { return info_.name; }
    // Writes the entry into `folder` under its own name.
    Status extractTo(const std::filesystem::path& folder) const;
    // Writes the entry to exactly `file`.
    Status extractToFile(const std::filesystem::path& file) const;
    // Writes the entry, checked and synced, to a hidden temporary file beside `file` (which it will
    // replace) and puts that file's path in `temp`; `file` itself is not touched. A restore gathers
    // every file this way before it changes anything.
    Status extractToTemp(const std::filesystem::path& file, std::filesystem::path& temp) const;

private:
    Archive* archive_;
    ArchiveEntryInfo info_;
};

// The hidden name prefix of the temporary file a backup is written to beside its target.
std::string archiveTempPrefix(const std::filesystem::path& target);

class Archive {
public:
    static constexpr int kDefaultLevel = 6;

    Archive();
    ~Archive();
    Archive(const Archive&) = delete;
    Archive& operator=(const Archive&) = delete;

    ArchiveEvents& events() { return events_; }
    void setWorkingFolder(const std::filesystem::path& folder) { workingFolder_ = folder; }
    const std::filesystem::path& workingFolder() const { return workingFolder_; }
    // How written files are flushed to disk (fsync when unset); tests watch it.
    void setSyncFunction(SyncFunction sync) { sync_ = std::move(sync); }
    // How dropCachedPages() makes the next reads of a file come from the medium (flush, then
    // posix_fadvise DONTNEED, when unset); tests watch it.
    using CacheDropFunction = std::function<void(const std::filesystem::path& file)>;
    void setCacheDropFunction(CacheDropFunction drop) { dropCache_ = std::move(drop); }
    const CacheDropFunction& cacheDropFunction() const { return dropCache_; }

    // --- writing -------------------------------------------------------------------------------
    // Starts a new, empty archive that writeArchive() stores at `path` (closing any open one).
    Status createArchive(const std::filesystem::path& path);
    // Adds `file` as an entry named by its bare file name; entries keep the order of the calls.
    Status addFiles(const std::filesystem::path& file);
    // Adds `file` under an explicit entry name (isSafeEntryPath).
    Status addFile(const std::filesystem::path& file, const std::string& entryName);
    // True when the archive being created already holds that name (compared without regard to
    // ASCII case, since the entries end up as files in a Windows folder).
    bool hasEntry(const std::string& entryName) const;
    // The files queued so far with their entry names, in the order of the calls: what a caller
    // needs to queue them again into an archive at another path.
    std::vector<std::pair<std::filesystem::path, std::string>> queuedFiles() const {
        std::vector<std::pair<std::filesystem::path, std::string>> out;
        for (const Pending& p : pending_) {
            out.emplace_back(p.file, p.name);
        }
        return out;
    }
    void setProtected(bool on) { protected_ = on; }
    bool isProtected() const { return protected_; }
    void setWritePassword(const std::string& password) { writePassword_ = password; }
    // Sets the password for both writing and reading.
    void setPassword(const std::string& password);
    // Deflate level 1..9 (0 stores); applied at writeArchive().
    Status setCompressionLevel(int level);
    int compressionLevel() const { return level_; }
    // Writes the archive; events().writeFinished is called before it returns, on success and on
    // failure. The archive is closed afterwards either way.
    Status writeArchive();

    // --- reading -------------------------------------------------------------------------------
    // True when the archive at `path` holds an encrypted entry; needs no password. False for a
    // file that cannot be read as an archive (opening it then says why).
    bool isPasswordProtected(const std::filesystem::path& path) const;
    // Opens the archive for reading. Refused before any data is read: a directory that does not
    // read the same way twice, entries that overlap, and a protected backup holding an entry that
    // is not encrypted the way its information file is (an entry swapped in without the password).
    Status openArchive(const std::filesystem::path& path);
    // Why the last openArchive() refused a file that is a readable zip (entries that overlap, an
    // entry not protected as the others are); "" when it opened or is no zip at all.
    const std::string& openRefusal() const { return openRefusal_; }
    void setReadPassword(const std::string& password) { readPassword_ = password; }
    // The ANSI code page of the target system (Windows-1252 unless set): what names stored without
    // UTF-8 and the passwords of Windows-era backups are read in. Set it before openArchive().
    void setCodePage(std::uint32_t codePage) { codePage_ = codePage; }
    std::uint32_t codePage() const { return codePage_; }
    // Proves the read password by reading `quirebox.dat` (or the smallest encrypted entry) to its
    // end and checking its CRC: the 2-byte AES verifier alone lets 1 in 65536 wrong ones through.
    // When the password's UTF-8 bytes fail, its bytes in the code page are tried (the Windows-era
    // program made its keys from those) and kept as the read password when they prove right.
    bool verifyPassword();
    // The first entry of that name (exact, else without regard to ASCII case), from an index made
    // once when the archive was opened.
    std::optional<ArchiveEntry> findEntry(const std::string& name);
    std::int64_t entryCount() const;
    std::vector<ArchiveEntryInfo> entries() const;
    Status extractTo(const ArchiveEntryInfo& entry, const std::filesystem::path& folder);
    Status extractToFile(const ArchiveEntryInfo& entry, const std::filesystem::path& file);
    Status extractToTemp(const ArchiveEntryInfo& entry, const std::filesystem::path& file,
                         std::filesystem::path& temp);
    // Reads a small entry whole into `text`, checked as any extraction; refused without reading
    // when it records more than `maxBytes`.
    Status readToMemory(const ArchiveEntryInfo& entry, std::uint64_t maxBytes, std::string& text);
    // Reads every entry to its end (CRC, AES authentication where libzip checks it); the failure
    // message lists each bad entry.
    Status verify();
    // Makes what is read next of the open archive come from the medium rather than from memory:
    // its file is flushed and its cached pages dropped. A read-back check after it proves that the
    // disk holds a good copy, not merely that the copy still in memory is good.
    void dropCachedPages();

    bool isOpen() const { return zip_ != nullptr || creating_; }
    bool isCreating() const { return creating_; }
    // Discards an archive being created (nothing is written) or closes one opened for reading.
    void closeArchive();

    // --- helpers -------------------------------------------------------------------------------
    // Removes `<target>.XXXXXX` files left by a write that was killed half-way (empty, or a zip
    // without its central directory, and no live writer holding it); a file of such a name that is
    // anything else is the user's.
    static void removeStaleTempFiles(const std::filesystem::path& target);
    // Bytes available to this user on the file system holding `folder`.
    static std::optional<std::uint64_t> freeSpace(const std::filesystem::path& folder);
    // A name that may be used as a file name inside one folder: no separators, no "..", no drive.
    static bool isSafeEntryName(const std::string& name);
    // Names the backup writes: a bare name, or bare names joined by "/" (at most three, as the
    // companion folders of signatures and stationery are stored).
    static bool isSafeEntryPath(const std::string& name);

    // Called as the files are read while writing.
    void noteBytesRead(std::uint64_t count);

private:
    struct Pending {
        std::filesystem::path file;
        std::string name;
        std::uint64_t size = 0;
        std::time_t mtime = 0;
    };

    Status fail(const std::string& what);
    // The archive itself, from the temporary file to the rename over the target.
    Status writeEntries();
    Status extractImpl(const ArchiveEntryInfo& entry, const std::filesystem::path& file,
                       std::filesystem::path* keepTemp);
    using EntrySink = std::function<Status(const char* data, std::size_t len, std::uint64_t done)>;
    // Reads the entry to its end, each block to `sink` (nowhere when it is empty).
    Status readEntry(std::uint64_t index, const EntrySink& sink);
    bool passwordReads(const ArchiveEntryInfo& probe, const std::string& password);
    std::optional<ArchiveEntryInfo> entryInfo(std::uint64_t index) const;
    // At opening (ArchiveDirectory.cpp): the entries listed and indexed once, and the checks on the
    // directory that need no data.
    Status loadDirectory();
    Status checkProtection() const;
    void reportExtract(std::uint64_t done, std::uint64_t total, int& last);
    // Whether the operation under way was asked to stop (asked once, then remembered).
    bool stopNow();

    ArchiveEvents events_;
    std::filesystem::path workingFolder_;
    std::filesystem::path path_;
    zip_t* zip_ = nullptr;
    bool creating_ = false;
    bool busy_ = false;
    bool protected_ = false;
    std::string writePassword_;
    std::string readPassword_;
    std::uint32_t codePage_ = 1252;
    std::string openRefusal_;
    std::vector<ArchiveEntryInfo> entries_;                    // of the archive open for reading
    std::unordered_map<std::string, std::size_t> byName_;      // name -> first entry of it
    std::unordered_map<std::string, std::size_t> byLowerName_; // ASCII-lowered name -> first
    int level_ = kDefaultLevel;
    std::vector<Pending> pending_;
    std::uint64_t totalBytes_ = 0;
    std::uint64_t bytesRead_ = 0;
    int lastPercent_ = -1;
    std::atomic<bool> stopped_{false};
    SyncFunction sync_;
    CacheDropFunction dropCache_;
};

} // namespace qob
