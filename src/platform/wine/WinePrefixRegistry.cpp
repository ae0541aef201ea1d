#include "platform/wine/WinePrefixRegistry.h"

#include "platform/wine/WinePrefixParts.h"
#include "platform/wine/WineRegistryText.h"

namespace qob {

using namespace wineprefix;

namespace {

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

} // namespace

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

} // namespace qob
