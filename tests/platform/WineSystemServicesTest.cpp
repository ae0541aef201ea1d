#include "platform/wine/WineSystemServices.h"

#include "MemoryRegistryStore.h"
#include "TestPaths.h"

#include <fstream>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace qob {
namespace {

namespace fs = std::filesystem;

WineSystemServices::Options asUser(const std::string& user, fs::path procRoot = "/nonexistent-proc") {
    WineSystemServices::Options options;
    options.userName = user;
    options.procRoot = std::move(procRoot);
    return options;
}

// The identity values of a fresh Wine 8 prefix created by user root.
void wineDefaults(test::MemoryRegistryStore& reg) {
    const std::string nt = "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion";
    reg.putString(nt, "CurrentVersion", "6.1");
    reg.putString(nt, "CurrentBuildNumber", "7601");
    reg.putString(nt + "\\ProfileList", "ProgramData", "C:\\ProgramData", kRegExpandSz);
    reg.putString(nt + "\\ProfileList\\S-1-5-21-0-0-0-1000", "ProfileImagePath", "C:\\users\\root");
    reg.putString("HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\ComputerName\\ComputerName",
                  "ComputerName", "VM");
}

TEST(WineSystemServices, IdentityFromTheRegistry) {
    test::MemoryRegistryStore reg;
    wineDefaults(reg);
    WineSystemServices sys("/p", reg, asUser("root"));
    EXPECT_EQ(sys.computerName(), "VM");
    EXPECT_EQ(sys.logonUser(), "root");
    EXPECT_EQ(sys.windowsFolder(), "C:\\windows");
    WindowsVersion v = sys.windowsVersion();
    EXPECT_EQ(v.major, 6u);
    EXPECT_EQ(v.minor, 1u);
    EXPECT_EQ(v.build, 7601u);

    // A Windows 10 setting carries the real numbers in DWORDs beside "6.3".
    const std::string nt = "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion";
    reg.putString(nt, "CurrentVersion", "6.3");
    reg.putDword(nt, "CurrentMajorVersionNumber", 10);
    reg.putDword(nt, "CurrentMinorVersionNumber", 0);
    reg.putString(nt, "CurrentBuildNumber", "19045");
    v = sys.windowsVersion();
    EXPECT_EQ(v.major, 10u);
    EXPECT_EQ(v.minor, 0u);
    EXPECT_EQ(v.build, 19045u);

    // An empty registry: Wine's defaults, and the host name for the computer.
    test::MemoryRegistryStore empty;
    WineSystemServices bare("/p", empty, asUser("me"));
    v = bare.windowsVersion();
    EXPECT_EQ(v.major, 6u);
    EXPECT_EQ(v.minor, 1u);
    EXPECT_EQ(v.build, 7601u);
    std::string host = bare.computerName();
    EXPECT_FALSE(host.empty());
    EXPECT_EQ(host.find('.'), std::string::npos);
    for (char ch : host)
        EXPECT_FALSE(std::islower(static_cast<unsigned char>(ch))) << host;
    EXPECT_EQ(bare.userProfile(), "C:\\users\\me");
    // Without an injected name, the Unix user.
    WineSystemServices real("/p", empty);
    EXPECT_FALSE(real.logonUser().empty());

    // Wine names the prefix's owner, who is not us when root works on a user's prefix.
    if (::getuid() == 0) {
        test::TempDir owned;
        ASSERT_EQ(::chown(owned.path().c_str(), 1, 1), 0); // "daemon" on Debian
        WineSystemServices theirs(owned.path(), empty);
        EXPECT_EQ(theirs.logonUser(), "daemon");
        EXPECT_EQ(theirs.userProfile(), "C:\\users\\daemon");
    }
}

TEST(WineSystemServices, ExpandsTheVariablesWineSetsUp) {
    test::MemoryRegistryStore reg;
    wineDefaults(reg);
    const std::string list =
        "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
    // Another user's entry first: the one ending in our user name is chosen.
    reg.putString(list + "\\S-1-5-21-0-0-0-0999", "ProfileImagePath", "C:\\users\\other");
    reg.putString(list + "\\S-1-5-18", "ProfileImagePath", "%systemroot%\\system32\\config\\systemprofile");
    WineSystemServices sys("/p", reg, asUser("root"));

    EXPECT_EQ(sys.expandEnvironment("%UserProfile%"), "C:\\users\\root");
    EXPECT_EQ(sys.expandEnvironment("%USERPROFILE%\\Documents"), "C:\\users\\root\\Documents");
    EXPECT_EQ(sys.expandEnvironment("%LOCALAPPDATA%\\Microsoft\\Outlook"),
              "C:\\users\\root\\AppData\\Local\\Microsoft\\Outlook");
    EXPECT_EQ(sys.expandEnvironment("%appdata%"), "C:\\users\\root\\AppData\\Roaming");
    EXPECT_EQ(sys.expandEnvironment("%TEMP%|%tmp%"), "C:\\users\\root\\Temp|C:\\users\\root\\Temp");
    EXPECT_EQ(sys.expandEnvironment("%HOMEDRIVE%%HOMEPATH%"), "C:\\users\\root");
    EXPECT_EQ(sys.expandEnvironment("%SystemRoot%;%windir%"), "C:\\windows;C:\\windows");
    EXPECT_EQ(sys.expandEnvironment("%ProgramFiles%"), "C:\\Program Files");
    EXPECT_EQ(sys.expandEnvironment("%ProgramData%"), "C:\\ProgramData");
    EXPECT_EQ(sys.expandEnvironment("%USERNAME%@%COMPUTERNAME%"), "root@VM");
    // Unknown names, lone and doubled signs stay as written.
    EXPECT_EQ(sys.expandEnvironment("%NoSuchVar%\\x"), "%NoSuchVar%\\x");
    EXPECT_EQ(sys.expandEnvironment("100% sure"), "100% sure");
    EXPECT_EQ(sys.expandEnvironment("%%USERNAME%"), "%%USERNAME%");
    EXPECT_EQ(sys.expandEnvironment("%nope%USERNAME%"), "%nope%USERNAME%");
    EXPECT_EQ(sys.expandEnvironment(""), "");

    // Wine's saved Volatile Environment is asked first; a value holding a reference is not used.
    reg.putString("HKEY_CURRENT_USER\\Volatile Environment", "APPDATA", "D:\\roaming");
    reg.putString("HKEY_CURRENT_USER\\Volatile Environment", "LOCALAPPDATA", "%USERPROFILE%\\L");
    EXPECT_EQ(sys.expandEnvironment("%AppData%"), "D:\\roaming");
    EXPECT_EQ(sys.expandEnvironment("%LocalAppData%"), "C:\\users\\root\\AppData\\Local");

    // No entry ends with the user name: the first S-1-5-21 entry (Wine uses one SID for everyone).
    WineSystemServices stranger("/p", reg, asUser("alice"));
    EXPECT_EQ(stranger.userProfile(), "C:\\users\\other");
    // Real Windows spells the drive as a variable.
    test::MemoryRegistryStore win;
    win.putString(list + "\\S-1-5-21-1-2-3-1001", "ProfileImagePath", "%SystemDrive%\\Users\\Alice",
                  kRegExpandSz);
    WineSystemServices copied("/p", win, asUser("alice"));
    EXPECT_EQ(copied.expandEnvironment("%USERPROFILE%"), "C:\\Users\\Alice");
    EXPECT_EQ(copied.expandEnvironment("%HOMEPATH%"), "\\Users\\Alice");
}

// A made-up /proc: one folder per pid with environ and cmdline, NUL-separated.
void fakeProcess(const fs::path& proc, const std::string& pid, const std::string& environ,
                 const std::string& cmdline) {
    fs::create_directories(proc / pid);
    std::ofstream(proc / pid / "environ", std::ios::binary) << environ;
    std::ofstream(proc / pid / "cmdline", std::ios::binary) << cmdline;
}

TEST(WineSystemServices, FindsTheWindowsProcessesOfThisPrefixOnly) {
    test::TempDir dir;
    const fs::path proc = dir / "proc";
    const fs::path prefix = dir / "prefix";
    fs::create_directories(prefix);
    const std::string ours = std::string("HOME=/home/u\0WINEPREFIX=", 24) + prefix.string() + "/";
    using namespace std::string_literals;
    fakeProcess(proc, "40", ours + "\0"s,
                "C:\\Program Files\\Microsoft Office\\Office15\\OUTLOOK.EXE\0/recycle\0"s);
    fakeProcess(proc, "7", ours, "/usr/bin/wine64-preloader\0/usr/lib/wine/wine64\0outlook.exe\0"s);
    fakeProcess(proc, "8", ours, "wine\0C:/windows/notepad.exe\0"s);
    fakeProcess(proc, "9", ours, "/usr/bin/wineserver\0"s);
    fakeProcess(proc, "10", ours, "/bin/bash\0outlook.exe\0"s);
    fakeProcess(proc, "11", "WINEPREFIX=/other/prefix\0"s, "OUTLOOK.EXE\0"s);
    fakeProcess(proc, "12", "HOME=" + dir.path().string() + "\0"s, "explorer.exe\0"s); // ~/.wine, not ours
    fakeProcess(proc, "self", ours, "OUTLOOK.EXE\0"s);
    fs::create_directories(proc / "13"); // unreadable environment: skipped
    test::MemoryRegistryStore reg;
    WineSystemServices sys(prefix, reg, asUser("u", proc));
    auto list = sys.processes();
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].pid, 7);
    EXPECT_EQ(list[0].exeName, "outlook.exe");
    EXPECT_EQ(list[1].pid, 8);
    EXPECT_EQ(list[1].exeName, "notepad.exe");
    EXPECT_EQ(list[2].pid, 40);
    EXPECT_EQ(list[2].exeName, "OUTLOOK.EXE");

    // A user of the default prefix runs wine without WINEPREFIX.
    WineSystemServices home(dir / ".wine", reg, asUser("u", proc));
    auto homeList = home.processes();
    ASSERT_EQ(homeList.size(), 1u);
    EXPECT_EQ(homeList[0].exeName, "explorer.exe");

    // Only processes of the prefix may be terminated; 0 and -1 would signal process groups.
    EXPECT_FALSE(sys.terminateProcess(0));
    EXPECT_FALSE(sys.terminateProcess(-1));
    EXPECT_FALSE(sys.terminateProcess(11));
}

TEST(WineSystemServices, TerminatesARealProcessOfThePrefix) {
    test::TempDir prefix;
    // A stand-in for Outlook: sleep, started with a Windows argv[0] and this prefix in its
    // environment, as Wine leaves them in /proc.
    std::string envText = "WINEPREFIX=" + prefix.path().string();
    char* argv[] = {const_cast<char*>("C:\\Program Files\\Office\\OUTLOOK.EXE"), const_cast<char*>("30"),
                    nullptr};
    char* envp[] = {envText.data(), nullptr};
    pid_t child = 0;
    ASSERT_EQ(::posix_spawn(&child, "/bin/sleep", nullptr, nullptr, argv, envp), 0);
    test::MemoryRegistryStore reg;
    WineSystemServices sys(prefix.path(), reg);
    // The parent may resume while the kernel is still setting up the new program's argv and
    // environment, so look again until they are readable.
    std::vector<ProcessInfo> list;
    auto it = list.end();
    for (int attempt = 0; attempt < 200 && it == list.end(); ++attempt) {
        if (attempt > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        list = sys.processes();
        it = std::find_if(list.begin(), list.end(), [&](const ProcessInfo& p) { return p.pid == child; });
    }
    if (it == list.end())
        ::kill(child, SIGKILL);
    ASSERT_NE(it, list.end());
    EXPECT_EQ(it->exeName, "OUTLOOK.EXE");
    EXPECT_TRUE(sys.terminateProcess(child));
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), SIGTERM);
}

} // namespace
} // namespace qob
