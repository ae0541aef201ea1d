#include "platform/wine/WinePrefixRegistry.h"
#include "platform/wine/WineRegistryText.h"

#include "FakeWineServer.h"
#include "TestPaths.h"

#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace qob {
namespace {

namespace fs = std::filesystem;

std::string readAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}
void writeAll(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}
std::vector<std::uint8_t> bytes(std::string_view s) {
    return {s.begin(), s.end()};
}

constexpr std::uint64_t kNow = 0x1dd90000000000aull; // a fixed clock: times in files are predictable

struct Prefix {
    test::TempDir dir;
    explicit Prefix(std::initializer_list<std::pair<const char*, const char*>> files = {}) {
        for (const auto& [fixture, name] : files) {
            fs::copy_file(test::fixture(fixture), dir / name);
            fs::permissions(dir / name,
                            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
        }
    }
    std::unique_ptr<WinePrefixRegistry> open() const {
        WinePrefixRegistry::Options options;
        options.clock = [] { return kNow; };
        options.reloadCheckInterval = std::chrono::milliseconds(0);
        return std::make_unique<WinePrefixRegistry>(dir.path(), options);
    }
};

std::vector<std::string> subkeys(RegistryStore& store, RegHandle key) {
    std::vector<std::string> out;
    std::string name;
    for (std::uint32_t i = 0; store.enumKey(key, i, name) == kRegSuccess; ++i)
        out.push_back(name);
    return out;
}

TEST(WineRegistryStoreTest, ReadsValuesInWineOrderWithStringsAsUtf8) {
    Prefix prefix({{"user-api-edgecases.reg", "user.reg"}});
    auto store = prefix.open();
    RegHandle key = 0;
    ASSERT_EQ(store->openKey(RegRoot::CurrentUser, "software\\QUIRETEST\\fixture", false, key), kRegSuccess);
    std::vector<std::string> names;
    RegValue value;
    for (std::uint32_t i = 0; store->enumValue(key, i, value) == kRegSuccess; ++i)
        names.push_back(value.name);
    EXPECT_EQ(names,
              (std::vector<std::string>{"CustomType", "DwordBigEndian", "DwordShort", "ExpandNoTerminator",
                                        "MultiEmpty", "name\twith\xc3\xa9", "NoneEmpty", "SzControl",
                                        "SzEmbeddedNul", "SzEmoji", "SzNoTerminator", "SzOddLength", "Unc"}));
    EXPECT_EQ(store->enumValue(key, 13, value), kRegNoMoreItems);

    ASSERT_EQ(store->queryValue(key, "szemoji", value), kRegSuccess);
    EXPECT_EQ(value.data, bytes(std::string_view("smile \xf0\x9f\x98\x80 end\0", 15)));
    ASSERT_EQ(store->queryValue(key, "SzNoTerminator", value), kRegSuccess);
    EXPECT_EQ(value.data, bytes(std::string_view("NoT\0", 4))) << "one NUL added";
    ASSERT_EQ(store->queryValue(key, "SzEmbeddedNul", value), kRegSuccess);
    EXPECT_EQ(value.data, bytes(std::string_view("before\0after\0", 13)));
    ASSERT_EQ(store->queryValue(key, "MultiEmpty", value), kRegSuccess);
    EXPECT_EQ(value.data, bytes(std::string_view("\0\0", 2))) << "a stored terminator is not doubled";
    ASSERT_EQ(store->queryValue(key, "DwordShort", value), kRegSuccess);
    EXPECT_EQ(value.type, kRegDword);
    EXPECT_EQ(value.data, (std::vector<std::uint8_t>{1, 2}));
    EXPECT_EQ(store->queryValue(key, "Missing", value), kRegNotFound);

    EXPECT_EQ(subkeys(*store, key), std::vector<std::string>{"EmptyLeaf"});
    RegHandle users = 0;
    ASSERT_EQ(store->openKey(RegRoot::Users, "", false, users), kRegSuccess);
    EXPECT_EQ(subkeys(*store, users), (std::vector<std::string>{".Default", "S-1-5-21-0-0-0-1000"}));
    RegHandle alias = 0;
    EXPECT_EQ(store->openKey(RegRoot::Users, "S-1-5-21-0-0-0-1000\\Software\\QuireTest\\A", false, alias),
              kRegSuccess);
    EXPECT_EQ(store->openKey(RegRoot::CurrentConfig, "", false, alias), kRegNotFound);
    EXPECT_EQ(store->openKey(RegRoot::LocalMachine, "", false, alias), kRegSuccess) << "no system.reg: empty";
    EXPECT_EQ(store->openKey(RegRoot::LocalMachine, "Software\\X", false, alias), kRegNotFound);
    EXPECT_EQ(store->closeKey(key), kRegSuccess);
    EXPECT_NE(store->queryValue(key, "Unc", value), kRegSuccess) << "a closed handle is refused";
}

TEST(WineRegistryStoreTest, WritesKeepWineOrderTheNulRuleAndTheDeleteRules) {
    Prefix prefix;
    auto store = prefix.open();
    RegHandle key = 0;
    ASSERT_EQ(store->createKey(RegRoot::CurrentUser, "Software\\QuireTest\\A\\B", key), kRegSuccess);
    for (const char* name : {"Zulu", "alpha", "Mike", "bravo", "Echo"}) {
        RegHandle sub = 0;
        ASSERT_EQ(
            store->createKey(RegRoot::CurrentUser, std::string("Software\\QuireTest\\A\\B\\") + name, sub),
            kRegSuccess);
    }
    EXPECT_EQ(subkeys(*store, key), (std::vector<std::string>{"alpha", "bravo", "Echo", "Mike", "Zulu"}));
    ASSERT_EQ(store->setValue(key, "zeta", kRegSz, bytes("no terminator")), kRegSuccess);
    ASSERT_EQ(store->setValue(key, "Alpha", kRegSz, bytes(std::string_view("with\0", 5))), kRegSuccess);
    ASSERT_EQ(store->setValue(key, "multi", kRegMultiSz, bytes(std::string_view("a\0b\0\0", 5))),
              kRegSuccess);
    ASSERT_EQ(store->setValue(key, "", kRegDword, {1, 0, 0, 0}), kRegSuccess);
    ASSERT_EQ(store->setValue(key, "bad", kRegSz, bytes("\xff\xfe")), kRegInvalidData);
    RegValue value;
    ASSERT_EQ(store->enumValue(key, 0, value), kRegSuccess);
    EXPECT_EQ(value.name, "");
    ASSERT_EQ(store->queryValue(key, "ZETA", value), kRegSuccess);
    EXPECT_EQ(value.data, bytes(std::string_view("no terminator\0", 14)));
    ASSERT_EQ(store->queryValue(key, "alpha", value), kRegSuccess);
    EXPECT_EQ(value.data, bytes(std::string_view("with\0", 5)));
    ASSERT_EQ(store->queryValue(key, "multi", value), kRegSuccess);
    EXPECT_EQ(value.data, bytes(std::string_view("a\0b\0\0", 5)));

    RegHandle mike = 0;
    ASSERT_EQ(store->openKey(RegRoot::CurrentUser, "software\\quiretest\\a\\b\\MIKE", true, mike),
              kRegSuccess);
    RegHandle a = 0;
    ASSERT_EQ(store->openKey(RegRoot::CurrentUser, "Software\\QuireTest\\A", true, a), kRegSuccess);
    EXPECT_EQ(store->deleteKey(a, "B"), kRegAccessDenied) << "B has subkeys";
    EXPECT_EQ(store->deleteKey(key, "mike"), kRegSuccess);
    EXPECT_EQ(store->deleteKey(key, "mike"), kRegNotFound);
    EXPECT_EQ(store->queryValue(mike, "x", value), kRegKeyDeleted);
    EXPECT_EQ(store->setValue(mike, "x", kRegSz, bytes("y")), kRegKeyDeleted);
    EXPECT_EQ(store->deleteValue(key, "zeta"), kRegSuccess);
    EXPECT_EQ(store->deleteValue(key, "zeta"), kRegNotFound);

    ASSERT_EQ(store->flush(), kRegSuccess) << store->lastError();
    const std::string text = readAll(prefix.dir / "user.reg");
    EXPECT_EQ(text.rfind(
                  "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000\n"
                  "\n[",
                  0),
              0u)
        << "no file names the architecture, so none is guessed: Wine refuses a file with the wrong one";
    const std::string secs = std::to_string(wine::fileTimeToSeconds(kNow));
    EXPECT_NE(text.find("[Software\\\\QuireTest\\\\A\\\\B] " + secs +
                        "\n#time=1dd90000000000a\n@=dword:00000001\n"
                        "\"Alpha\"=\"with\"\n\"multi\"=str(7):\"a\\0b\\0\"\n\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("[Software\\\\QuireTest\\\\A\\\\B\\\\Zulu] " + secs), std::string::npos);
    EXPECT_FALSE(fs::exists(prefix.dir / "system.reg")) << "an untouched hive is not written";
    for (const auto& entry : fs::directory_iterator(prefix.dir.path()))
        EXPECT_EQ(entry.path().filename().string().find(".tmp-"), std::string::npos);
}

TEST(WineRegistryStoreTest, FlushRewritesOnlyTheChangedSection) {
    Prefix prefix({{"user.reg", "user.reg"}, {"system.reg", "system.reg"}});
    const std::string before = readAll(prefix.dir / "user.reg");
    struct stat machineBefore {};
    ::stat((prefix.dir / "system.reg").c_str(), &machineBefore);
    ::chmod((prefix.dir / "user.reg").c_str(), 0604);

    auto store = prefix.open();
    RegHandle machine = 0, key = 0;
    ASSERT_EQ(store->openKey(RegRoot::LocalMachine, "Software\\Microsoft\\Windows NT\\CurrentVersion", false,
                             machine),
              kRegSuccess);
    RegValue value;
    ASSERT_EQ(store->queryValue(machine, "ProductName", value), kRegSuccess);
    const std::string profile = "Software\\Microsoft\\Office\\15.0\\Outlook\\Profiles\\Test\\"
                                "0a0d020000000000c000000000000046";
    ASSERT_EQ(store->openKey(RegRoot::CurrentUser, profile, true, key), kRegSuccess);
    ASSERT_EQ(store->queryValue(key, "", value), kRegSuccess);
    ASSERT_EQ(store->setValue(key, "", value.type, value.data), kRegSuccess)
        << "the same data changes nothing";
    ASSERT_EQ(store->flush(), kRegSuccess);
    EXPECT_EQ(readAll(prefix.dir / "user.reg"), before);

    ASSERT_EQ(store->setValue(key, "", kRegSz, bytes("changed")), kRegSuccess);
    ASSERT_EQ(store->flush(), kRegSuccess) << store->lastError();
    const std::string after = readAll(prefix.dir / "user.reg");
    const std::string oldSection =
        "[Software\\\\Microsoft\\\\Office\\\\15.0\\\\Outlook\\\\Profiles\\\\Test\\\\"
        "0a0d020000000000c000000000000046] 1796672165\n#time=1dd86823383a854\n"
        "@=\"default text\"\n";
    const std::string newSection =
        "[Software\\\\Microsoft\\\\Office\\\\15.0\\\\Outlook\\\\Profiles\\\\Test\\\\"
        "0a0d020000000000c000000000000046] " +
        std::to_string(wine::fileTimeToSeconds(kNow)) + "\n#time=1dd90000000000a\n@=\"changed\"\n";
    std::string expected = before;
    const auto at = expected.find(oldSection);
    ASSERT_NE(at, std::string::npos);
    expected.replace(at, oldSection.size(), newSection);
    EXPECT_EQ(after, expected);

    struct stat st {};
    ::stat((prefix.dir / "user.reg").c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0604u) << "the mode is kept";
    struct stat machineAfter {};
    ::stat((prefix.dir / "system.reg").c_str(), &machineAfter);
    EXPECT_EQ(machineAfter.st_ino, machineBefore.st_ino);
    EXPECT_EQ(machineAfter.st_mtim.tv_nsec, machineBefore.st_mtim.tv_nsec);

    // Someone else (Wine) rewrites the file: a clean hive picks it up, a changed one is not saved over it.
    const std::string theirs = "WINE REGISTRY Version 2\n\n[Theirs] 5\n\"v\"=\"1\"\n";
    writeAll(prefix.dir / "user.reg", theirs);
    RegHandle other = 0;
    ASSERT_EQ(store->openKey(RegRoot::CurrentUser, "Theirs", true, other), kRegSuccess);
    EXPECT_EQ(store->queryValue(key, "", value), kRegKeyDeleted)
        << "the handle's key is gone from the new file";
    ASSERT_EQ(store->setValue(other, "v", kRegSz, bytes("2")), kRegSuccess);
    writeAll(prefix.dir / "user.reg", theirs + "\n");
    EXPECT_EQ(store->flush(), kRegAccessDenied);
    EXPECT_NE(store->lastError().find("changed on disk"), std::string::npos) << store->lastError();
    EXPECT_EQ(readAll(prefix.dir / "user.reg"), theirs + "\n");
}

TEST(WineRegistryStoreTest, ANewHiveFileTakesTheArchitectureOfTheOthers) {
    Prefix prefix;
    writeAll(prefix.dir / "system.reg",
             "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\Machine\n"
             "\n#arch=win32\n\n[Software] 5\n");
    auto store = prefix.open();
    RegHandle key = 0;
    ASSERT_EQ(store->createKey(RegRoot::CurrentUser, "Software\\Quire", key), kRegSuccess);
    ASSERT_EQ(store->setValue(key, "v", kRegSz, bytes("x")), kRegSuccess);
    ASSERT_EQ(store->flush(), kRegSuccess) << store->lastError();
    const std::string text = readAll(prefix.dir / "user.reg");
    EXPECT_NE(text.find("\n#arch=win32\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("win64"), std::string::npos) << text;
}

TEST(WineRegistryStoreTest, ASavedFileStaysItsOwners) {
    // Root working on a user's prefix: Wine, running as the user, must still read (and replace)
    // the files, or it loads an empty hive and saves that over ours.
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to give the prefix another owner";
    Prefix prefix({{"user.reg", "user.reg"}});
    ASSERT_EQ(::chown(prefix.dir.path().c_str(), 1, 1), 0);
    ASSERT_EQ(::chown((prefix.dir / "user.reg").c_str(), 1, 1), 0);
    ASSERT_EQ(::chmod((prefix.dir / "user.reg").c_str(), 0600), 0);
    auto store = prefix.open();
    RegHandle key = 0;
    ASSERT_EQ(store->createKey(RegRoot::CurrentUser, "Software\\Quire", key), kRegSuccess);
    ASSERT_EQ(store->setValue(key, "v", kRegSz, bytes("x")), kRegSuccess);
    ASSERT_EQ(store->createKey(RegRoot::LocalMachine, "Software\\Quire", key), kRegSuccess);
    ASSERT_EQ(store->flush(), kRegSuccess) << store->lastError();
    for (const char* name : {"user.reg", "system.reg"}) {
        struct stat st {};
        ASSERT_EQ(::stat((prefix.dir / name).c_str(), &st), 0) << name;
        EXPECT_EQ(st.st_uid, 1u) << name;
        EXPECT_EQ(st.st_gid, 1u) << name;
    }
}

TEST(WineRegistryStoreTest, ClassesRootReadsTheUserFirstAndWritesTheMachine) {
    Prefix prefix;
    writeAll(prefix.dir / "system.reg",
             "WINE REGISTRY Version 2\n\n#arch=win64\n\n[Software\\\\Classes\\\\.pst] 5\n"
             "@=\"machine\"\n\n[Software\\\\Classes\\\\.zip] 5\n@=\"zip\"\n");
    writeAll(prefix.dir / "user.reg",
             "WINE REGISTRY Version 2\n\n#arch=win64\n\n[Software\\\\Classes\\\\.PST] 5\n"
             "@=\"user\"\n\n[Software\\\\Classes\\\\.txt] 5\n@=\"txt\"\n");
    auto store = prefix.open();
    RegHandle root = 0, pst = 0, zip = 0, created = 0;
    ASSERT_EQ(store->openKey(RegRoot::ClassesRoot, "", false, root), kRegSuccess);
    EXPECT_EQ(subkeys(*store, root), (std::vector<std::string>{".PST", ".txt", ".zip"}));
    ASSERT_EQ(store->openKey(RegRoot::ClassesRoot, ".pst", false, pst), kRegSuccess);
    RegValue value;
    ASSERT_EQ(store->queryValue(pst, "", value), kRegSuccess);
    EXPECT_EQ(value.data, bytes(std::string_view("user\0", 5)));
    ASSERT_EQ(store->openKey(RegRoot::ClassesRoot, ".zip", false, zip), kRegSuccess);
    ASSERT_EQ(store->queryValue(zip, "", value), kRegSuccess);
    EXPECT_EQ(value.data, bytes(std::string_view("zip\0", 4)));

    ASSERT_EQ(store->createKey(RegRoot::ClassesRoot, ".qob\\shell", created), kRegSuccess);
    RegHandle check = 0;
    EXPECT_EQ(store->openKey(RegRoot::LocalMachine, "Software\\Classes\\.qob\\shell", false, check),
              kRegSuccess);
    EXPECT_EQ(store->openKey(RegRoot::CurrentUser, "Software\\Classes\\.qob", false, check), kRegNotFound);
    ASSERT_EQ(store->setValue(pst, "v", kRegSz, bytes("x")), kRegSuccess);
    RegHandle userPst = 0;
    ASSERT_EQ(store->openKey(RegRoot::CurrentUser, "Software\\Classes\\.pst", false, userPst), kRegSuccess);
    EXPECT_EQ(store->queryValue(userPst, "v", value), kRegSuccess)
        << "the user's key exists, so it gets the write";
    EXPECT_EQ(store->deleteKey(root, ".zip"), kRegSuccess) << "found on the machine's side";
    EXPECT_EQ(store->openKey(RegRoot::LocalMachine, "Software\\Classes\\.zip", false, check), kRegNotFound);
}

TEST(WineRegistryStoreTest, ABrokenHiveFailsItsRootOnlyAndIsNeverWritten) {
    Prefix prefix({{"system.reg", "system.reg"}});
    writeAll(prefix.dir / "user.reg", "WINE REGISTRY Version 3\n[A] 1\n");
    fs::copy_file(test::fixture("hand-edit-input.reg"), prefix.dir / "userdef.reg");
    auto store = prefix.open();
    RegHandle key = 0;
    EXPECT_EQ(store->openKey(RegRoot::CurrentUser, "A", false, key), kRegBadDb);
    EXPECT_NE(store->lastError().find("user.reg:1:"), std::string::npos) << store->lastError();
    EXPECT_EQ(store->createKey(RegRoot::CurrentUser, "B", key), kRegBadDb);
    ASSERT_EQ(store->createKey(RegRoot::LocalMachine, "Software\\New", key), kRegSuccess);
    EXPECT_EQ(store->flush(), kRegSuccess);
    EXPECT_EQ(readAll(prefix.dir / "user.reg"), "WINE REGISTRY Version 3\n[A] 1\n");
    ASSERT_EQ(store->loadErrors().size(), 1u);

    ASSERT_EQ(store->openKey(RegRoot::Users, ".Default\\Software\\QuireHand\\Bad", false, key), kRegSuccess);
    const auto warnings = store->loadWarnings();
    ASSERT_EQ(warnings.size(), 4u);
    EXPECT_EQ(warnings[1], "userdef.reg:38: Malformed value '\"badhex\"=hex:zz,01'");
    RegValue value;
    ASSERT_EQ(store->queryValue(key, "badhex", value), kRegSuccess);
    EXPECT_EQ(value.type, kRegNone);
}

TEST(WineRegistryStoreTest, WritesAreRefusedWhileTheServerRuns) {
    Prefix prefix({{"user.reg", "user.reg"}});
    // Lay out a server dir the way Debian's wine does: its name in $WINEPREFIX/wineserver.
    test::TempDir tmp;
    const std::string redirect = tmp.path().string();
    writeAll(prefix.dir / "wineserver", redirect);
    const std::string name = test::serverDirName(prefix.dir.path());
    fs::create_directories(tmp / name);
    const fs::path lockPath = tmp / name / "lock";
    writeAll(lockPath, "");
    const std::string before = readAll(prefix.dir / "user.reg");

    auto store = prefix.open();
    RegHandle key = 0;
    ASSERT_EQ(store->createKey(RegRoot::CurrentUser, "Software\\Before", key), kRegSuccess);
    EXPECT_FALSE(store->serverRunning()) << "a lock file nobody holds is a stopped server";

    test::HeldServerLock server(lockPath);
    ASSERT_TRUE(server.held());

    EXPECT_TRUE(store->serverRunning());
    RegHandle other = 0;
    EXPECT_EQ(store->setValue(key, "v", kRegSz, bytes("x")), kRegAccessDenied);
    EXPECT_NE(store->lastError().find("running"), std::string::npos);
    EXPECT_EQ(store->createKey(RegRoot::CurrentUser, "Software\\During", other), kRegAccessDenied);
    EXPECT_EQ(store->createKey(RegRoot::CurrentUser, "Software\\Before", other), kRegSuccess)
        << "opening is fine";
    EXPECT_EQ(store->deleteKey(other, ""), kRegAccessDenied);
    RegHandle software = 0;
    ASSERT_EQ(store->openKey(RegRoot::CurrentUser, "Software", true, software), kRegSuccess);
    EXPECT_EQ(store->deleteKey(software, "Before"), kRegAccessDenied);
    EXPECT_EQ(store->flush(), kRegAccessDenied);
    EXPECT_EQ(readAll(prefix.dir / "user.reg"), before);
    RegValue value;
    EXPECT_EQ(store->queryValue(key, "v", value), kRegNotFound)
        << "reads still work; the refused write left nothing";

    server.release();
    EXPECT_FALSE(store->serverRunning());
    EXPECT_EQ(store->setValue(key, "v", kRegSz, bytes("x")), kRegSuccess);
    EXPECT_EQ(store->flush(), kRegSuccess);
    EXPECT_NE(readAll(prefix.dir / "user.reg").find("[Software\\\\Before]"), std::string::npos);
    EXPECT_TRUE(fs::exists(lockPath));
}

} // namespace
} // namespace qob

namespace qob {
namespace {

// A save is on disk before it replaces the hive; a save that fails for want of space says so
// (not "in use by Wine") and leaves the file as it was; a killed save's leftover is cleared.
TEST(WineRegistryStoreTest, ASaveIsDurableSaysWhyItFailedAndClearsKilledLeftovers) {
    Prefix prefix({{"user.reg", "user.reg"}});
    const fs::path user = prefix.dir / "user.reg";
    const std::string before = readAll(user);
    writeAll(prefix.dir / "user.reg.tmp-Ab12Cd", "half of a killed save");

    // A file-size limit stands in for a full disk, in a child so the limit stays there.
    const fs::path report = prefix.dir / "report.txt";
    const pid_t child = ::fork();
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit {};
        limit.rlim_cur = limit.rlim_max = before.size() / 2;
        ::setrlimit(RLIMIT_FSIZE, &limit);
        auto store = prefix.open();
        RegHandle key = 0;
        store->createKey(RegRoot::CurrentUser, "Software\\Quire", key);
        store->setValue(key, "v", kRegSz, bytes("x"));
        const RegResult rc = store->flush();
        std::ofstream(report) << rc << "|" << store->lastError();
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    const std::string failed = readAll(report);
    EXPECT_EQ(failed.substr(0, failed.find('|')), std::to_string(kRegWriteFault)) << failed;
    EXPECT_NE(failed.find(std::strerror(EFBIG)), std::string::npos) << failed;
    EXPECT_NE(failed.find("the file is unchanged"), std::string::npos) << failed;
    EXPECT_EQ(readAll(user), before);

    std::vector<std::string> seen; // per flush: what was flushed, and whether user.reg was still the old one
    WinePrefixRegistry::Options options;
    options.clock = [] { return kNow; };
    options.sync = [&](int fd) {
        struct stat st {};
        ::fstat(fd, &st);
        seen.push_back(std::string(S_ISDIR(st.st_mode) ? "folder" : "file") +
                       (readAll(user) == before ? ":old" : ":new"));
        return ::fsync(fd);
    };
    WinePrefixRegistry store(prefix.dir.path(), options);
    RegHandle key = 0;
    ASSERT_EQ(store.createKey(RegRoot::CurrentUser, "Software\\Quire", key), kRegSuccess);
    ASSERT_EQ(store.flush(), kRegSuccess) << store.lastError();
    EXPECT_EQ(seen, (std::vector<std::string>{"file:old", "folder:new"}));
    EXPECT_FALSE(fs::exists(prefix.dir / "user.reg.tmp-Ab12Cd"));
    EXPECT_TRUE(fs::exists(report));
}

// A run that waited for another one (a restore waiting for the run lock) must read what that run
// saved, however recently it read the file itself; else its own changes, made on the older copy,
// are refused when it saves them.
TEST(WineRegistryStoreTest, DiscardingChangesLooksAtTheFileAgainAtOnce) {
    Prefix prefix({{"user-api-edgecases.reg", "user.reg"}});
    WinePrefixRegistry::Options slow;
    slow.clock = [] { return kNow; };
    slow.reloadCheckInterval = std::chrono::hours(1);
    WinePrefixRegistry waiting(prefix.dir.path(), slow);
    auto valueOf = [](RegistryStore& store) {
        RegHandle key = 0;
        RegValue value;
        if (store.openKey(RegRoot::CurrentUser, "software\\QUIRETEST\\fixture", false, key) != kRegSuccess ||
            store.queryValue(key, "Other", value) != kRegSuccess) {
            return std::string("none");
        }
        store.closeKey(key);
        return std::string(value.data.begin(), value.data.end() - 1);
    };
    ASSERT_EQ(valueOf(waiting), "none");
    {
        auto other = prefix.open();
        RegHandle key = 0;
        ASSERT_EQ(other->createKey(RegRoot::CurrentUser, "software\\QUIRETEST\\fixture", key), kRegSuccess);
        ASSERT_EQ(other->setValue(key, "Other", kRegSz, bytes("saved by the other run")), kRegSuccess);
        other->closeKey(key);
        ASSERT_EQ(other->flush(), kRegSuccess);
    }
    EXPECT_EQ(valueOf(waiting), "none"); // within the interval nobody looks
    ASSERT_EQ(waiting.discardChanges(), kRegSuccess);
    EXPECT_EQ(valueOf(waiting), "saved by the other run");
    RegHandle key = 0;
    ASSERT_EQ(waiting.createKey(RegRoot::CurrentUser, "software\\QUIRETEST\\fixture", key), kRegSuccess);
    ASSERT_EQ(waiting.setValue(key, "Mine", kRegSz, bytes("mine")), kRegSuccess);
    waiting.closeKey(key);
    EXPECT_EQ(waiting.flush(), kRegSuccess) << waiting.lastError();
    EXPECT_EQ(valueOf(*prefix.open()), "saved by the other run");
}

} // namespace
} // namespace qob
