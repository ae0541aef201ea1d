// The Windows backend against the Windows API itself (run under Wine): the registry store keeps
// every value type and byte, names and strings in UTF-16, and takes back what a failed run changed;
// the POSIX file calls of the core keep their meaning on Windows.
#include "platform/RunLock.h"
#include "platform/win32/WideText.h"
#include "platform/win32/Win32RegistryStore.h"
#include "platform/win32/Win32SystemServices.h"
#include "platform/win32/Win32TargetFileSystem.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

using namespace qob;
namespace fs = std::filesystem;

namespace {

std::vector<std::uint8_t> bytes(const std::string& s) {
    return {s.begin(), s.end()};
}

class Win32RegistryTest : public ::testing::Test {
protected:
    void SetUp() override {
        base = "Software\\QobWin32Test-" + std::to_string(GetCurrentProcessId());
        ASSERT_EQ(store.createKey(RegRoot::CurrentUser, base, key), kRegSuccess);
        ASSERT_EQ(store.flush(), kRegSuccess);
    }
    void TearDown() override {
        store.closeKey(key);
        RegDeleteTreeW(HKEY_CURRENT_USER, win32::widen(base).c_str());
    }
    Win32RegistryStore store;
    std::string base;
    RegHandle key = 0;
};

TEST_F(Win32RegistryTest, EveryValueTypeKeepsItsBytes) {
    struct Case {
        std::string name;
        std::uint32_t type;
        std::vector<std::uint8_t> written;
        std::vector<std::uint8_t> read; // what the store hands back
    };
    const std::vector<Case> cases = {
        {"sz", kRegSz, bytes("Grüße 日本"), bytes(std::string("Grüße 日本") + '\0')},
        {"sz counted NUL", kRegSz, bytes(std::string("x", 1) + '\0'), bytes(std::string("x") + '\0')},
        {"expand", kRegExpandSz, bytes("%USERPROFILE%\\a.pst"),
         bytes(std::string("%USERPROFILE%\\a.pst") + '\0')},
        // As Windows holds it: each string ends with a NUL, and the list with one more.
        {"multi", kRegMultiSz, bytes(std::string("a\0b\0\0", 5)), bytes(std::string("a\0b\0\0", 5))},
        {"multi uncounted", kRegMultiSz, bytes(std::string("a\0b", 3)), bytes(std::string("a\0b\0", 4))},
        {"empty sz", kRegSz, {}, {0}},
        {"binary", kRegBinary, {0, 1, 0xfe, 0xff, 0}, {0, 1, 0xfe, 0xff, 0}},
        {"dword", kRegDword, {0x78, 0x56, 0x34, 0x12}, {0x78, 0x56, 0x34, 0x12}},
        {"qword", kRegQword, {1, 2, 3, 4, 5, 6, 7, 8}, {1, 2, 3, 4, 5, 6, 7, 8}},
        {"none", kRegNone, {}, {}},
        {"odd type", 0x12345u, {9, 8, 7}, {9, 8, 7}},
        {"Ünïcode näme", kRegDword, {1, 0, 0, 0}, {1, 0, 0, 0}},
        {"", kRegSz, bytes("default"), bytes(std::string("default") + '\0')},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(store.setValue(key, c.name, c.type, c.written), kRegSuccess) << c.name;
    }
    for (const Case& c : cases) {
        RegValue v;
        ASSERT_EQ(store.queryValue(key, c.name, v), kRegSuccess) << c.name;
        EXPECT_EQ(v.type, c.type) << c.name;
        EXPECT_EQ(v.data, c.read) << c.name;
    }
    // Enumeration gives the same as queries, names included.
    std::size_t seen = 0;
    RegValue v;
    for (std::uint32_t i = 0; store.enumValue(key, i, v) == kRegSuccess; ++i, ++seen) {
        auto it = std::find_if(cases.begin(), cases.end(), [&](const Case& c) { return c.name == v.name; });
        ASSERT_NE(it, cases.end()) << v.name;
        EXPECT_EQ(v.data, it->read) << v.name;
    }
    EXPECT_EQ(seen, cases.size());
    // Windows itself holds the strings as UTF-16 with one terminating NUL.
    HKEY raw = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, win32::widen(base).c_str(), 0, KEY_READ, &raw), ERROR_SUCCESS);
    wchar_t text[64] = {};
    DWORD size = sizeof text;
    ASSERT_EQ(RegQueryValueExW(raw, L"sz", nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(std::wstring(text), L"Grüße 日本");
    EXPECT_EQ(size, (std::wstring(L"Grüße 日本").size() + 1) * 2);
    RegCloseKey(raw);
}

TEST_F(Win32RegistryTest, KeysAreListedAndOnlyLeavesDeleted) {
    RegHandle child = 0, grandchild = 0;
    ASSERT_EQ(store.createKey(RegRoot::CurrentUser, base + "\\Profil Ä\\inner", grandchild), kRegSuccess);
    store.closeKey(grandchild);
    ASSERT_EQ(store.openKey(RegRoot::CurrentUser, base + "\\profil ä", true, child), kRegSuccess)
        << "keys are matched without regard to case";
    std::string name;
    ASSERT_EQ(store.enumKey(key, 0, name), kRegSuccess);
    EXPECT_EQ(name, "Profil Ä");
    EXPECT_EQ(store.enumKey(key, 1, name), kRegNoMoreItems);
    EXPECT_EQ(store.deleteKey(key, "Profil Ä"), kRegAccessDenied) << "a key with subkeys stays";
    EXPECT_EQ(store.deleteKey(child, "inner"), kRegSuccess);
    store.closeKey(child);
    EXPECT_EQ(store.deleteKey(key, "Profil Ä"), kRegSuccess);
    RegHandle gone = 0;
    EXPECT_EQ(store.openKey(RegRoot::CurrentUser, base + "\\Profil Ä", false, gone), kRegNotFound);
    RegValue v;
    EXPECT_EQ(store.queryValue(key, "missing", v), kRegNotFound);
}

TEST_F(Win32RegistryTest, DiscardTakesBackEveryChangeSinceTheLastFlush) {
    ASSERT_EQ(store.setValue(key, "kept", kRegSz, bytes("before")), kRegSuccess);
    ASSERT_EQ(store.setValue(key, "removed", kRegDword, {1, 0, 0, 0}), kRegSuccess);
    RegHandle leaf = 0;
    ASSERT_EQ(store.createKey(RegRoot::CurrentUser, base + "\\old", leaf), kRegSuccess);
    ASSERT_EQ(store.setValue(leaf, "v", kRegBinary, {7}), kRegSuccess);
    store.closeKey(leaf);
    ASSERT_EQ(store.flush(), kRegSuccess);

    // A run changes a value, deletes one, adds one, makes new keys and deletes a key; then fails.
    ASSERT_EQ(store.setValue(key, "kept", kRegSz, bytes("after")), kRegSuccess);
    ASSERT_EQ(store.deleteValue(key, "removed"), kRegSuccess);
    ASSERT_EQ(store.setValue(key, "added", kRegSz, bytes("new")), kRegSuccess);
    RegHandle fresh = 0;
    ASSERT_EQ(store.createKey(RegRoot::CurrentUser, base + "\\new\\deeper", fresh), kRegSuccess);
    store.closeKey(fresh);
    ASSERT_EQ(store.deleteKey(key, "old"), kRegSuccess);
    ASSERT_EQ(store.discardChanges(), kRegSuccess);

    RegValue v;
    ASSERT_EQ(store.queryValue(key, "kept", v), kRegSuccess);
    EXPECT_EQ(v.data, bytes(std::string("before") + '\0'));
    ASSERT_EQ(store.queryValue(key, "removed", v), kRegSuccess);
    EXPECT_EQ(v.data, (std::vector<std::uint8_t>{1, 0, 0, 0}));
    EXPECT_EQ(store.queryValue(key, "added", v), kRegNotFound);
    RegHandle h = 0;
    EXPECT_EQ(store.openKey(RegRoot::CurrentUser, base + "\\new", false, h), kRegNotFound);
    ASSERT_EQ(store.openKey(RegRoot::CurrentUser, base + "\\old", false, h), kRegSuccess);
    ASSERT_EQ(store.queryValue(h, "v", v), kRegSuccess);
    EXPECT_EQ(v.data, std::vector<std::uint8_t>{7});
    store.closeKey(h);
}

class Win32FilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder = fs::temp_directory_path() / ("qob-win32-" + std::to_string(GetCurrentProcessId()));
        fs::remove_all(folder);
        fs::create_directories(folder);
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(folder, ec);
    }
    std::string target(const std::string& name) const { return win32::narrow((folder / name).wstring()); }
    fs::path folder;
};

TEST_F(Win32FilesTest, PosixCallsKeepTheirMeaning) {
    const fs::path a = folder / L"ä.txt";
    const fs::path b = folder / L"b.txt";
    std::ofstream(a, std::ios::binary) << "new\r\n";
    std::ofstream(b, std::ios::binary) << "old";
    // Opened binary, shared for deletion: renamed over an existing file while still open.
    const int fd = ::open(a.c_str(), O_RDWR);
    ASSERT_GE(fd, 0);
    char buf[8] = {};
    EXPECT_EQ(::pread(fd, buf, 5, 0), 5);
    EXPECT_EQ(std::string(buf, 5), "new\r\n");
    EXPECT_EQ(::pwrite(fd, "N", 1, 0), 1);
    EXPECT_EQ(::lseek(fd, 0, SEEK_CUR), 0) << "pread/pwrite leave the file position";
    EXPECT_EQ(::fsync(fd), 0);
    EXPECT_EQ(::rename(a.c_str(), b.c_str()), 0) << "rename replaces the target";
    ::close(fd);
    std::ifstream in(b, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "New\r\n");
    EXPECT_FALSE(fs::exists(a));
    errno = 0;
    EXPECT_EQ(::open((folder / "missing").c_str(), O_RDONLY), -1);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(::open(b.c_str(), O_RDWR | O_CREAT | O_EXCL, 0600), -1);
    EXPECT_EQ(errno, EEXIST);
}

TEST_F(Win32FilesTest, LocksExcludeOtherHoldersButNotReaders) {
    const fs::path file = folder / "run.lock";
    const int first = ::open(file.c_str(), O_RDWR | O_CREAT, 0644);
    const int second = ::open(file.c_str(), O_RDWR | O_CREAT, 0644);
    ASSERT_GE(first, 0);
    ASSERT_GE(second, 0);
    ASSERT_EQ(::flock(first, LOCK_EX | LOCK_NB), 0);
    EXPECT_EQ(::flock(second, LOCK_EX | LOCK_NB), -1);
    EXPECT_EQ(errno, EWOULDBLOCK);
    EXPECT_EQ(::write(second, "pid", 3), 3) << "the lock is advisory: the data stays writable";
    ::close(first);
    EXPECT_EQ(::flock(second, LOCK_EX | LOCK_NB), 0) << "closing releases the lock";
    ::close(second);
    // A folder is locked through its stand-in: two holders exclude each other.
    const int dirA = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
    const int dirB = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(dirA, 0);
    ASSERT_GE(dirB, 0);
    EXPECT_EQ(::fsync(dirA), 0);
    ASSERT_EQ(::flock(dirA, LOCK_EX | LOCK_NB), 0);
    EXPECT_EQ(::flock(dirB, LOCK_EX | LOCK_NB), -1);
    ::close(dirA);
    ::close(dirB);
    EXPECT_EQ(::open((folder / "run.lock").c_str(), O_RDONLY | O_DIRECTORY), -1);
    EXPECT_EQ(errno, ENOTDIR);
}

TEST_F(Win32FilesTest, RunLockKeepsASecondRunOutUntilReleased) {
    // stat and fstat name one file alike, and two files apart: the lock's "still in place" check.
    std::ofstream(folder / "a") << "a";
    std::ofstream(folder / "b") << "b";
    struct stat byName {
    }, byFd{}, other{};
    const int fd = ::open((folder / "a").c_str(), O_RDONLY);
    ASSERT_EQ(::fstat(fd, &byFd), 0);
    ASSERT_EQ(::stat((folder / "a").c_str(), &byName), 0);
    ASSERT_EQ(::stat((folder / "b").c_str(), &other), 0);
    ::close(fd);
    EXPECT_TRUE(byName.st_dev == byFd.st_dev && byName.st_ino == byFd.st_ino);
    EXPECT_FALSE(byName.st_dev == other.st_dev && byName.st_ino == other.st_ino);

    const fs::path lockFile = folder / "run.lock";
    RunLock first, second;
    ASSERT_TRUE(RunLock::acquire(first, lockFile, "backup", "this test", RunLock::Options{}));
    const Status refused =
        RunLock::acquire(second, lockFile, "restore", "this test",
                         RunLock::Options{std::chrono::milliseconds(0), std::chrono::milliseconds(1)});
    EXPECT_FALSE(refused);
    EXPECT_NE(refused.message.find("Another run is using this test"), std::string::npos) << refused.message;
    first.release();
    EXPECT_TRUE(RunLock::acquire(second, lockFile, "restore", "this test", RunLock::Options{}));
}

TEST_F(Win32FilesTest, TargetPathsAreHostPaths) {
    Win32TargetFileSystem files;
    ASSERT_TRUE(files.createFolder(target("Outlook")));
    EXPECT_TRUE(files.createFolder(target("Outlook"))) << "an existing folder is success";
    std::ofstream(folder / "Outlook" / "a.pst") << "x";
    std::ofstream(folder / "Outlook" / "b.pst") << "y";
    std::ofstream(folder / "Outlook" / "hidden.dat") << "z";
    SetFileAttributesW((folder / "Outlook" / "hidden.dat").c_str(), FILE_ATTRIBUTE_HIDDEN);
    std::ofstream(folder / "Outlook" / "OutlPrnt") << "p";
    std::ofstream(folder / "Outlook" / "Outlook.xml") << "x";
    // In name order without regard to case, as the Wine backend lists a folder.
    EXPECT_EQ(files.listFiles(target("Outlook"), false),
              (std::vector<std::string>{"a.pst", "b.pst", "Outlook.xml", "OutlPrnt"}));
    EXPECT_EQ(files.listFiles(target("Outlook"), true).size(), 5u);
    // Two spellings of one file are one host path: the one on disk.
    EXPECT_EQ(*files.toHostPath(target("OUTLOOK\\A.PST")), folder / "Outlook" / "a.pst");
    EXPECT_EQ(*files.toHostPath(target("outlook\\New\\X.pst")), folder / "Outlook" / "New" / "X.pst");
    EXPECT_EQ(files.listFolders(target("")), std::vector<std::string>{"Outlook"});
    EXPECT_TRUE(files.fileExists(target("Outlook\\a.pst")));
    EXPECT_FALSE(files.folderExists(target("Outlook\\a.pst")));
    const Status refused = files.renameFile(target("Outlook\\a.pst"), target("Outlook\\b.pst"));
    EXPECT_FALSE(refused);
    EXPECT_NE(refused.message.find("already exists"), std::string::npos) << refused.message;
    EXPECT_TRUE(files.renameFile(target("Outlook\\a.pst"), target("Outlook\\c.pst")));
    EXPECT_TRUE(files.deleteFile(target("Outlook\\c.pst")));
    EXPECT_FALSE(files.toHostPath("relative\\path"));
    EXPECT_EQ(*files.toHostPath("Q:\\Nowhere\\a.pst"), fs::path(L"Q:\\Nowhere\\a.pst"));
}

TEST(Win32SystemTest, IdentityAndProcessesComeFromWindows) {
    Win32SystemServices system({});
    EXPECT_FALSE(system.computerName().empty());
    EXPECT_FALSE(system.logonUser().empty());
    EXPECT_FALSE(Win32SystemServices::userProfile().empty());
    const WindowsVersion v = system.windowsVersion();
    EXPECT_GE(v.major, 6u);
    EXPECT_EQ(system.expandEnvironment("%WINDIR%\\x"), system.windowsFolder() + "\\x");
    EXPECT_EQ(system.expandEnvironment("%QOB_NOT_SET%"), "%QOB_NOT_SET%");
    bool self = false;
    for (const ProcessInfo& p : system.processes()) {
        self = self || p.pid == static_cast<std::int64_t>(GetCurrentProcessId());
    }
    EXPECT_TRUE(self);
    EXPECT_FALSE(system.terminateProcess(static_cast<std::int64_t>(GetCurrentProcessId())));
    EXPECT_TRUE(system.askToClose("no-such-program.exe")) << "nothing to ask is no failure";
}

} // namespace
