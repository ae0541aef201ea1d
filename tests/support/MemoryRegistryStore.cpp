#include "MemoryRegistryStore.h"

#include <algorithm>
#include <cctype>
#include <stdexcept>

namespace qob::test {
namespace {

const std::pair<const char*, RegRoot> kRootNames[] = {
    {"HKEY_CLASSES_ROOT", RegRoot::ClassesRoot},
    {"HKEY_CURRENT_USER", RegRoot::CurrentUser},
    {"HKEY_LOCAL_MACHINE", RegRoot::LocalMachine},
    {"HKEY_USERS", RegRoot::Users},
    {"HKEY_PERFORMANCE_DATA", RegRoot::PerformanceData},
    {"HKEY_CURRENT_CONFIG", RegRoot::CurrentConfig},
    {"HKEY_DYN_DATA", RegRoot::DynData},
};

std::string rootName(RegRoot root) {
    for (const auto& [name, value] : kRootNames) {
        if (value == root) {
            return name;
        }
    }
    return {};
}

bool isStringType(std::uint32_t type) {
    return type == kRegSz || type == kRegExpandSz || type == kRegMultiSz;
}

} // namespace

bool CaseLess::operator()(const std::string& a, const std::string& b) const {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) < std::tolower(static_cast<unsigned char>(y));
    });
}

MemoryRegistryStore::MemoryRegistryStore() {
    for (const auto& [name, root] : kRootNames) {
        roots_[root] = std::make_shared<Node>();
    }
}

std::shared_ptr<MemoryRegistryStore::Node> MemoryRegistryStore::findShared(RegRoot root,
                                                                           const std::string& path) const {
    auto r = roots_.find(root);
    if (r == roots_.end()) {
        return nullptr;
    }
    std::shared_ptr<Node> node = r->second;
    std::size_t pos = 0;
    while (node && pos < path.size()) {
        std::size_t end = path.find('\\', pos);
        if (end == std::string::npos) {
            end = path.size();
        }
        auto it = node->subkeys.find(path.substr(pos, end - pos));
        node = it == node->subkeys.end() ? nullptr : it->second;
        pos = end + 1;
    }
    return node;
}

MemoryRegistryStore::Node* MemoryRegistryStore::find(RegRoot root, const std::string& path) const {
    return findShared(root, path).get();
}

MemoryRegistryStore::Node* MemoryRegistryStore::make(RegRoot root, const std::string& path) {
    auto r = roots_.find(root);
    if (r == roots_.end()) {
        return nullptr;
    }
    Node* node = r->second.get();
    std::size_t pos = 0;
    while (pos < path.size()) {
        std::size_t end = path.find('\\', pos);
        if (end == std::string::npos) {
            end = path.size();
        }
        std::string name = path.substr(pos, end - pos);
        if (name.empty()) {
            return nullptr; // "A\\B" or a trailing '\': Win32 refuses such paths too
        }
        auto& child = node->subkeys[name];
        if (!child) {
            child = std::make_shared<Node>();
            ++node->generation;
        }
        node = child.get();
        pos = end + 1;
    }
    return node;
}

RegHandle MemoryRegistryStore::issue(std::shared_ptr<Node> node, bool writable) {
    RegHandle h = nextHandle_++;
    Handle& handle = handles_[h];
    handle.node = node;
    handle.writable = writable;
    return h;
}

MemoryRegistryStore::Node* MemoryRegistryStore::live(RegHandle key, bool needWrite, RegResult& rc) {
    auto it = handles_.find(key);
    if (it == handles_.end() || it->second.node.expired()) {
        rc = kRegInvalidHandle;
        return nullptr;
    }
    if (needWrite && (!it->second.writable || refuseWrites)) {
        rc = kRegAccessDenied;
        return nullptr;
    }
    rc = kRegSuccess;
    return it->second.node.lock().get(); // the tree keeps it alive
}

RegResult MemoryRegistryStore::openKey(RegRoot root, const std::string& path, bool forWrite, RegHandle& out) {
    out = 0;
    if (!roots_.count(root)) {
        return kRegInvalidHandle;
    }
    auto node = findShared(root, path);
    if (!node) {
        return kRegNotFound;
    }
    if (unopenable.count(path.empty() ? rootName(root) : rootName(root) + "\\" + path)) {
        return kRegAccessDenied;
    }
    out = issue(node, forWrite);
    return kRegSuccess;
}

RegResult MemoryRegistryStore::createKey(RegRoot root, const std::string& path, RegHandle& out) {
    out = 0;
    if (!roots_.count(root)) {
        return kRegInvalidHandle;
    }
    if (refuseWrites) {
        return kRegAccessDenied;
    }
    beginChange();
    if (!make(root, path)) {
        return kRegInvalidData;
    }
    out = issue(findShared(root, path), true);
    return kRegSuccess;
}

RegResult MemoryRegistryStore::closeKey(RegHandle key) {
    // A handle of a deleted key is still closed: Win32 lets a program release it.
    return handles_.erase(key) ? kRegSuccess : kRegInvalidHandle;
}

RegResult MemoryRegistryStore::enumKey(RegHandle key, std::uint32_t index, std::string& name) {
    RegResult rc;
    Node* node = live(key, false, rc);
    if (!node) {
        return rc;
    }
    Handle& h = handles_[key];
    if (h.keyGen != node->generation || index != h.keyIndex + 1 || index == 0) {
        if (index >= node->subkeys.size()) {
            return kRegNoMoreItems;
        }
        h.keyIt = std::next(node->subkeys.begin(), index);
    } else if (h.keyIt == node->subkeys.end() || ++h.keyIt == node->subkeys.end()) {
        h.keyIt = node->subkeys.end();
        h.keyIndex = index;
        return kRegNoMoreItems;
    }
    h.keyGen = node->generation;
    h.keyIndex = index;
    name = h.keyIt->first;
    return kRegSuccess;
}

RegResult MemoryRegistryStore::enumValue(RegHandle key, std::uint32_t index, RegValue& out) {
    RegResult rc;
    Node* node = live(key, false, rc);
    if (!node) {
        return rc;
    }
    Handle& h = handles_[key];
    if (h.valueGen != node->generation || index != h.valueIndex + 1 || index == 0) {
        if (index >= node->values.size()) {
            return kRegNoMoreItems;
        }
        h.valueIt = std::next(node->values.begin(), index);
    } else if (h.valueIt == node->values.end() || ++h.valueIt == node->values.end()) {
        h.valueIt = node->values.end();
        h.valueIndex = index;
        return kRegNoMoreItems;
    }
    h.valueGen = node->generation;
    h.valueIndex = index;
    out = h.valueIt->second;
    return kRegSuccess;
}

RegResult MemoryRegistryStore::queryValue(RegHandle key, const std::string& name, RegValue& out) {
    RegResult rc;
    Node* node = live(key, false, rc);
    if (!node) {
        return rc;
    }
    auto it = node->values.find(name);
    if (it == node->values.end()) {
        return kRegNotFound;
    }
    out = it->second;
    return kRegSuccess;
}

RegResult MemoryRegistryStore::setValue(RegHandle key, const std::string& name, std::uint32_t type,
                                        const std::vector<std::uint8_t>& data) {
    RegResult rc;
    Node* node = live(key, true, rc);
    if (!node) {
        return rc;
    }
    beginChange();
    RegValue value{name, type, data};
    if (isStringType(type) && (data.empty() || data.back() != 0)) {
        value.data.push_back(0);
    }
    auto it = node->values.find(name);
    if (it == node->values.end()) {
        node->values.emplace(name, std::move(value));
        ++node->generation;
    } else {
        value.name = it->second.name; // Win32 keeps the case the value was created with
        it->second = std::move(value);
    }
    return kRegSuccess;
}

RegResult MemoryRegistryStore::deleteValue(RegHandle key, const std::string& name) {
    RegResult rc;
    Node* node = live(key, true, rc);
    if (!node) {
        return rc;
    }
    beginChange();
    if (!node->values.erase(name)) {
        return kRegNotFound;
    }
    ++node->generation;
    return kRegSuccess;
}

RegResult MemoryRegistryStore::deleteKey(RegHandle parent, const std::string& name) {
    RegResult rc;
    Node* node = live(parent, true, rc);
    if (!node) {
        return rc;
    }
    beginChange();
    auto it = node->subkeys.find(name);
    if (it == node->subkeys.end()) {
        return kRegNotFound;
    }
    if (!it->second->subkeys.empty()) {
        return kRegAccessDenied;
    }
    node->subkeys.erase(it); // open handles of the key now answer kRegInvalidHandle
    ++node->generation;
    return kRegSuccess;
}

RegResult MemoryRegistryStore::flush() {
    ++flushCount;
    if (refuseWrites) {
        return kRegAccessDenied;
    }
    dirty_ = false;
    saved_.clear();
    return kRegSuccess;
}

std::shared_ptr<MemoryRegistryStore::Node> MemoryRegistryStore::copyOf(const Node& node) {
    auto copy = std::make_shared<Node>();
    copy->values = node.values;
    for (const auto& [name, child] : node.subkeys) {
        copy->subkeys.emplace(name, copyOf(*child));
    }
    return copy;
}

void MemoryRegistryStore::beginChange() {
    if (dirty_) {
        return;
    }
    saved_.clear();
    for (const auto& [root, node] : roots_) {
        saved_.emplace(root, copyOf(*node));
    }
    dirty_ = true;
}

RegResult MemoryRegistryStore::discardChanges() {
    if (dirty_) {
        roots_ = std::move(saved_); // open handles of the dropped tree now answer kRegInvalidHandle
        saved_.clear();
        dirty_ = false;
    }
    return kRegSuccess;
}

std::pair<RegRoot, std::string> MemoryRegistryStore::split(const std::string& keyPath) {
    std::size_t slash = keyPath.find('\\');
    std::string root = keyPath.substr(0, slash);
    for (const auto& [name, value] : kRootNames) {
        if (root == name) {
            return {value, slash == std::string::npos ? std::string() : keyPath.substr(slash + 1)};
        }
    }
    throw std::invalid_argument("MemoryRegistryStore: no root in " + keyPath);
}

void MemoryRegistryStore::makeKey(const std::string& keyPath) {
    auto [root, path] = split(keyPath);
    if (!make(root, path)) {
        throw std::invalid_argument("MemoryRegistryStore: bad key path " + keyPath);
    }
}

void MemoryRegistryStore::put(const std::string& keyPath, const std::string& name, std::uint32_t type,
                              const std::vector<std::uint8_t>& data) {
    auto [root, path] = split(keyPath);
    Node* node = make(root, path);
    if (!node) {
        throw std::invalid_argument("MemoryRegistryStore: bad key path " + keyPath);
    }
    beginChange();
    RegValue value{name, type, data};
    if (isStringType(type) && (data.empty() || data.back() != 0)) {
        value.data.push_back(0);
    }
    node->values.insert_or_assign(name, std::move(value));
    ++node->generation;
}

void MemoryRegistryStore::putString(const std::string& keyPath, const std::string& name,
                                    const std::string& text, std::uint32_t type) {
    put(keyPath, name, type, std::vector<std::uint8_t>(text.begin(), text.end()));
}

void MemoryRegistryStore::putDword(const std::string& keyPath, const std::string& name, std::uint32_t value) {
    put(keyPath, name, kRegDword,
        {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
         static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)});
}

bool MemoryRegistryStore::exists(const std::string& keyPath) const {
    auto [root, path] = split(keyPath);
    return find(root, path) != nullptr;
}

void MemoryRegistryStore::dumpNode(const Node& node, const std::string& prefix, std::string& out) const {
    out += "[" + prefix + "]\n";
    for (const auto& [name, value] : node.values) {
        out += "  \"" + value.name + "\" type " + std::to_string(value.type) + ":";
        for (std::uint8_t b : value.data) {
            out += " " + std::to_string(b);
        }
        out += "\n";
    }
    for (const auto& [name, child] : node.subkeys) {
        dumpNode(*child, prefix + "\\" + name, out);
    }
}

std::string MemoryRegistryStore::dump(const std::string& keyPath) const {
    auto [root, path] = split(keyPath);
    std::string out;
    if (const Node* node = find(root, path)) {
        dumpNode(*node, "", out);
    } else {
        out = "(missing)\n";
    }
    return out;
}

} // namespace qob::test
