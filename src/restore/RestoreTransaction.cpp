#include "restore/RestoreTransaction.h"

#include "platform/DurableFile.h"
#include "restore/RestoreJournal.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <random>

namespace qob {

namespace fs = std::filesystem;

using namespace journal;

namespace {

// The journal must be whole or absent: written beside, synced, renamed, the folder synced.
Status writeJournal(const fs::path& journal, const std::string& text) {
    if (Status s = replaceFileDurably(journal, text, journal.filename().string() + "."); !s) {
        return Status::failure("Cannot write the restore journal " + journal.string() + ": " + s.message);
    }
    return Status::success();
}

// The name the replaced file waits under until the commit is done; hidden, beside it.
fs::path asideName(const fs::path& target, const fs::path& temp) {
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::string suffix;
    const std::string tempName = temp.filename().string();
    if (tempName.size() > 6) {
        suffix = tempName.substr(tempName.size() - 6);
    } else {
        std::random_device seed;
        std::mt19937 random(seed());
        std::uniform_int_distribution<std::size_t> pick(0, sizeof kLetters - 2);
        for (int i = 0; i < 6; ++i) {
            suffix += kLetters[pick(random)];
        }
    }
    return target.parent_path() / ("." + target.filename().string() + ".qobold-" + suffix);
}

} // namespace

RestoreTransaction::RestoreTransaction(TargetContext& platform)
    : platform_(platform), journal_(restoreJournalPath(platform)), staging_(restoreStagingPath(platform)) {
    platform_.registry.holdChanges();
}

RestoreTransaction::~RestoreTransaction() {
    if (open_) {
        rollback();
    }
}

Status RestoreTransaction::aboutToWrite(const fs::path& target) {
    return noteInStaging("T " + hex(target.string()) + "\n");
}

Status RestoreTransaction::aboutToCreateFolders(const std::vector<fs::path>& folders) {
    std::string lines;
    for (const fs::path& folder : folders) {
        lines += "D " + hex(folder.string()) + "\n";
    }
    return lines.empty() ? Status::success() : noteInStaging(lines);
}

Status RestoreTransaction::noteInStaging(const std::string& lines) {
    // The list starts with who writes it: another run clears it only once this process is gone.
    const std::string line = (stagingStarted_ ? "" : ownerLine(currentOwner())) + lines;
    const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (stagingStarted_ ? O_APPEND : O_TRUNC);
    const int fd = ::open(staging_.c_str(), flags, 0600);
    if (fd < 0) {
        return Status::failure("Cannot note the files being restored in " + staging_.string() + ": " +
                               std::strerror(errno));
    }
    const bool written =
        ::write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size()) && ::fsync(fd) == 0;
    const std::string why = std::strerror(errno);
    ::close(fd);
    if (!written) {
        return Status::failure("Cannot note the files being restored in " + staging_.string() + ": " + why);
    }
    stagingStarted_ = true;
    return Status::success();
}

void RestoreTransaction::removeStaging() {
    std::error_code ec;
    if (fs::remove(staging_, ec)) {
        syncFolder(staging_.parent_path());
    }
    stagingStarted_ = false;
}

void RestoreTransaction::stage(const fs::path& temp, const fs::path& target) {
    for (auto it = staged_.begin(); it != staged_.end();) {
        if (it->target == target) {
            std::error_code ec;
            if (!it->temp.empty()) {
                fs::remove(it->temp, ec);
            }
            it = staged_.erase(it);
        } else {
            ++it;
        }
    }
    staged_.push_back({temp, target});
}

void RestoreTransaction::touchKey(const std::string& keyPath) {
    for (const std::string& k : keys_) {
        if (k == keyPath) {
            return;
        }
    }
    keys_.push_back(keyPath);
    std::string lines;
    recordKey(platform_.registry, keyPath, 'B', lines);
    before_.push_back(std::move(lines));
}

bool RestoreTransaction::isStaged(const fs::path& target) const {
    for (const Staged& s : staged_) {
        if (s.target == target) {
            return true;
        }
    }
    return false;
}

void RestoreTransaction::createdFolder(const fs::path& folder) {
    if (std::find(createdFolders_.begin(), createdFolders_.end(), folder) == createdFolders_.end()) {
        createdFolders_.push_back(folder);
    }
}

void RestoreTransaction::removeCreatedFolders() {
    removeFoldersMade(createdFolders_);
    createdFolders_.clear();
}

void RestoreTransaction::rollback() {
    for (const Staged& s : staged_) {
        std::error_code ec;
        if (!s.temp.empty()) {
            fs::remove(s.temp, ec);
        }
    }
    staged_.clear();
    removeCreatedFolders();
    if (platform_.registry.holdingChanges()) {
        platform_.registry.dropHeldChanges();
    }
    removeStaging();
    open_ = false;
}

// A rename that cannot happen (a folder where the file goes, a folder gone or not writable) found
// before anything moved costs nothing; found half-way through the commit it costs a rollback.
Status RestoreTransaction::checkMoves() const {
    for (const Staged& s : staged_) {
        struct stat st {};
        const fs::path folder = s.target.parent_path();
        std::string problem;
        const bool present = ::lstat(s.target.c_str(), &st) == 0;
        if (s.temp.empty() && !present) {
            continue; // a removal of what is not there: nothing to move
        }
        if (present && S_ISDIR(st.st_mode)) {
            problem = s.target.string() + " is a folder, so the restored file cannot take its place";
        } else if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
            problem = "the folder " + folder.string() + " is not there";
        } else if (::access(folder.c_str(), W_OK | X_OK) != 0) {
            problem =
                "the folder " + folder.string() + " cannot be written to (" + std::strerror(errno) + ")";
        } else if (!s.temp.empty() && ::lstat(s.temp.c_str(), &st) != 0) {
            problem = "the restored file for " + s.target.string() + " is gone (" + s.temp.string() + ")";
        }
        if (!problem.empty()) {
            return Status::failure("Cannot restore " + s.target.filename().string() + ": " + problem + ".");
        }
    }
    return Status::success();
}

Status RestoreTransaction::commit() {
    Registry& registry = platform_.registry;
    if (Status s = checkMoves(); !s) {
        rollback();
        return Status::failure(s.message + " Nothing was restored.");
    }
    std::vector<Rename> renames;
    for (const Staged& s : staged_) {
        struct stat st {};
        const bool replaces = ::lstat(s.target.c_str(), &st) == 0;
        renames.push_back({s.temp, s.target, replaces ? asideName(s.target, s.temp) : fs::path()});
    }
    std::string text = std::string(kHead) + "\n" + ownerLine(currentOwner());
    for (const Rename& r : renames) {
        text += renameLine(r);
    }
    for (const std::string& key : keys_) {
        recordKey(registry, key, 'K', text);
    }
    for (const std::string& lines : before_) {
        text += lines;
    }
    text += "END\n";
    if (Status s = writeJournal(journal_, text); !s) {
        rollback();
        return Status::failure(s.message + " Nothing was restored.");
    }
    // From here the journal knows every temporary file.
    removeStaging();
    // The registry first: when it cannot be saved (Wine started meanwhile) no file has moved yet.
    if (RegResult rc = registry.saveHeldChanges(); rc != kRegSuccess) {
        rollback();
        removeJournal(journal_);
        return Status::failure(savedFailure(rc) + " Nothing was restored.");
    }
    open_ = false;
    staged_.clear();
    if (std::string failures = rollForwardFiles(renames); !failures.empty()) {
        // Half a restore is worse than none: everything goes back as it was.
        Journal parsed;
        const bool parsedOk = parseJournal(text, parsed);
        std::string undone = parsedOk ? rollBackFiles(parsed.renames) : "the journal cannot be read back";
        if (undone.empty()) {
            std::reverse(parsed.before.begin(), parsed.before.end());
            registry.holdChanges();
            Status keys = replayKeys(registry, parsed.before);
            const RegResult rc = keys ? registry.saveHeldChanges() : kRegSuccess;
            if (!keys || rc != kRegSuccess) {
                registry.dropHeldChanges();
                undone = keys ? savedFailure(rc) : keys.message;
            }
        }
        if (undone.empty()) {
            removeJournal(journal_);
            removeCreatedFolders();
            return Status::failure(failures + " Nothing was restored.");
        }
        // The journal stays: the next run completes the restore, or undoes it when asked to; the
        // folders it made stay for its files.
        createdFolders_.clear();
        return Status::failure(failures + " The restore could not be completed and could not be undone (" +
                               undone + "). " + kAbandonAdvice);
    }
    // Final: what was kept aside is no longer needed; the journal goes last, so a kill before it
    // leaves a journal whose moves are all done, which the next run simply clears.
    removeAsides(renames);
    removeJournal(journal_);
    createdFolders_.clear();
    return Status::success();
}

} // namespace qob
