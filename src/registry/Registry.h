#pragma once
// modReg: key paths ("HKEY_CURRENT_USER\Software\..."), export of a key tree to the registry text
// file, import back, and the small key and value operations the whole program uses. Everything
// reaches the registry through a RegistryStore.
#include "platform/Dialogs.h"
#include "platform/RegistryStore.h"
#include "platform/Status.h"

#include <filesystem>
#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

namespace qob {

class Registry {
public:
    // `title` captions the one message this module gives ("Incorrect Format:").
    Registry(RegistryStore& store, Dialogs& dialogs, std::string title);

    // Root key value of a root name ("HKEY_CURRENT_USER"), compared exactly; RegRoot::None otherwise.
    static RegRoot getRootKey(const std::string& rootName);
    // Splits a key path: returns the root and replaces `path` by the path below it. A malformed
    // path (not starting with "HKEY_", or ending with '\') shows "Incorrect Format:" and gives None.
    RegRoot parseKeyPath(std::string& path);

    // Writes the registry text file of a key tree. Callers pass an empty relative name; the file is
    // replaced. Throws std::runtime_error when the file cannot be written. Returns what the text
    // leaves out, one line per value or key: "<key path>\<value name>: <why>" or "<key path>: <why>".
    // Such a value is left out alone; the rest of its key and tree is written.
    std::vector<std::string> exportKey(const std::string& keyPath, const std::string& relativeName,
                                       const std::filesystem::path& file);
    // Appends the value lines of one key; returns what it left out, as exportKey does.
    std::vector<std::string> exportValues(const std::string& keyPath, const std::filesystem::path& file);

    // Rebuilds the tree described by a registry text file under the target key, replacing what the
    // key held. The whole file is checked first: a malformed file changes nothing and gives an
    // error naming the file and line. Fails too when the store refuses the writes.
    Status importKey(const std::string& targetKeyPath, const std::filesystem::path& file);
    // Adds to the target key the branches (its direct subkeys with everything below) of the file
    // that the target does not have, leaving out every branch that holds a value `leaveOut` picks.
    // Nothing the target has is changed or removed; the file is checked whole first.
    Status importMissingBranches(const std::string& targetKeyPath, const std::filesystem::path& file,
                                 const std::function<bool(const RegValue&)>& leaveOut);

    // Deletes deepest first and stops at the first key that cannot be deleted; returns its code.
    RegResult deleteKeyTree(const std::string& keyPath);
    RegResult deleteKey(const std::string& keyPath);
    RegResult deleteValue(const std::string& keyPath, const std::string& valueName);
    bool keyExists(const std::string& keyPath);
    std::vector<std::string> getSubKeys(const std::string& keyPath);
    // The value's text, "Error" when the key or value cannot be read, "" for a malformed path.
    std::string getStringValue(const std::string& keyPath, const std::string& valueName);
    RegResult setStringValue(const std::string& keyPath, const std::string& valueName,
                             const std::string& text);

    RegistryStore& store() { return store_; }

    // Makes the changes so far durable, unless changes are being held (then they stay in memory
    // until saveHeldChanges()). Every operation here saves through this.
    RegResult flush();
    // While held, a run's registry changes are gathered in memory and saved once, or dropped
    // together: a restore changes the registry as one step.
    void holdChanges() { held_ = true; }
    bool holdingChanges() const { return held_; }
    // Saves what was held (one save) and stops holding; the store's code.
    RegResult saveHeldChanges();
    // Drops what was held and stops holding: the registry reads as it was before.
    void dropHeldChanges();

private:
    void exportTree(std::ostream& out, const std::string& keyPath, const std::string& relativeName,
                    std::vector<std::string>& leftOut);
    void writeValues(std::ostream& out, const std::string& keyPath, std::vector<std::string>& leftOut);
    RegResult deleteTreeUnflushed(const std::string& keyPath);
    RegResult deleteKeyUnflushed(const std::string& keyPath);
    // Opens the key for writing (creating it), applies `change` to it and, when that succeeded,
    // makes it durable.
    RegResult changeKey(const std::string& keyPath, const std::function<RegResult(RegHandle)>& change);

    RegistryStore& store_;
    bool held_ = false;
    Dialogs& dialogs_;
    std::string title_;
};

} // namespace qob
