#include "restore/RestoreJournal.h"

#include "platform/DurableFile.h"
#include "platform/TargetSystemWords.h"
#include "registry/KeyHandle.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

namespace qob::journal {

namespace fs = std::filesystem;

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

namespace {

// Field 22 of /proc/<pid>/stat, after the command name (which may hold blanks and parentheses).
bool startTimeOf(long pid, unsigned long long& start) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::size_t close = text.rfind(')');
    if (close == std::string::npos) {
        return false;
    }
    std::istringstream fields(text.substr(close + 1));
    std::string field;
    for (int i = 3; i <= 22 && fields >> field; ++i) {
        if (i == 22) {
            start = std::strtoull(field.c_str(), nullptr, 10);
            return true;
        }
    }
    return false;
}

} // namespace

Owner currentOwner() {
    Owner o;
    o.pid = static_cast<long>(::getpid());
    startTimeOf(o.pid, o.start);
    return o;
}

std::string ownerLine(const Owner& owner) {
    return "O " + std::to_string(owner.pid) + " " + std::to_string(owner.start) + "\n";
}

bool parseOwner(const std::string& line, Owner& owner) {
    std::istringstream words(line);
    std::string kind;
    return words >> kind >> owner.pid >> owner.start && kind == "O" && owner.pid > 0;
}

bool ownerGone(const Owner& owner) {
    if (owner.pid <= 0 || owner.pid == static_cast<long>(::getpid())) {
        return true;
    }
    unsigned long long start = 0;
    if (startTimeOf(owner.pid, start)) {
        return start != owner.start; // another process got the pid since
    }
    if (::access("/proc/self/stat", R_OK) == 0) {
        return true; // /proc works and knows no such process
    }
    return ::kill(static_cast<pid_t>(owner.pid), 0) != 0 && errno == ESRCH;
}

void recordKey(Registry& registry, const std::string& keyPath, char tag, std::string& out) {
    std::string below = keyPath;
    const RegRoot root = registry.parseKeyPath(below);
    RegistryStore& store = registry.store();
    KeyHandle top(store);
    const bool exists = root != RegRoot::None && store.openKey(root, below, false, top.out()) == kRegSuccess;
    out += std::string(1, tag) + " " + hex(keyPath) + (exists ? " 1\n" : " 0\n");
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

std::string renameLine(const Rename& r) {
    return "F " + hex(r.temp.string()) + " " + hex(r.target.string()) + " " + hex(r.aside.string()) + "\n";
}

bool parseJournal(const std::string& text, Journal& journal) {
    std::istringstream in(text);
    std::string line;
    if (!std::getline(in, line) || (line != kHead && line != kHeadV1)) {
        return false;
    }
    const bool v2 = line == kHead;
    journal.canRollBack = v2;
    Key* current = nullptr;
    bool ended = false;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string kind, a, b, c, d;
        words >> kind;
        if (kind == "END") {
            ended = true;
            break;
        }
        if (kind == "O") {
            if (!parseOwner(line, journal.owner)) {
                return false;
            }
            journal.hasOwner = true;
        } else if (kind == "F") {
            std::string temp, target, aside;
            if (!(words >> a >> b) || !unhex(a, temp) || !unhex(b, target) || target.empty() ||
                (v2 && (!(words >> c) || !unhex(c, aside)))) {
                return false;
            }
            journal.renames.push_back({temp, target, aside});
        } else if (kind == "K" || kind == "B") {
            Key key;
            if (!(words >> a >> b) || !unhex(a, key.path) || (b != "0" && b != "1")) {
                return false;
            }
            key.exists = b == "1";
            auto& list = kind == "K" ? journal.after : journal.before;
            list.push_back(std::move(key));
            current = &list.back();
        } else if (kind == "k" && current) {
            std::string relative;
            if (!(words >> a) || !unhex(a, relative)) {
                return false;
            }
            current->keys.push_back(relative);
        } else if (kind == "v" && current) {
            std::string relative, name, data;
            std::uint32_t type = 0;
            if (!(words >> a >> type >> c >> d) || !unhex(a, relative) || !unhex(c, name) ||
                !unhex(d, data)) {
                return false;
            }
            current->values.push_back(
                {relative, RegValue{name, type, std::vector<std::uint8_t>(data.begin(), data.end())}});
        } else {
            return false;
        }
    }
    return ended;
}

Status replayKeys(Registry& registry, const std::vector<Key>& keys) {
    RegistryStore& store = registry.store();
    for (const Key& key : keys) {
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

namespace {

bool present(const fs::path& p) {
    struct stat st {};
    return ::lstat(p.c_str(), &st) == 0;
}

// The two names are one file (a hard link made by the commit).
bool sameFile(const fs::path& a, const fs::path& b) {
    struct stat sa {
    }, sb{};
    return ::lstat(a.c_str(), &sa) == 0 && ::lstat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

std::string why(const std::string& what, const fs::path& p) {
    return what + " " + p.string() + ": " + std::strerror(errno) + ".";
}

// Keeps the file at the target under its aside name as well. A second name leaves the target in
// place throughout; where the file system has no hard links it is moved aside instead, and the
// rename that follows fills the gap.
bool keepAside(const Rename& r, std::string& failure) {
    if (r.aside.empty() || present(r.aside) || !present(r.target)) {
        return true;
    }
    if (::link(r.target.c_str(), r.aside.c_str()) == 0 || ::rename(r.target.c_str(), r.aside.c_str()) == 0) {
        return true;
    }
    failure = why("Cannot keep the file it replaces beside", r.target);
    return false;
}

void append(std::string& failures, const std::string& failure) {
    failures += (failures.empty() ? "" : " ") + failure;
}

} // namespace

std::string rollForwardFiles(const std::vector<Rename>& renames) {
    std::string failures;
    for (const Rename& r : renames) {
        std::string failure;
        const bool pending = r.temp.empty() ? present(r.target) : present(r.temp);
        if (!pending) {
            continue; // moved before
        }
        if (!keepAside(r, failure)) {
            append(failures, failure);
            continue;
        }
        if (r.temp.empty()) {
            if (present(r.target) && ::unlink(r.target.c_str()) != 0) {
                append(failures, why("Cannot remove", r.target));
                continue;
            }
        } else if (::rename(r.temp.c_str(), r.target.c_str()) != 0) {
            append(failures, why("Cannot move the restored file into place as", r.target));
            continue;
        }
        syncFolder(r.target.parent_path());
    }
    return failures;
}

std::string rollBackFiles(const std::vector<Rename>& renames) {
    std::string failures;
    for (auto it = renames.rbegin(); it != renames.rend(); ++it) {
        const Rename& r = *it;
        const bool movedIn = !r.temp.empty() && !present(r.temp);
        if (!r.temp.empty() && !movedIn && ::unlink(r.temp.c_str()) != 0) {
            append(failures, why("Cannot remove", r.temp));
            continue;
        }
        if (!r.aside.empty()) {
            if (!present(r.aside)) {
                continue; // never set aside: the target was not touched
            }
            const bool ok = sameFile(r.aside, r.target) ? ::unlink(r.aside.c_str()) == 0
                                                        : ::rename(r.aside.c_str(), r.target.c_str()) == 0;
            if (!ok) {
                append(failures, why("Cannot put back", r.target));
                continue;
            }
        } else if (movedIn && present(r.target)) {
            // A new file the restore brought (its temporary name is gone, so it was moved in).
            if (::unlink(r.target.c_str()) != 0) {
                append(failures, why("Cannot remove", r.target));
                continue;
            }
        }
        syncFolder(r.target.parent_path());
    }
    return failures;
}

void removeJournal(const fs::path& journal) {
    std::error_code ec;
    fs::remove(journal, ec);
    syncFolder(journal.parent_path());
}

std::string savedFailure(RegResult rc) {
    return rc == kRegAccessDenied ? std::string(words::kRegistryNotSaved)
                                  : "The registry could not be saved (error " + std::to_string(rc) + ").";
}

void removeAsides(const std::vector<Rename>& renames) {
    for (const Rename& r : renames) {
        if (!r.aside.empty() && present(r.aside)) {
            ::unlink(r.aside.c_str());
            syncFolder(r.aside.parent_path());
        }
    }
}

bool movesDone(const std::vector<Rename>& renames) {
    for (const Rename& r : renames) {
        if (r.temp.empty() ? present(r.target) : present(r.temp)) {
            return false;
        }
    }
    return true;
}

void removeFoldersMade(const std::vector<fs::path>& folders) {
    for (auto it = folders.rbegin(); it != folders.rend(); ++it) {
        std::error_code ec;
        if (fs::is_directory(fs::symlink_status(*it, ec)) && fs::is_empty(*it, ec) && !ec) {
            fs::remove(*it, ec);
        }
    }
}

} // namespace qob::journal
