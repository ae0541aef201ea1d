#include "outlook/PrefixProfiles.h"

#include "TestPaths.h"
#include "demo/DemoTargetSystem.h"

#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <map>

namespace qob::test {
namespace {

namespace fs = std::filesystem;

// Every file of a folder with its size and last change: looking at a prefix must leave it as it was.
std::map<std::string, std::pair<std::uintmax_t, fs::file_time_type>> snapshot(const fs::path& folder) {
    std::map<std::string, std::pair<std::uintmax_t, fs::file_time_type>> files;
    for (auto it = fs::recursive_directory_iterator(folder); it != fs::recursive_directory_iterator(); ++it) {
        if (it->is_symlink()) {
            it.disable_recursion_pending();
            continue;
        }
        files[it->path().string()] = {it->is_regular_file() ? it->file_size() : 0, it->last_write_time()};
    }
    return files;
}

TEST(PrefixProfiles, ReadsProfilesAndTellsWhyARegistryCannotBeRead) {
    struct Case {
        const char* name;
        std::function<void(const fs::path&)> damage;
        bool readable;
        std::vector<std::string> profiles;
        const char* reasonNames; // a file the reason must name
    };
    const Case cases[] = {
        {"demo prefix", [](const fs::path&) {}, true, {"Outlook", "Second"}, ""},
        {"no Outlook",
         [](const fs::path& p) {
             fs::remove(p / "user.reg");
             fs::remove(p / "system.reg");
         },
         true,
         {},
         ""},
        {"bad header",
         [](const fs::path& p) { std::ofstream(p / "user.reg") << "WINE REGISTRY Version 3\n"; },
         false,
         {},
         "user.reg"},
        {"binary junk",
         [](const fs::path& p) { std::ofstream(p / "user.reg") << std::string("\0\xff\x01junk", 7); },
         false,
         {},
         "user.reg"},
        {"user.reg is a folder",
         [](const fs::path& p) {
             fs::remove(p / "user.reg");
             fs::create_directory(p / "user.reg");
         },
         false,
         {},
         "user.reg"},
    };
    for (const Case& c : cases) {
        TempDir dir;
        DemoTargetSystem::create(dir / "pfx");
        c.damage(dir / "pfx");
        const auto before = snapshot(dir.path());
        const PrefixProfiles found = readPrefixProfiles(dir / "pfx");
        EXPECT_EQ(found.readable, c.readable) << c.name << ": " << found.reason;
        EXPECT_EQ(found.profiles, c.profiles) << c.name;
        EXPECT_NE(found.reason.find(c.reasonNames), std::string::npos) << c.name << ": " << found.reason;
        EXPECT_EQ(snapshot(dir.path()), before) << c.name << ": the prefix was changed";
    }
}

} // namespace
} // namespace qob::test
