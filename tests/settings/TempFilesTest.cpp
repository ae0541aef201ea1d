#include "settings/TempFiles.h"

#include "TestPaths.h"

#include <fstream>
#include <gtest/gtest.h>
#include <regex>
#include <set>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

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

namespace qob {
namespace {

namespace fs = std::filesystem;

std::string contents(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The settings file is flushed before it replaces the old one, and its folder after: a power loss
// leaves the old settings or the new ones.
TEST(TempFiles, ReplaceFileContentsFlushesTheDataBeforeTheRenameAndTheFolderAfter) {
    test::TempDir dir;
    const fs::path file = dir / "settings.dat";
    ASSERT_TRUE(replaceFileContents(file, "old"));
    std::vector<std::string> seen; // per flush: what it flushed, and the file's contents then
    auto recorder = [&](int fd) {
        struct stat st {};
        ::fstat(fd, &st);
        seen.push_back(std::string(S_ISDIR(st.st_mode) ? "folder" : "file") + ":" + contents(file));
        return ::fsync(fd);
    };
    ASSERT_TRUE(replaceFileContents(file, "new", recorder));
    EXPECT_EQ(seen, (std::vector<std::string>{"file:old", "folder:new"}));
    EXPECT_EQ(contents(file), "new");
}

// Scratch files hold account registry text: private from the start, named with the owner's pid;
// the leftovers of a killed run go, those of a live one stay.
TEST(TempFiles, ScratchFilesArePrivateAndOnlyKilledRunsLeftoversAreRemoved) {
    test::TempDir dir;
    const mode_t mask = ::umask(022);
    fs::path mine;
    ASSERT_TRUE(sGetTempFile(dir.path(), "qbc", mine));
    ::umask(mask);
    EXPECT_EQ(fs::status(mine).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
    char pidHex[16];
    std::snprintf(pidHex, sizeof pidHex, "%08x", static_cast<unsigned>(::getpid()));
    EXPECT_EQ(mine.filename().string().substr(3, 8), pidHex);

    // A live run holding its marker, a killed run whose marker is left unlocked, a killed run
    // without a marker (its pid gone), and a file that is not a scratch file at all.
    int toChild[2], fromChild[2];
    ASSERT_EQ(::pipe(toChild), 0);
    ASSERT_EQ(::pipe(fromChild), 0);
    const pid_t liveRun = ::fork();
    if (liveRun == 0) {
        ScratchFilesOwner owner(dir.path());
        char c = 1;
        [[maybe_unused]] auto w = ::write(fromChild[1], &c, 1);
        [[maybe_unused]] auto r = ::read(toChild[0], &c, 1);
        ::_exit(0);
    }
    char c;
    ASSERT_EQ(::read(fromChild[0], &c, 1), 1);
    const pid_t goneRun = ::fork();
    if (goneRun == 0)
        ::_exit(0);
    ::waitpid(goneRun, nullptr, 0);
    auto name = [](const char* prefix, pid_t pid) {
        char hex[32];
        std::snprintf(hex, sizeof hex, "%08x1a2b.tmp", static_cast<unsigned>(pid));
        return std::string(prefix) + hex;
    };
    const std::vector<std::string> live = {name("qbc", liveRun), name("qbi", ::getpid()), "notes.tmp"};
    const std::vector<std::string> killed = {name("qba", goneRun), name("qbc", 0x7ffffff0)};
    for (const auto& n : live)
        std::ofstream(dir / n) << "x";
    for (const auto& n : killed)
        std::ofstream(dir / n) << "account text";
    std::ofstream(dir / (".qob-run-" + std::string(name("", 0x7ffffff0)).substr(0, 8) + ".lock")) << "";

    ScratchFilesOwner owner(dir.path());
    for (const auto& n : live)
        EXPECT_TRUE(fs::exists(dir / n)) << n;
    for (const auto& n : killed)
        EXPECT_FALSE(fs::exists(dir / n)) << n;
    EXPECT_FALSE(fs::exists(dir / ".qob-run-7ffffff0.lock"));
    EXPECT_TRUE(fs::exists(mine));

    ASSERT_EQ(::write(toChild[1], &c, 1), 1);
    ::waitpid(liveRun, nullptr, 0);
    for (int fd : {toChild[0], toChild[1], fromChild[0], fromChild[1]})
        ::close(fd);
}

} // namespace
} // namespace qob
