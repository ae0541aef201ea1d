#include "platform/TextEncoding.h"
#include "registry/KeyHandle.h"
#include "registry/Registry.h"
#include "registry/RegistryText.h"

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

std::vector<std::string> Registry::exportKey(const std::string& keyPath, const std::string& relativeName,
                                             const std::filesystem::path& file) {
    std::ofstream out = openForExport(file, relativeName.empty());
    std::vector<std::string> leftOut;
    exportTree(out, keyPath, relativeName, leftOut);
    finishExport(out, file);
    return leftOut;
}

std::vector<std::string> Registry::exportValues(const std::string& keyPath,
                                                const std::filesystem::path& file) {
    std::ofstream out = openForExport(file, false);
    std::vector<std::string> leftOut;
    writeValues(out, keyPath, leftOut);
    finishExport(out, file);
    return leftOut;
}

void Registry::exportTree(std::ostream& out, const std::string& keyPath, const std::string& relativeName,
                          std::vector<std::string>& leftOut) {
    out << (relativeName.empty() ? "\\" : relativeName) << "\r\n";
    if (!out) {
        return; // the caller reports the write error; walking on would only waste time
    }
    writeValues(out, keyPath, leftOut);

    std::string path = keyPath;
    const RegRoot root = parseKeyPath(path);
    if (root == RegRoot::None) {
        return;
    }
    KeyHandle key(store_);
    if (store_.openKey(root, path, false, key.out()) != kRegSuccess) {
        return; // a key we may not read still shows in the file, with nothing below it (named above)
    }
    // Each subkey is walked before the next one is enumerated, as the tree is listed depth first.
    for (std::uint32_t index = 0;; ++index) {
        std::string name;
        if (const RegResult rc = store_.enumKey(key.get(), index, name); rc != kRegSuccess) {
            if (rc != kRegNoMoreItems) {
                leftOut.push_back(keyPath + ": the subkeys after the first " + std::to_string(index) +
                                  " could not be listed (error " + std::to_string(rc) + ")");
            }
            break;
        }
        name = name.substr(0, name.find('\0'));
        const std::string subKey = keyPath + "\\" + regtext::shownName(name);
        // A key line the import would misread takes the whole subtree with it: left out, and named.
        if (name.empty()) {
            leftOut.push_back(subKey + ": a key with an empty name, which the registry text cannot carry");
        } else if (name.find_first_of("\r\n") != std::string::npos) {
            leftOut.push_back(subKey +
                              ": the key name holds a line break, which the registry text cannot carry");
        } else if (textenc::utf8Length(name) > regtext::kMaxNameChars) {
            leftOut.push_back(subKey + ": the key name is longer than " +
                              std::to_string(regtext::kMaxNameChars) + " characters");
        } else {
            exportTree(out, keyPath + "\\" + name, relativeName + "\\" + name, leftOut);
        }
    }
}

void Registry::writeValues(std::ostream& out, const std::string& keyPath, std::vector<std::string>& leftOut) {
    std::string path = keyPath;
    const RegRoot root = parseKeyPath(path);
    if (root == RegRoot::None) {
        return;
    }
    KeyHandle key(store_);
    if (const RegResult rc = store_.openKey(root, path, false, key.out()); rc != kRegSuccess) {
        leftOut.push_back(keyPath + ": the key could not be read (error " + std::to_string(rc) +
                          "); its values and subkeys are left out");
        return;
    }
    for (std::uint32_t index = 0;; ++index) {
        RegValue value;
        if (const RegResult rc = store_.enumValue(key.get(), index, value); rc != kRegSuccess) {
            if (rc != kRegNoMoreItems) {
                leftOut.push_back(keyPath + ": the values after the first " + std::to_string(index) +
                                  " could not be read (error " + std::to_string(rc) + ")");
            }
            break;
        }
        // One value the text cannot carry is left out alone: the values after it are still written.
        const std::string named = keyPath + "\\" + regtext::shownName(value.name) + ": ";
        if (textenc::utf8Length(value.name) > regtext::kMaxNameChars) {
            leftOut.push_back(named + "the name is longer than " + std::to_string(regtext::kMaxNameChars) +
                              " characters");
            continue;
        }
        if (const std::string why = regtext::whyNotCarried(value); !why.empty()) {
            leftOut.push_back(named + why);
            continue;
        }
        if (auto line = regtext::formatValueLine(value)) {
            out << *line << "\r\n";
        }
    }
}

} // namespace qob
