#pragma once
// A demo target system with its registry in memory and its files on disk, bundled as a Platform:
// what the discovery, main form, backup and automatic run tests run against. Header-only, so the
// support library itself needs no frame library; units that include it link one.
#include "FakeDialogs.h"
#include "MemoryRegistryStore.h"
#include "TestPaths.h"
#include "demo/DemoTargetSystem.h"
#include "registry/TargetContext.h"

#include <algorithm>
#include <memory>

namespace qob::test {

// Files of the demo system, mapped the way the demo laid them out (exact case).
class DemoFileSystem : public TargetFileSystem {
public:
    explicit DemoFileSystem(const DemoTargetSystem& demo) : demo_(demo) {}
    std::optional<std::filesystem::path> toHostPath(const std::string& p) const override {
        auto host = demo_.hostPath(p);
        if (host.empty()) {
            return std::nullopt;
        }
        return host;
    }
    bool fileExists(const std::string& p) const override {
        auto h = toHostPath(p);
        return h && std::filesystem::is_regular_file(*h);
    }
    bool folderExists(const std::string& p) const override {
        auto h = toHostPath(p);
        return h && std::filesystem::is_directory(*h);
    }
    std::vector<std::string> listFiles(const std::string& folder, bool) const override {
        std::vector<std::string> out;
        auto h = toHostPath(folder);
        std::error_code ec;
        if (!h || !std::filesystem::is_directory(*h, ec)) {
            return out;
        }
        for (const auto& e : std::filesystem::directory_iterator(*h)) {
            if (e.is_regular_file()) {
                out.push_back(e.path().filename().string());
            }
        }
        std::sort(out.begin(), out.end());
        return out;
    }
    std::vector<std::string> listFolders(const std::string&) const override { return {}; }
    Status createFolder(const std::string&) override { return Status::failure("read-only"); }
    Status deleteFile(const std::string&) override { return Status::failure("read-only"); }
    Status renameFile(const std::string&, const std::string&) override {
        return Status::failure("read-only");
    }

private:
    const DemoTargetSystem& demo_;
};

class DemoSystemServices : public SystemServices {
public:
    explicit DemoSystemServices(const DemoTargetSystem& demo) : demo_(demo) {}
    WindowsVersion version{6, 1, 7601};
    std::string computerName() const override { return demo_.computerName; }
    std::string logonUser() const override { return demo_.userName; }
    std::string windowsFolder() const override { return "C:\\windows"; }
    std::string expandEnvironment(const std::string& text) const override {
        return text == "%UserProfile%" ? demo_.userProfileFolder : text;
    }
    WindowsVersion windowsVersion() const override { return version; }
    std::vector<ProcessInfo> processes() const override { return {}; }
    bool terminateProcess(std::int64_t) override { return false; }
    // No lock unless a test sets one.
    RunLockPlace lockPlace;
    RunLockPlace runLockPlace() const override { return lockPlace; }

private:
    const DemoTargetSystem& demo_;
};

// A demo system in a temporary folder, its registry written into a MemoryRegistryStore.
struct DemoPlatform {
    TempDir dir;
    DemoTargetSystem demo;
    MemoryRegistryStore store;
    FakeDialogs dialogs;
    Registry registry{store, dialogs, "Quire Outlook Backup"};
    DemoFileSystem files{demo};
    DemoSystemServices system{demo};
    std::filesystem::path programFolder;
    TargetContext platform{{store, files, system, dialogs, {}, {}}, registry};

    explicit DemoPlatform(bool withRegistry = true, const std::string& officeVersion = "15.0") {
        demo = DemoTargetSystem::createFiles(dir / "prefix", officeVersion);
        if (withRegistry) {
            demo.writeRegistry(store);
        }
        programFolder = dir / "program";
        std::filesystem::create_directories(programFolder);
        platform.programFolder = programFolder;
        platform.systemFolder = demo.prefix;
    }
};

} // namespace qob::test
