#include "platform/wine/WinePrefixRegistry.h"

#include "platform/DurableFile.h"
#include "platform/wine/WineRegistryText.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qob {

using wine::WineRegistryFile;
using wine::WineRegistryKey;
using wine::WineRegistryValue;

namespace {

enum HiveIndex { kUserHive = 0, kMachineHive = 1, kDefaultUserHive = 2 };
constexpr int kNoHive = -1;

struct HiveInfo {
    const char* fileName;
    std::string_view rootPath;
};
constexpr HiveInfo kHiveInfo[3] = {
    {"user.reg", wine::kUserRootPath},
    {"system.reg", wine::kMachineRootPath},
    {"userdef.reg", wine::kUserDefaultRootPath},
};
const std::u16string kDefaultUserName = u".Default";
const std::u16string kUserSid = u"S-1-5-21-0-0-0-1000";
constexpr int kMaxLinkHops = 16;
constexpr RegResult kInvalidHandle = 6; // ERROR_INVALID_HANDLE

bool isStringType(std::uint32_t type) {
    return type == kRegSz || type == kRegExpandSz || type == kRegMultiSz;
}

bool splitPath(const std::string& path, std::vector<std::u16string>& out) {
    out.clear();
    std::u16string units;
    if (!wine::utf8ToUtf16(path, units))
        return false;
    std::size_t i = 0;
    while (i < units.size()) {
        while (i < units.size() && units[i] == u'\\')
            ++i;
        const std::size_t start = i;
        while (i < units.size() && units[i] != u'\\')
            ++i;
        if (i > start)
            out.emplace_back(units.substr(start, i - start));
    }
    return true;
}

// Stored bytes -> what the interface hands out: strings as UTF-8 with one terminating NUL counted.
std::vector<std::uint8_t> toInterfaceData(const WineRegistryValue& value) {
    if (!isStringType(value.type))
        return value.data;
    std::u16string units(value.data.size() / 2, u'\0');
    for (std::size_t i = 0; i < units.size(); ++i)
        units[i] = static_cast<char16_t>(value.data[2 * i] | (value.data[2 * i + 1] << 8));
    std::string text;
    wine::appendUtf8(units, text);
    if (units.empty() || units.back() != 0)
        text.push_back('\0');
    return std::vector<std::uint8_t>(text.begin(), text.end());
}

bool toStoredData(std::uint32_t type, const std::vector<std::uint8_t>& data, std::vector<std::uint8_t>& out) {
    if (!isStringType(type)) {
        out = data;
        return true;
    }
    std::u16string units;
    if (!wine::utf8ToUtf16(std::string_view(reinterpret_cast<const char*>(data.data()), data.size()), units))
        return false;
    if (units.empty() || units.back() != 0)
        units.push_back(0);
    out.clear();
    out.reserve(units.size() * 2);
    for (char16_t u : units) {
        out.push_back(static_cast<std::uint8_t>(u & 0xff));
        out.push_back(static_cast<std::uint8_t>(u >> 8));
    }
    return true;
}

struct FileStamp {
    bool exists = false;
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = 0;
    timespec mtime{};
    mode_t mode = 0;
    uid_t uid = 0;
    gid_t gid = 0;

    static FileStamp of(const std::filesystem::path& path) {
        FileStamp s;
        struct stat st {};
        if (::stat(path.c_str(), &st) == 0) {
            s.exists = true;
            s.dev = st.st_dev;
            s.ino = st.st_ino;
            s.size = st.st_size;
            s.mtime = st.st_mtim;
            s.mode = st.st_mode;
            s.uid = st.st_uid;
            s.gid = st.st_gid;
        }
        return s;
    }
    bool sameAs(const FileStamp& o) const {
        if (exists != o.exists)
            return false;
        return !exists || (dev == o.dev && ino == o.ino && size == o.size && mtime.tv_sec == o.mtime.tv_sec &&
                           mtime.tv_nsec == o.mtime.tv_nsec);
    }
};

} // namespace

struct WinePrefixRegistry::Hive {
    enum class State { NotLoaded, Loaded, Failed } state = State::NotLoaded;
    std::filesystem::path path;
    std::unique_ptr<WineRegistryFile> file;
    std::string error;
    std::vector<std::string> warnings;
    FileStamp stamp; // the file as it was when loaded or last saved
    bool dirty = false;
    std::uint64_t generation = 0; // bumped by every (re)load
    std::uint64_t checkedInOp = 0;
    std::chrono::steady_clock::time_point checkedAt{};
    bool lookAgain = false; // the next call looks at the file whatever the interval
};

struct WinePrefixRegistry::Location {
    int hive = kNoHive;
    std::vector<std::u16string> path; // below the hive's root, links followed
    WineRegistryKey* key = nullptr;
    bool usersRoot = false; // the HKEY_USERS root itself, which only lists the hives under it
    bool classes = false;
    WineRegistryKey* machineClassesKey = nullptr; // the machine side of a classes key found for the user
};

struct WinePrefixRegistry::Handle {
    RegRoot root = RegRoot::None;
    int hive = kNoHive;
    std::vector<std::u16string> path;
    std::weak_ptr<WineRegistryKey> key;
    std::uint64_t generation = 0;
    bool usersRoot = false;
    std::vector<std::u16string> classesPath; // for HKEY_CLASSES_ROOT handles, resolved on each use
};

WinePrefixRegistry::WinePrefixRegistry(std::filesystem::path prefix)
    : WinePrefixRegistry(std::move(prefix), Options{}) {}

WinePrefixRegistry::WinePrefixRegistry(std::filesystem::path prefix, Options options)
    : prefix_(std::move(prefix)), options_(std::move(options)), probe_(prefix_) {
    if (!options_.clock)
        options_.clock = [] { return wine::fileTimeNow(); };
    for (int i = 0; i < 3; ++i) {
        hives_[i] = std::make_unique<Hive>();
        hives_[i]->path = prefix_ / kHiveInfo[i].fileName;
    }
}

WinePrefixRegistry::~WinePrefixRegistry() = default;

bool WinePrefixRegistry::serverRunning() const {
    return serverRunningNow(true);
}

bool WinePrefixRegistry::serverRunningNow(bool thorough) const {
    const auto now = std::chrono::steady_clock::now();
    if (thorough || now - serverCheckedAt_ > std::chrono::milliseconds(100)) {
        serverWasRunning_ = probe_.running(thorough);
        serverCheckedAt_ = now;
    }
    return serverWasRunning_;
}

std::vector<std::string> WinePrefixRegistry::loadWarnings() const {
    std::vector<std::string> out;
    for (const auto& hive : hives_)
        out.insert(out.end(), hive->warnings.begin(), hive->warnings.end());
    return out;
}

std::vector<std::string> WinePrefixRegistry::loadErrors() const {
    std::vector<std::string> out;
    for (const auto& hive : hives_)
        if (hive->state == Hive::State::Failed)
            out.push_back(hive->error);
    return out;
}

RegResult WinePrefixRegistry::fail(RegResult code, std::string why) {
    lastError_ = std::move(why);
    return code;
}

WinePrefixRegistry::Hive* WinePrefixRegistry::hiveAt(int index) {
    return hives_[static_cast<std::size_t>(index)].get();
}

std::string WinePrefixRegistry::prefixArch() {
    if (!arch_.empty())
        return arch_;
    // A fresh file must carry the prefix's architecture, or Wine refuses it: take it from any file
    // that has one.
    for (const auto& info : kHiveInfo) {
        std::FILE* f = std::fopen((prefix_ / info.fileName).c_str(), "rb");
        if (!f)
            continue;
        char line[256];
        for (int i = 0; i < 8 && std::fgets(line, sizeof line, f); ++i) {
            if (!std::strncmp(line, "#arch=win32", 11) || !std::strncmp(line, "#arch=win64", 11)) {
                std::fclose(f);
                return std::string(line + 6, 5);
            }
        }
        std::fclose(f);
    }
    // No file tells: a guess that is wrong makes Wine refuse the whole file (and never save it
    // again), while a file with no "#arch=" line is read by every build.
    return {};
}

void WinePrefixRegistry::loadHive(int index) {
    Hive& hive = *hiveAt(index);
    hive.warnings.clear();
    hive.error.clear();
    hive.dirty = false;
    ++hive.generation;
    hive.stamp = FileStamp::of(hive.path);
    const std::uint64_t now = options_.clock();
    if (!hive.stamp.exists) {
        hive.file =
            std::make_unique<WineRegistryFile>(std::string(kHiveInfo[index].rootPath), prefixArch(), now);
        hive.state = Hive::State::Loaded;
        return;
    }
    wine::WineRegistryLoadResult result;
    auto file = WineRegistryFile::load(hive.path, now, result);
    hive.warnings = std::move(result.warnings);
    if (result.ok && !file.arch().empty()) {
        if (arch_.empty()) {
            arch_ = file.arch();
        } else if (arch_ != file.arch()) {
            result.ok = false;
            result.error = std::string(kHiveInfo[index].fileName) +
                           ": Mismatched architecture '#arch=" + file.arch() +
                           "' (the prefix's other files say " + arch_ + ")";
        }
    }
    if (!result.ok) {
        hive.state = Hive::State::Failed;
        hive.error = result.error;
        hive.file.reset();
        return;
    }
    hive.file = std::make_unique<WineRegistryFile>(std::move(file));
    hive.state = Hive::State::Loaded;
}

RegResult WinePrefixRegistry::ensureLoaded(int index) {
    Hive& hive = *hiveAt(index);
    const auto now = std::chrono::steady_clock::now();
    if (hive.state == Hive::State::NotLoaded) {
        loadHive(index);
        hive.checkedInOp = nextHandle_;
        hive.checkedAt = now;
    } else if (!hive.dirty && hive.checkedInOp != nextHandle_ &&
               (hive.lookAgain || now - hive.checkedAt >= options_.reloadCheckInterval)) {
        hive.lookAgain = false;
        // Pick up a file changed on disk (Wine ran meanwhile), but at most once per call (raw
        // key pointers of this call must stay valid) and only while we hold no changes of our
        // own: a reload would drop them.
        hive.checkedInOp = nextHandle_;
        hive.checkedAt = now;
        if (!FileStamp::of(hive.path).sameAs(hive.stamp))
            loadHive(index);
    }
    if (hive.state == Hive::State::Failed)
        return fail(kRegBadDb, hive.error);
    return kRegSuccess;
}

RegResult WinePrefixRegistry::checkWritable(int hiveIndex) {
    if (hiveIndex == kNoHive)
        return fail(kRegAccessDenied, "HKEY_USERS itself cannot be changed");
    if (const RegResult rc = ensureLoaded(hiveIndex); rc != kRegSuccess)
        return rc;
    if (serverRunningNow(false))
        return fail(kRegAccessDenied, "the wineserver of " + prefix_.string() + " is running (pid " +
                                          std::to_string(probe_.ownerPid()) +
                                          "); its registry cannot be changed until it exits");
    return kRegSuccess;
}

void WinePrefixRegistry::touch(int hiveIndex, WineRegistryKey& key) {
    key.modified = options_.clock();
    hiveAt(hiveIndex)->dirty = true;
}

RegResult WinePrefixRegistry::walk(int hiveIndex, const std::vector<std::u16string>& path, bool create,
                                   Location& out) {
    if (const RegResult rc = ensureLoaded(hiveIndex); rc != kRegSuccess)
        return rc;
    out = Location{};
    out.hive = hiveIndex;
    WineRegistryKey* key = &hiveAt(hiveIndex)->file->root();
    int hops = 0;
    for (const auto& name : path) {
        WineRegistryKey* next = key->findSubkey(name);
        if (!next) {
            if (!create)
                return fail(kRegNotFound, "key not found: " + wine::toUtf8(name));
            if (const RegResult rc = checkWritable(out.hive); rc != kRegSuccess)
                return rc;
            next = key->ensureSubkey(name);
            touch(out.hive, *key);
            touch(out.hive, *next);
        }
        key = next;
        out.path.push_back(key->name());
        // Follow symbolic links (Wow6432Node mirrors, CurrentControlSet) as the server does.
        while (key->isLink) {
            if (++hops > kMaxLinkHops)
                return fail(kRegNotFound, "too many symbolic links below " + wine::toUtf8(name));
            const WineRegistryValue* target = key->findValue(u"SymbolicLinkValue");
            if (!target || target->type != kRegLink)
                break;
            std::string text;
            {
                std::u16string units(target->data.size() / 2, u'\0');
                for (std::size_t i = 0; i < units.size(); ++i)
                    units[i] = static_cast<char16_t>(target->data[2 * i] | (target->data[2 * i + 1] << 8));
                while (!units.empty() && units.back() == 0)
                    units.pop_back();
                text = wine::toUtf8(units);
            }
            std::vector<std::u16string> parts;
            splitPath(text, parts);
            int targetHive = kNoHive;
            std::size_t skip = 0;
            if (parts.size() >= 2 && wine::namesEqual(parts[0], u"Registry") &&
                wine::namesEqual(parts[1], u"Machine")) {
                targetHive = kMachineHive, skip = 2;
            } else if (parts.size() >= 3 && wine::namesEqual(parts[0], u"Registry") &&
                       wine::namesEqual(parts[1], u"User")) {
                if (wine::namesEqual(parts[2], kDefaultUserName))
                    targetHive = kDefaultUserHive, skip = 3;
                else if (wine::namesEqual(parts[2], kUserSid))
                    targetHive = kUserHive, skip = 3;
            }
            if (targetHive == kNoHive)
                return fail(kRegNotFound, "symbolic link to an unknown place: " + text);
            if (const RegResult rc = ensureLoaded(targetHive); rc != kRegSuccess)
                return rc;
            out.hive = targetHive;
            out.path.assign(parts.begin() + static_cast<std::ptrdiff_t>(skip), parts.end());
            key = &hiveAt(targetHive)->file->root();
            for (auto& part : out.path) {
                key = key->findSubkey(part);
                if (!key)
                    return fail(kRegNotFound, "symbolic link to a missing key: " + text);
                part = key->name();
            }
        }
    }
    out.key = key;
    return kRegSuccess;
}

RegResult WinePrefixRegistry::locate(RegRoot root, const std::vector<std::u16string>& path, bool create,
                                     Location& out) {
    switch (root) {
    case RegRoot::CurrentUser:
        return walk(kUserHive, path, create, out);
    case RegRoot::LocalMachine:
        return walk(kMachineHive, path, create, out);
    case RegRoot::Users: {
        if (path.empty()) {
            out = Location{};
            out.usersRoot = true;
            return kRegSuccess;
        }
        const std::vector<std::u16string> rest(path.begin() + 1, path.end());
        if (wine::namesEqual(path[0], kDefaultUserName))
            return walk(kDefaultUserHive, rest, create, out);
        if (wine::namesEqual(path[0], kUserSid))
            return walk(kUserHive, rest, create, out);
        return fail(create ? kRegAccessDenied : kRegNotFound,
                    "HKEY_USERS holds only .Default and S-1-5-21-0-0-0-1000 in a Wine prefix");
    }
    case RegRoot::ClassesRoot: {
        std::vector<std::u16string> full{u"Software", u"Classes"};
        full.insert(full.end(), path.begin(), path.end());
        Location user;
        const RegResult rcUser = walk(kUserHive, full, false, user);
        if (rcUser != kRegSuccess && rcUser != kRegNotFound)
            return rcUser;
        Location machine;
        const RegResult rcMachine = walk(kMachineHive, full, create && rcUser != kRegSuccess, machine);
        if (rcUser == kRegSuccess) {
            out = std::move(user);
            if (rcMachine == kRegSuccess && machine.hive == kMachineHive)
                out.machineClassesKey = machine.key;
        } else {
            if (rcMachine != kRegSuccess)
                return rcMachine;
            out = std::move(machine);
        }
        out.classes = true;
        lastError_.clear();
        return kRegSuccess;
    }
    default:
        return fail(create ? kRegAccessDenied : kRegNotFound, "this root key holds nothing in a Wine prefix");
    }
}

RegHandle WinePrefixRegistry::addHandle(Handle handle) {
    const RegHandle id = nextHandle_++;
    handles_.emplace(id, std::move(handle));
    return id;
}

RegResult WinePrefixRegistry::resolve(RegHandle id, Location& out, Handle** entry) {
    const auto it = handles_.find(id);
    if (it == handles_.end())
        return fail(kInvalidHandle, "invalid registry handle");
    Handle& handle = it->second;
    if (entry)
        *entry = &handle;
    if (handle.usersRoot) {
        out = Location{};
        out.usersRoot = true;
        return kRegSuccess;
    }
    if (handle.root == RegRoot::ClassesRoot) {
        const RegResult rc = locate(RegRoot::ClassesRoot, handle.classesPath, false, out);
        return rc == kRegNotFound ? fail(kRegKeyDeleted, "the key was deleted") : rc;
    }
    if (const RegResult rc = ensureLoaded(handle.hive); rc != kRegSuccess)
        return rc;
    Hive& hive = *hiveAt(handle.hive);
    out = Location{};
    out.hive = handle.hive;
    out.path = handle.path;
    if (handle.generation == hive.generation) {
        const auto key = handle.key.lock();
        if (!key)
            return fail(kRegKeyDeleted, "the key was deleted");
        out.key = key.get();
        return kRegSuccess;
    }
    // The file was reloaded: find the key again by its path.
    WineRegistryKey* key = &hive.file->root();
    for (const auto& name : handle.path) {
        key = key->findSubkey(name);
        if (!key)
            return fail(kRegKeyDeleted, "the key was deleted");
    }
    out.key = key;
    handle.generation = hive.generation;
    handle.key = key->parent() ? key->parent()->subkeyPtr(key->name()) : hive.file->rootPtr();
    return kRegSuccess;
}

RegResult WinePrefixRegistry::openKey(RegRoot root, const std::string& path, bool forWrite, RegHandle& out) {
    (void)forWrite; // access is checked when a write happens, as the server refuses it then
    ++nextHandle_;
    lastError_.clear();
    std::vector<std::u16string> parts;
    if (!splitPath(path, parts))
        return fail(kRegNotFound, "the key path is not valid UTF-8");
    Location loc;
    if (const RegResult rc = locate(root, parts, false, loc); rc != kRegSuccess)
        return rc;
    Handle handle;
    handle.root = root;
    handle.usersRoot = loc.usersRoot;
    if (root == RegRoot::ClassesRoot) {
        handle.classesPath = parts;
    } else if (!loc.usersRoot) {
        handle.hive = loc.hive;
        handle.path = loc.path;
        handle.generation = hiveAt(loc.hive)->generation;
        handle.key = loc.key->parent() ? loc.key->parent()->subkeyPtr(loc.key->name())
                                       : hiveAt(loc.hive)->file->rootPtr();
    }
    out = addHandle(std::move(handle));
    return kRegSuccess;
}

RegResult WinePrefixRegistry::createKey(RegRoot root, const std::string& path, RegHandle& out) {
    ++nextHandle_;
    lastError_.clear();
    std::vector<std::u16string> parts;
    if (!splitPath(path, parts))
        return fail(kRegInvalidData, "the key path is not valid UTF-8");
    Location loc;
    if (const RegResult rc = locate(root, parts, true, loc); rc != kRegSuccess)
        return rc;
    return openKey(root, path, true, out);
}

RegResult WinePrefixRegistry::closeKey(RegHandle key) {
    lastError_.clear();
    return handles_.erase(key) ? kRegSuccess : fail(kInvalidHandle, "invalid registry handle");
}

RegResult WinePrefixRegistry::enumKey(RegHandle key, std::uint32_t index, std::string& name) {
    ++nextHandle_;
    lastError_.clear();
    Location loc;
    if (const RegResult rc = resolve(key, loc); rc != kRegSuccess)
        return rc;
    if (loc.usersRoot) {
        if (index >= 2)
            return kRegNoMoreItems;
        name = wine::toUtf8(index == 0 ? kDefaultUserName : kUserSid);
        return kRegSuccess;
    }
    const auto& own = loc.key->subkeys();
    if (!loc.machineClassesKey || loc.machineClassesKey->subkeys().empty()) {
        if (index >= own.size())
            return kRegNoMoreItems;
        name = wine::toUtf8(own[index]->name());
        return kRegSuccess;
    }
    // The union of the user's and the machine's class keys, in order, the user's name winning.
    const auto& other = loc.machineClassesKey->subkeys();
    std::size_t i = 0, j = 0, n = 0;
    while (i < own.size() || j < other.size()) {
        const WineRegistryKey* pick;
        if (j >= other.size()) {
            pick = own[i++].get();
        } else if (i >= own.size()) {
            pick = other[j++].get();
        } else {
            const int c = wine::compareNames(own[i]->name(), other[j]->name());
            pick = c <= 0 ? own[i].get() : other[j].get();
            if (c <= 0)
                ++i;
            if (c >= 0)
                ++j;
        }
        if (n++ == index) {
            name = wine::toUtf8(pick->name());
            return kRegSuccess;
        }
    }
    return kRegNoMoreItems;
}

RegResult WinePrefixRegistry::enumValue(RegHandle key, std::uint32_t index, RegValue& out) {
    ++nextHandle_;
    lastError_.clear();
    Location loc;
    if (const RegResult rc = resolve(key, loc); rc != kRegSuccess)
        return rc;
    if (loc.usersRoot || index >= loc.key->values().size())
        return kRegNoMoreItems;
    const WineRegistryValue& value = loc.key->values()[index];
    out.name = wine::toUtf8(value.name);
    out.type = value.type;
    out.data = toInterfaceData(value);
    return kRegSuccess;
}

RegResult WinePrefixRegistry::queryValue(RegHandle key, const std::string& name, RegValue& out) {
    ++nextHandle_;
    lastError_.clear();
    Location loc;
    if (const RegResult rc = resolve(key, loc); rc != kRegSuccess)
        return rc;
    std::u16string wanted;
    if (!wine::utf8ToUtf16(name, wanted))
        return fail(kRegNotFound, "the value name is not valid UTF-8");
    const WineRegistryValue* value = loc.usersRoot ? nullptr : loc.key->findValue(wanted);
    if (!value)
        return fail(kRegNotFound, "value not found: " + name);
    out.name = wine::toUtf8(value->name);
    out.type = value->type;
    out.data = toInterfaceData(*value);
    return kRegSuccess;
}

RegResult WinePrefixRegistry::setValue(RegHandle key, const std::string& name, std::uint32_t type,
                                       const std::vector<std::uint8_t>& data) {
    ++nextHandle_;
    lastError_.clear();
    Location loc;
    if (const RegResult rc = resolve(key, loc); rc != kRegSuccess)
        return rc;
    if (const RegResult rc = checkWritable(loc.usersRoot ? kNoHive : loc.hive); rc != kRegSuccess)
        return rc;
    std::u16string valueName;
    std::vector<std::uint8_t> stored;
    if (!wine::utf8ToUtf16(name, valueName))
        return fail(kRegInvalidData, "the value name is not valid UTF-8");
    if (!toStoredData(type, data, stored))
        return fail(kRegInvalidData, "the string data of " + name + " is not valid UTF-8");
    if (const WineRegistryValue* old = loc.key->findValue(valueName);
        old && old->type == type && old->data == stored)
        return kRegSuccess; // the server skips an identical write, leaving the key's time alone
    WineRegistryValue& value = loc.key->ensureValue(valueName);
    value.type = type;
    value.data = std::move(stored);
    touch(loc.hive, *loc.key);
    return kRegSuccess;
}

RegResult WinePrefixRegistry::deleteValue(RegHandle key, const std::string& name) {
    ++nextHandle_;
    lastError_.clear();
    Location loc;
    if (const RegResult rc = resolve(key, loc); rc != kRegSuccess)
        return rc;
    if (const RegResult rc = checkWritable(loc.usersRoot ? kNoHive : loc.hive); rc != kRegSuccess)
        return rc;
    std::u16string valueName;
    if (!wine::utf8ToUtf16(name, valueName) || !loc.key->removeValue(valueName))
        return fail(kRegNotFound, "value not found: " + name);
    touch(loc.hive, *loc.key);
    return kRegSuccess;
}

RegResult WinePrefixRegistry::deleteKey(RegHandle parent, const std::string& name) {
    ++nextHandle_;
    lastError_.clear();
    Location loc;
    Handle* handle = nullptr;
    if (const RegResult rc = resolve(parent, loc, &handle); rc != kRegSuccess)
        return rc;
    std::vector<std::u16string> parts;
    if (!splitPath(name, parts))
        return fail(kRegNotFound, "the key name is not valid UTF-8");
    if (loc.usersRoot)
        return fail(kRegAccessDenied, "HKEY_USERS itself cannot be changed");
    if (parts.empty())
        return fail(kRegAccessDenied, "a key cannot delete itself through an empty name");

    // Find the key to delete: the last name is not followed if it is a link (the link goes).
    auto findIn = [&](Location& base, Location& target) -> RegResult {
        std::vector<std::u16string> above(base.path);
        above.insert(above.end(), parts.begin(), parts.end() - 1);
        if (const RegResult rc = walk(base.hive, above, false, target); rc != kRegSuccess)
            return rc;
        return target.key->findSubkey(parts.back()) ? kRegSuccess
                                                    : fail(kRegNotFound, "key not found: " + name);
    };
    Location target;
    RegResult rc = findIn(loc, target);
    if (rc == kRegNotFound && loc.machineClassesKey) {
        // A classes key missing on the user's side may be the machine's.
        Location machine;
        std::vector<std::u16string> classes{u"Software", u"Classes"};
        classes.insert(classes.end(), handle->classesPath.begin(), handle->classesPath.end());
        if (walk(kMachineHive, classes, false, machine) == kRegSuccess)
            rc = findIn(machine, target);
    }
    if (rc != kRegSuccess)
        return rc;
    if (const RegResult w = checkWritable(target.hive); w != kRegSuccess)
        return w;
    WineRegistryKey* victim = target.key->findSubkey(parts.back());
    if (!victim->subkeys().empty())
        return fail(kRegAccessDenied, "the key " + name + " has subkeys; delete them first");
    target.key->removeSubkey(parts.back());
    touch(target.hive, *target.key);
    return kRegSuccess;
}

RegResult WinePrefixRegistry::flush() {
    ++nextHandle_;
    lastError_.clear();
    if (serverRunningNow(true))
        return fail(kRegAccessDenied, "the wineserver of " + prefix_.string() + " is running (pid " +
                                          std::to_string(probe_.ownerPid()) + "); nothing was saved");
    RegResult result = kRegSuccess;
    std::string errors;
    bool locked = false;
    for (int i = 0; i < 3; ++i) {
        if (hiveAt(i)->state != Hive::State::Loaded || !hiveAt(i)->dirty)
            continue;
        // A server starting while a file is replaced would load the old one and save it over
        // ours when it exits: keep it out (it fails to start) for as long as the files change.
        if (!locked && !(locked = probe_.holdLocks()))
            return fail(kRegAccessDenied, "the wineserver of " + prefix_.string() + " is running (pid " +
                                              std::to_string(probe_.ownerPid()) + "); nothing was saved");
        if (const RegResult rc = writeHive(i); rc != kRegSuccess) {
            result = rc;
            errors += (errors.empty() ? "" : "; ") + lastError_;
        }
    }
    if (locked)
        probe_.releaseLocks();
    serverCheckedAt_ = {};
    lastError_ = errors;
    return result;
}

RegResult WinePrefixRegistry::writeHive(int index) {
    Hive& hive = *hiveAt(index);
    const std::string fileName = kHiveInfo[index].fileName;
    if (!FileStamp::of(hive.path).sameAs(hive.stamp))
        return fail(kRegAccessDenied, fileName +
                                          " changed on disk since it was loaded; it was not overwritten, "
                                          "so those changes are kept and ours are not saved");
    // Write where the data really lives when the file is a symbolic link, so the link survives.
    std::filesystem::path target = hive.path;
    std::error_code ec;
    if (std::filesystem::is_symlink(target, ec)) {
        target = std::filesystem::canonical(target, ec);
        if (ec)
            return fail(kRegAccessDenied, fileName + ": cannot follow its symbolic link: " + ec.message());
    }
    const std::string text = hive.file->serialize();
    // Leftovers of a save that was killed half-way (no live writer holds them).
    removeAbandonedTemporaries(target.parent_path(), target.filename().string() + ".tmp-");
    DurableReplace out(target, target.filename().string() + ".tmp-", options_.sync);
    // The file must stay its owner's: Wine runs as the prefix's owner, and a file it cannot read
    // (root's, mode 0600) would be loaded as an empty hive and saved over ours. A new file is
    // Wine's usual 0644 and, when root writes it, the folder owner's.
    out.setNewFileMode(0644);
    // A failure here is not the server's doing: say what happened (a full disk, a read-only
    // folder), with its own code so that nobody reports it as "in use by Wine".
    if (!out.ok())
        return fail(kRegWriteFault, fileName + ": " + out.error().message + "; the file is unchanged");
    Status saved = out.write(text);
    if (saved)
        saved = out.commit();
    if (!saved)
        return fail(kRegWriteFault,
                    fileName + ": " + saved.message + (out.replaced() ? "" : "; the file is unchanged"));
    hive.stamp = FileStamp::of(hive.path);
    hive.dirty = false;
    return kRegSuccess;
}

RegResult WinePrefixRegistry::discardChanges() {
    ++nextHandle_;
    lastError_.clear();
    for (int i = 0; i < 3; ++i) {
        Hive& hive = *hiveAt(i);
        if (hive.state == Hive::State::Loaded && hive.dirty) {
            // Read again from the file on first use: what is on disk is what was last saved.
            hive.file.reset();
            hive.dirty = false;
            hive.state = Hive::State::NotLoaded;
        } else if (hive.state == Hive::State::Loaded) {
            // Someone else may have saved it a moment ago: the next use looks at the file.
            hive.lookAgain = true;
        }
    }
    return kRegSuccess;
}

} // namespace qob
