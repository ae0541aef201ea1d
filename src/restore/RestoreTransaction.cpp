#include "restore/RestoreTransaction.h"

#include "platform/DurableFile.h"
#include "registry/KeyHandle.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

namespace qob {

namespace fs = std::filesystem;

namespace {

constexpr char kJournalName[] = ".quire-restore-journal";
constexpr char kStagingName[] = ".quire-restore-staging";
constexpr char kJournalHead[] = "QOB-RESTORE-JOURNAL 1";

// Every field is hex, so names and paths of any bytes fit one line and one word.
std::string hex(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() * 2 + 1);
    out += 'x'; // keeps an empty field one word
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

bool unhex(const std::string& text, std::string& out) {
    if (text.empty() || text[0] != 'x' || text.size() % 2 != 1) {
        return false;
    }
    auto nibble = [](char c) {
        return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
    };
    out.clear();
    for (std::size_t i = 1; i + 1 < text.size(); i += 2) {
        const int hi = nibble(text[i]), lo = nibble(text[i + 1]);
        if (hi < 0 || lo < 0) {
            return false;
        }
        out += static_cast<char>(hi * 16 + lo);
    }
    return true;
}

// The journal must be whole or absent: written beside, synced, renamed, the folder synced.
Status writeJournal(const fs::path& journal, const std::string& text) {
    if (Status s = replaceFileDurably(journal, text, journal.filename().string() + "."); !s) {
        return Status::failure("Cannot write the restore journal " + journal.string() + ": " + s.message);
    }
    return Status::success();
}

// The tree of one key as journal lines: "K key exists", then "k relative" and
// "v relative type name data" lines, so that nothing of any type is lost on replay.
void recordKey(Registry& registry, const std::string& keyPath, std::string& out) {
    std::string below = keyPath;
    const RegRoot root = registry.parseKeyPath(below);
    RegistryStore& store = registry.store();
    KeyHandle top(store);
    const bool exists = root != RegRoot::None && store.openKey(root, below, false, top.out()) == kRegSuccess;
    out += "K " + hex(keyPath) + (exists ? " 1\n" : " 0\n");
    if (!exists) {
        return;
    }
    std::vector<std::string> pending{""};
    while (!pending.empty()) {
        const std::string relative = pending.back();
        pending.pop_back();
        KeyHandle key(store);
        if (store.openKey(root, below + relative, false, key.out()) != kRegSuccess) {
            continue;
        }
        out += "k " + hex(relative) + "\n";
        RegValue value;
        for (std::uint32_t i = 0; store.enumValue(key.get(), i, value) == kRegSuccess; ++i) {
            out += "v " + hex(relative) + " " + std::to_string(value.type) + " " + hex(value.name) + " " +
                   hex(std::string(value.data.begin(), value.data.end())) + "\n";
        }
        std::vector<std::string> children;
        std::string name;
        for (std::uint32_t i = 0; store.enumKey(key.get(), i, name) == kRegSuccess; ++i) {
            children.push_back(relative + "\\" + name);
        }
        pending.insert(pending.end(), children.rbegin(), children.rend());
    }
}

struct JournalKey {
    std::string path;
    bool exists = false;
    std::vector<std::string> keys; // relative paths, parents first
    std::vector<std::pair<std::string, RegValue>> values;
};

struct Journal {
    std::vector<std::pair<fs::path, fs::path>> renames;
    std::vector<JournalKey> keys;
};

bool parseJournal(const std::string& text, Journal& journal) {
    std::istringstream in(text);
    std::string line;
    if (!std::getline(in, line) || line != kJournalHead) {
        return false;
    }
    bool ended = false;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string kind, a, b, c, d;
        words >> kind;
        if (kind == "END") {
            ended = true;
            break;
        }
        if (kind == "F") {
            std::string from, to;
            if (!(words >> a >> b) || !unhex(a, from) || !unhex(b, to)) {
                return false;
            }
            journal.renames.emplace_back(from, to);
        } else if (kind == "K") {
            JournalKey key;
            if (!(words >> a >> b) || !unhex(a, key.path) || (b != "0" && b != "1")) {
                return false;
            }
            key.exists = b == "1";
            journal.keys.push_back(std::move(key));
        } else if (kind == "k" && !journal.keys.empty()) {
            std::string relative;
            if (!(words >> a) || !unhex(a, relative)) {
                return false;
            }
            journal.keys.back().keys.push_back(relative);
        } else if (kind == "v" && !journal.keys.empty()) {
            std::string relative, name, data;
            std::uint32_t type = 0;
            if (!(words >> a >> type >> c >> d) || !unhex(a, relative) || !unhex(c, name) ||
                !unhex(d, data)) {
                return false;
            }
            journal.keys.back().values.push_back(
                {relative, RegValue{name, type, std::vector<std::uint8_t>(data.begin(), data.end())}});
        } else {
            return false;
        }
    }
    return ended;
}

// Puts each key of the journal into the state it records (changes held, saved by the caller).
Status replayKeys(Registry& registry, const std::vector<JournalKey>& keys) {
    RegistryStore& store = registry.store();
    for (const JournalKey& key : keys) {
        if (registry.keyExists(key.path)) {
            if (RegResult rc = registry.deleteKeyTree(key.path); rc != kRegSuccess) {
                return Status::failure("Cannot replace the registry key " + key.path + " (error " +
                                       std::to_string(rc) + ").");
            }
        }
        if (!key.exists) {
            continue;
        }
        std::string below = key.path;
        const RegRoot root = registry.parseKeyPath(below);
        for (const std::string& relative : key.keys) {
            KeyHandle handle(store);
            if (RegResult rc = store.createKey(root, below + relative, handle.out()); rc != kRegSuccess) {
                return Status::failure("Cannot create the registry key " + key.path + relative + " (error " +
                                       std::to_string(rc) + ").");
            }
        }
        for (const auto& [relative, value] : key.values) {
            KeyHandle handle(store);
            RegResult rc = store.createKey(root, below + relative, handle.out());
            if (rc == kRegSuccess) {
                rc = store.setValue(handle.get(), value.name, value.type, value.data);
            }
            if (rc != kRegSuccess) {
                return Status::failure("Cannot write the registry value " + value.name + " of " + key.path +
                                       relative + " (error " + std::to_string(rc) + ").");
            }
        }
    }
    return Status::success();
}

// An empty `temp` stands for a file the restore removes.
Status moveIntoPlace(const fs::path& temp, const fs::path& target) {
    if (temp.empty()) {
        if (::unlink(target.c_str()) != 0 && errno != ENOENT) {
            return Status::failure("Cannot remove " + target.string() + ": " + std::strerror(errno));
        }
        syncFolder(target.parent_path());
        return Status::success();
    }
    if (::rename(temp.c_str(), target.c_str()) != 0) {
        return Status::failure("Cannot move the restored file into place as " + target.string() + ": " +
                               std::strerror(errno));
    }
    syncFolder(target.parent_path());
    return Status::success();
}

std::string savedFailure(Registry& registry, RegResult rc) {
    (void)registry;
    return rc == kRegAccessDenied
               ? "The registry is in use by Wine (the prefix's wineserver is running), so it could not be "
                 "saved. Close the programs running in that Wine prefix and try again."
               : "The registry could not be saved (error " + std::to_string(rc) + ").";
}

} // namespace

fs::path restoreJournalPath(const Platform& platform) {
    return (platform.systemFolder.empty() ? platform.programFolder : platform.systemFolder) / kJournalName;
}

fs::path restoreStagingPath(const Platform& platform) {
    return (platform.systemFolder.empty() ? platform.programFolder : platform.systemFolder) / kStagingName;
}

namespace {

// The hidden temporary files an extraction for `target` makes (see Archive::extractToTemp).
void removeTemporariesOf(const fs::path& target) {
    removeAbandonedTemporaries(target.parent_path(), "." + target.filename().string() + ".qobtmp-");
}

// A restore killed before its commit: its temporary files go, the target stays as it was.
void clearStaging(const fs::path& staging) {
    std::ifstream in(staging, std::ios::binary);
    std::string line, target;
    while (std::getline(in, line)) {
        if (line.size() > 2 && line.compare(0, 2, "T ") == 0 && unhex(line.substr(2), target)) {
            removeTemporariesOf(target);
        }
    }
    std::error_code ec;
    fs::remove(staging, ec);
    syncFolder(staging.parent_path());
}

} // namespace

RestoreTransaction::RestoreTransaction(Platform& platform)
    : platform_(platform), journal_(restoreJournalPath(platform)), staging_(restoreStagingPath(platform)) {
    platform_.registry.holdChanges();
}

RestoreTransaction::~RestoreTransaction() {
    if (open_) {
        rollback();
    }
}

Status RestoreTransaction::aboutToWrite(const fs::path& target) {
    const std::string line = "T " + hex(target.string()) + "\n";
    const int fd = ::open(staging_.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
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
    return Status::success();
}

void RestoreTransaction::removeStaging() {
    std::error_code ec;
    if (fs::remove(staging_, ec)) {
        syncFolder(staging_.parent_path());
    }
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
}

bool RestoreTransaction::isStaged(const fs::path& target) const {
    for (const Staged& s : staged_) {
        if (s.target == target) {
            return true;
        }
    }
    return false;
}

void RestoreTransaction::rollback() {
    for (const Staged& s : staged_) {
        std::error_code ec;
        if (!s.temp.empty()) {
            fs::remove(s.temp, ec);
        }
    }
    staged_.clear();
    if (platform_.registry.holdingChanges()) {
        platform_.registry.dropHeldChanges();
    }
    removeStaging();
    open_ = false;
}

Status RestoreTransaction::commit() {
    Registry& registry = platform_.registry;
    std::string text = std::string(kJournalHead) + "\n";
    for (const Staged& s : staged_) {
        text += "F " + hex(s.temp.string()) + " " + hex(s.target.string()) + "\n";
    }
    for (const std::string& key : keys_) {
        recordKey(registry, key, text);
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
        std::error_code ec;
        fs::remove(journal_, ec);
        syncFolder(journal_.parent_path());
        return Status::failure(savedFailure(registry, rc) + " Nothing was restored.");
    }
    std::string failures;
    for (const Staged& s : staged_) {
        if (Status moved = moveIntoPlace(s.temp, s.target); !moved) {
            failures += (failures.empty() ? "" : " ") + moved.message;
        }
    }
    open_ = false;
    if (!failures.empty()) {
        // The journal stays: the next run on this target system moves what is left.
        return Status::failure(failures +
                               " The restore will be completed by the next run on this target system.");
    }
    staged_.clear();
    std::error_code ec;
    fs::remove(journal_, ec);
    syncFolder(journal_.parent_path());
    return Status::success();
}

Status completeInterruptedRestore(Platform& platform) {
    const fs::path journalPath = restoreJournalPath(platform);
    std::error_code ec;
    // A journal that was being written when the run was killed: its commit never began.
    removeAbandonedTemporaries(journalPath.parent_path(), journalPath.filename().string() + ".");
    if (!fs::exists(journalPath, ec)) {
        if (fs::exists(restoreStagingPath(platform), ec)) {
            clearStaging(restoreStagingPath(platform));
        }
        return Status::success();
    }
    std::ifstream in(journalPath, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    Journal journal;
    if (!in.good() && !in.eof()) {
        return Status::failure("Cannot read the journal of an interrupted restore, " + journalPath.string() +
                               ".");
    }
    if (!parseJournal(text, journal)) {
        return Status::failure(
            "The journal of an interrupted restore, " + journalPath.string() +
            ", is damaged; the restore cannot be completed. Restore the backup again, then "
            "delete that file.");
    }
    Registry& registry = platform.registry;
    registry.holdChanges();
    if (Status s = replayKeys(registry, journal.keys); !s) {
        registry.dropHeldChanges();
        return Status::failure("An interrupted restore could not be completed: " + s.message);
    }
    if (RegResult rc = registry.saveHeldChanges(); rc != kRegSuccess) {
        registry.dropHeldChanges();
        return Status::failure("An interrupted restore could not be completed: " +
                               savedFailure(registry, rc));
    }
    std::string failures;
    for (const auto& [temp, target] : journal.renames) {
        if (!temp.empty() && !fs::exists(temp, ec)) {
            continue; // moved before the run was killed
        }
        if (Status moved = moveIntoPlace(temp, target); !moved) {
            failures += (failures.empty() ? "" : " ") + moved.message;
        }
    }
    if (!failures.empty()) {
        return Status::failure("An interrupted restore could not be completed: " + failures);
    }
    fs::remove(restoreStagingPath(platform), ec);
    fs::remove(journalPath, ec);
    syncFolder(journalPath.parent_path());
    return Status::success();
}

} // namespace qob
