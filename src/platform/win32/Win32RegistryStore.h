#pragma once
// The registry of the running Windows, through advapi32. Names and string data cross the Win32
// API as UTF-16 and this store's boundary as UTF-8; every other type keeps its bytes exactly.
//
// Windows writes each change at once, where a Wine prefix's store gathers them until flush(). So
// that a run that fails can still take its changes back (discardChanges), each change first notes
// what it replaces; flush() forgets those notes, discardChanges() puts every noted value and key
// back, newest first.
#include "platform/RegistryStore.h"

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace qob {

class Win32RegistryStore : public RegistryStore {
public:
    ~Win32RegistryStore() override;

    RegResult openKey(RegRoot root, const std::string& path, bool forWrite, RegHandle& out) override;
    RegResult createKey(RegRoot root, const std::string& path, RegHandle& out) override;
    RegResult closeKey(RegHandle key) override;
    RegResult enumKey(RegHandle key, std::uint32_t index, std::string& name) override;
    RegResult enumValue(RegHandle key, std::uint32_t index, RegValue& out) override;
    RegResult queryValue(RegHandle key, const std::string& name, RegValue& out) override;
    RegResult setValue(RegHandle key, const std::string& name, std::uint32_t type,
                       const std::vector<std::uint8_t>& data) override;
    RegResult deleteValue(RegHandle key, const std::string& name) override;
    RegResult deleteKey(RegHandle parent, const std::string& name) override;
    RegResult flush() override;
    RegResult discardChanges() override;
    std::string lastError() const override { return lastError_; }

    // What the commands ask of a Wine prefix's store; the running Windows has no server to wait
    // for and no files that failed to load.
    bool serverRunning() const { return false; }
    std::vector<std::string> loadErrors() const { return {}; }

    // Registry bytes of a string value as this store hands them out, and back (exposed for tests).
    static std::vector<std::uint8_t> stringFromRegistry(const std::vector<std::uint8_t>& utf16);
    static std::vector<std::uint8_t> stringToRegistry(const std::vector<std::uint8_t>& utf8);

private:
    struct OpenKey {
        RegRoot root;
        std::string path;
    };
    struct Undo {
        RegRoot root = RegRoot::None;
        std::string path;
        bool keyCreated = false;          // the key did not exist before: delete it
        std::optional<std::string> value; // a value's name: put `old` back (or delete it)
        std::optional<RegValue> old;
        std::vector<RegValue> deletedValues; // a deleted key: create it again with these
    };

    RegResult result(long code, const char* what);
    bool keyExists(RegRoot root, const std::string& path);
    void noteValue(RegHandle key, const std::string& name);

    std::map<RegHandle, OpenKey> open_;
    std::vector<Undo> undo_;
    std::string lastError_;
};

} // namespace qob
