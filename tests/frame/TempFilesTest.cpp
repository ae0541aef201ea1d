#include "frame/TempFiles.h"

#include "TestPaths.h"

#include <fstream>
#include <gtest/gtest.h>
#include <regex>
#include <set>
#include <sstream>
#include <thread>

namespace qob {
namespace {

TEST(TempFiles, CreatesEmptyUniqueFilesEvenFromTwoThreads) {
    test::TempDir dir;
    std::vector<std::filesystem::path> a, b;
    auto make = [&](std::vector<std::filesystem::path>& out) {
        for (int i = 0; i < 300; ++i) {
            std::filesystem::path p;
            ASSERT_TRUE(sGetTempFile(dir.path(), "reg", p));
            out.push_back(p);
        }
    };
    std::thread t1(make, std::ref(a)), t2(make, std::ref(b));
    t1.join();
    t2.join();
    std::set<std::filesystem::path> all(a.begin(), a.end());
    all.insert(b.begin(), b.end());
    EXPECT_EQ(all.size(), 600u);
    const std::regex name("reg[0-9a-f]+\\.tmp");
    for (const auto& p : all) {
        EXPECT_EQ(p.parent_path(), dir.path());
        EXPECT_TRUE(std::regex_match(p.filename().string(), name)) << p;
        EXPECT_TRUE(std::filesystem::is_regular_file(p));
        EXPECT_EQ(std::filesystem::file_size(p), 0u);
    }
}

TEST(TempFiles, FailuresSayWhy) {
    test::TempDir dir;
    std::filesystem::path p;
    Status missing = sGetTempFile(dir / "nowhere", "reg", p);
    EXPECT_FALSE(missing);
    EXPECT_NE(missing.message.find("nowhere"), std::string::npos);
    EXPECT_FALSE(sGetTempFile(dir.path(), "../escape", p));
    EXPECT_FALSE(sGetTempFile(dir.path(), std::string("a\0b", 3), p));
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST(TempFiles, ReplaceFileContentsSwapsWholeFiles) {
    test::TempDir dir;
    auto file = dir / "settings.dat";
    ASSERT_TRUE(replaceFileContents(file, "first"));
    ASSERT_TRUE(replaceFileContents(file, "second, longer"));
    std::ifstream in(file);
    std::stringstream s;
    s << in.rdbuf();
    EXPECT_EQ(s.str(), "second, longer");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
    // A folder in the way of the rename: the folder stays, no scratch file is left.
    std::filesystem::create_directory(dir / "busy");
    std::filesystem::create_directory(dir / "busy" / "inside");
    EXPECT_FALSE(replaceFileContents(dir / "busy", "x"));
    EXPECT_TRUE(std::filesystem::is_directory(dir / "busy" / "inside"));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2);
}

} // namespace
} // namespace qob
