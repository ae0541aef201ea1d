#include "platform/TextEncoding.h"
#include "registry/KeyHandle.h"
#include "registry/Registry.h"
#include "registry/RegistryText.h"

namespace qob {
namespace {

// GetStringValue read into a 255-byte buffer: data of more bytes (terminating NUL included) is
// reported as "Error", which callers test for.
constexpr std::size_t kStringBufferBytes = 255;

// What Win32 answers for a null root key: an operation on a malformed path reaches no key at all.
constexpr RegResult kNoKey = 6;

} // namespace

bool Registry::keyExists(const std::string& keyPath) {
    std::string path = keyPath;
    const RegRoot root = parseKeyPath(path);
    if (root == RegRoot::None) {
        return false;
    }
    KeyHandle key(store_);
    return store_.openKey(root, path, false, key.out()) == kRegSuccess;
}

std::vector<std::string> Registry::getSubKeys(const std::string& keyPath) {
    std::vector<std::string> names;
    std::string path = keyPath;
    const RegRoot root = parseKeyPath(path);
    if (root == RegRoot::None) {
        return names;
    }
    KeyHandle key(store_);
    if (store_.openKey(root, path, false, key.out()) != kRegSuccess) {
        return names;
    }
    for (std::uint32_t index = 0;; ++index) {
        std::string name;
        // Any failure ends the list: the old loop waited for "no more items" alone and would spin
        // forever on a name too long for its buffer.
        if (store_.enumKey(key.get(), index, name) != kRegSuccess) {
            break;
        }
        name = name.substr(0, name.find('\0'));
        if (textenc::utf8Length(name) > regtext::kMaxNameChars) {
            break;
        }
        names.push_back(std::move(name));
    }
    return names;
}

std::string Registry::getStringValue(const std::string& keyPath, const std::string& valueName) {
    std::string path = keyPath;
    const RegRoot root = parseKeyPath(path);
    if (root == RegRoot::None) {
        return {};
    }
    KeyHandle key(store_);
    if (store_.openKey(root, path, false, key.out()) != kRegSuccess) {
        return "Error";
    }
    RegValue value;
    if (store_.queryValue(key.get(), valueName, value) != kRegSuccess ||
        value.data.size() > kStringBufferBytes) {
        return "Error";
    }
    // Whatever the type, the last byte is taken as the terminator (Outlook keeps many strings as
    // REG_BINARY with a NUL at the end). Text after an embedded NUL is not part of the string.
    std::string text(value.data.begin(), value.data.end() - (value.data.empty() ? 0 : 1));
    return text.substr(0, text.find('\0'));
}

RegResult Registry::changeKey(const std::string& keyPath, const std::function<RegResult(RegHandle)>& change) {
    std::string path = keyPath;
    const RegRoot root = parseKeyPath(path);
    if (root == RegRoot::None) {
        return kNoKey;
    }
    RegResult rc;
    {
        KeyHandle key(store_);
        rc = store_.openKey(root, path, true, key.out());
        if (rc != kRegSuccess) {
            return rc;
        }
        rc = change(key.get());
    }
    return rc == kRegSuccess ? flush() : rc;
}

RegResult Registry::setStringValue(const std::string& keyPath, const std::string& valueName,
                                   const std::string& text) {
    return changeKey(keyPath, [&](RegHandle key) {
        return store_.setValue(key, valueName, kRegSz, std::vector<std::uint8_t>(text.begin(), text.end()));
    });
}

RegResult Registry::deleteValue(const std::string& keyPath, const std::string& valueName) {
    return changeKey(keyPath, [&](RegHandle key) { return store_.deleteValue(key, valueName); });
}

RegResult Registry::deleteKeyUnflushed(const std::string& keyPath) {
    std::string path = keyPath;
    const RegRoot root = parseKeyPath(path);
    if (root == RegRoot::None) {
        return kNoKey;
    }
    if (path.empty()) {
        return kRegAccessDenied; // a root key is never deleted
    }
    const std::size_t slash = path.rfind('\\');
    const std::string parent = slash == std::string::npos ? std::string() : path.substr(0, slash);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    KeyHandle key(store_);
    RegResult rc = store_.openKey(root, parent, true, key.out());
    if (rc != kRegSuccess) {
        return rc;
    }
    return store_.deleteKey(key.get(), name);
}

RegResult Registry::deleteKey(const std::string& keyPath) {
    RegResult rc = deleteKeyUnflushed(keyPath);
    return rc == kRegSuccess ? flush() : rc;
}

RegResult Registry::deleteTreeUnflushed(const std::string& keyPath) {
    // Deepest first, because a key with subkeys cannot be deleted. The first failure stops the
    // walk: going on would remove the failing key's siblings and leave a half-deleted tree.
    for (const std::string& name : getSubKeys(keyPath)) {
        if (RegResult rc = deleteTreeUnflushed(keyPath + "\\" + name); rc != kRegSuccess) {
            return rc;
        }
    }
    return deleteKeyUnflushed(keyPath);
}

RegResult Registry::deleteKeyTree(const std::string& keyPath) {
    // One flush for the whole tree: a Wine prefix saves its registry file at every flush.
    RegResult rc = deleteTreeUnflushed(keyPath);
    RegResult flushed = flush();
    return rc != kRegSuccess ? rc : flushed;
}

RegResult Registry::flush() {
    return held_ ? kRegSuccess : store_.flush();
}

RegResult Registry::saveHeldChanges() {
    held_ = false;
    return store_.flush();
}

void Registry::dropHeldChanges() {
    held_ = false;
    store_.discardChanges();
}

} // namespace qob
