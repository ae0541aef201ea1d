#pragma once
// A Registry over an in-memory store, with a scripted Dialogs and a scratch folder.
#include "FakeDialogs.h"
#include "MemoryRegistryStore.h"
#include "TestPaths.h"
#include "registry/Registry.h"

#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <string>

namespace qob::test {

inline const std::string kTop = "HKEY_CURRENT_USER\\Software\\Quire";

class RegistryFixture : public ::testing::Test {
protected:
    MemoryRegistryStore store;
    FakeDialogs dialogs;
    Registry reg{store, dialogs, "Quire Outlook Backup"};
    TempDir dir;

    static std::string readFile(const std::filesystem::path& file) {
        std::ifstream in(file, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    static void writeFile(const std::filesystem::path& file, const std::string& text) {
        std::ofstream(file, std::ios::binary) << text;
    }
    std::string exportText(const std::string& keyPath) {
        reg.exportKey(keyPath, "", dir / "out.txt");
        return readFile(dir / "out.txt");
    }
    // Imports `text` into `target` from a scratch file.
    Status importText(const std::string& target, const std::string& text) {
        writeFile(dir / "in.txt", text);
        return reg.importKey(target, dir / "in.txt");
    }
};

} // namespace qob::test
