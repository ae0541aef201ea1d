#include "registry/KeyHandle.h"
#include "registry/Registry.h"
#include "registry/RegistryText.h"
#include "registry/TextEncoding.h"

#include <fstream>
#include <stdexcept>

namespace qob {
namespace {

// The file is opened once per export rather than once per line: the lines, their order and the
// replacement of an existing file are the same, and a large tree takes milliseconds, not minutes.
std::ofstream openForExport(const std::filesystem::path& file, bool replace) {
    if (replace) {
        std::error_code ignored; // a file that cannot be removed fails at the open below
        std::filesystem::remove(file, ignored);
    }
    std::ofstream out(file, std::ios::binary | (replace ? std::ios::trunc : std::ios::app));
    if (!out) {
        throw std::runtime_error("Cannot create the registry text file \"" + file.string() + "\".");
    }
    return out;
}

void finishExport(std::ofstream& out, const std::filesystem::path& file) {
    out.close();
    if (!out) {
        throw std::runtime_error("Cannot write the registry text file \"" + file.string() + "\".");
    }
}

} // namespace

void Registry::exportKey(const std::string& keyPath, const std::string& relativeName,
                         const std::filesystem::path& file) {
    std::ofstream out = openForExport(file, relativeName.empty());
    exportTree(out, keyPath, relativeName);
    finishExport(out, file);
}

void Registry::exportValues(const std::string& keyPath, const std::filesystem::path& file) {
    std::ofstream out = openForExport(file, false);
    writeValues(out, keyPath);
    finishExport(out, file);
}

void Registry::exportTree(std::ostream& out, const std::string& keyPath, const std::string& relativeName) {
    out << (relativeName.empty() ? "\\" : relativeName) << "\r\n";
    if (!out) {
        return; // the caller reports the write error; walking on would only waste time
    }
    writeValues(out, keyPath);

    std::string path = keyPath;
    const RegRoot root = parseKeyPath(path);
    if (root == RegRoot::None) {
        return;
    }
    KeyHandle key(store_);
    if (store_.openKey(root, path, false, key.out()) != kRegSuccess) {
        return; // a key we may not read still shows in the file, with nothing below it
    }
    // Each subkey is walked before the next one is enumerated, as the tree is listed depth first.
    for (std::uint32_t index = 0;; ++index) {
        std::string name;
        if (store_.enumKey(key.get(), index, name) != kRegSuccess) {
            break;
        }
        name = name.substr(0, name.find('\0'));
        if (textenc::utf8Length(name) > regtext::kMaxNameChars) {
            break;
        }
        exportTree(out, keyPath + "\\" + name, relativeName + "\\" + name);
    }
}

void Registry::writeValues(std::ostream& out, const std::string& keyPath) {
    std::string path = keyPath;
    const RegRoot root = parseKeyPath(path);
    if (root == RegRoot::None) {
        return;
    }
    KeyHandle key(store_);
    if (store_.openKey(root, path, false, key.out()) != kRegSuccess) {
        return;
    }
    for (std::uint32_t index = 0;; ++index) {
        RegValue value;
        if (store_.enumValue(key.get(), index, value) != kRegSuccess) {
            break;
        }
        // A name the old 260-character buffer could not hold ends the key's list, as it always did.
        if (textenc::utf8Length(value.name) > regtext::kMaxNameChars) {
            break;
        }
        if (auto line = regtext::formatValueLine(value)) {
            out << *line << "\r\n";
        }
    }
}

} // namespace qob
