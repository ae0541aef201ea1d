// Asking a program of the prefix to close, against the real Wine: a small Windows program with a
// window is started in the booted prefix, then asked to close the way the backup asks Outlook. It
// must get WM_CLOSE (it writes a marker and exits with 0), be gone, never be killed, and the
// prefix's wineserver must have saved and exited by the time we return.
#include "TestPaths.h"
#include "WinePrefixEnvironment.h"
#include "ZipTools.h"
#include "backup/Processes.h"
#include "platform/wine/WinePrefixRegistry.h"
#include "platform/wine/WineSystemServices.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace qob {
namespace {

namespace fs = std::filesystem;
using Env = WinePrefixEnvironment;

std::string windowsPath(const fs::path& unixPath) {
    std::string text = "Z:" + unixPath.string();
    std::replace(text.begin(), text.end(), '/', '\\');
    return text;
}

// Bounded wait for something another process does; false when it never came.
template <typename Done> bool eventually(Done done) {
    for (int i = 0; i < 1200; ++i) {
        if (done())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return done();
}

TEST(WineCloseProgram, AskedToCloseItSavesAndExitsAndIsNeverKilled) {
    const fs::path probe = QOB_CLOSE_PROBE_EXE;
    if (probe.empty())
        GTEST_SKIP() << "no mingw-w64 cross compiler: the Windows test program was not built";

    Env::stopServer();
    {
        // The test machine has no display; Wine's null graphics driver still gives the program
        // real windows for taskkill to find.
        WinePrefixRegistry reg(Env::prefix);
        RegHandle key = 0;
        ASSERT_EQ(reg.createKey(RegRoot::CurrentUser, "Software\\Wine\\Drivers", key), kRegSuccess);
        ASSERT_EQ(reg.setValue(key, "Graphics", kRegSz, {'n', 'u', 'l', 'l'}), kRegSuccess);
        reg.closeKey(key);
        ASSERT_EQ(reg.flush(), kRegSuccess) << reg.lastError();
    }
    const fs::path work = Env::prefix.parent_path() / "close";
    fs::create_directories(work);
    const fs::path marker = work / "closed.txt", ready = work / "ready.txt", status = work / "status.txt";

    const auto started = std::chrono::steady_clock::now();
    // The shell keeps the exit code: 0 from a program that closed, 143 from one ended by SIGTERM.
    const std::string script = "(wine \"" + probe.string() + "\" \"" + windowsPath(marker) + "\" \"" +
                               windowsPath(ready) + "\"; echo $? >\"" + status.string() + "\") &";
    ASSERT_EQ(Env::wine("sh -c '" + script + "'"), 0) << Env::logText();
    ASSERT_TRUE(eventually([&] { return fs::exists(ready) || fs::exists(status); })) << Env::logText();
    ASSERT_FALSE(fs::exists(status)) << "the probe ended early: " << test::readBytes(status)
                                     << Env::logText();

    WinePrefixRegistry registry(Env::prefix);
    WineSystemServices system(Env::prefix, registry);
    auto list = system.processes();
    ASSERT_TRUE(std::any_of(list.begin(), list.end(),
                            [](const ProcessInfo& p) { return p.exeName == "CloseProbe.exe"; }));
    ASSERT_TRUE(system.registryHeld());

    EXPECT_EQ(closeProcessByName(system, "closeprobe.exe"), CloseResult::Closed);
    EXPECT_EQ(test::readBytes(marker), "closed");
    list = system.processes();
    EXPECT_TRUE(std::none_of(list.begin(), list.end(),
                             [](const ProcessInfo& p) { return p.exeName == "CloseProbe.exe"; }));
    EXPECT_FALSE(system.registryHeld()) << "the wineserver saved and exited";
    ASSERT_TRUE(eventually([&] { return fs::exists(status) && !test::readBytes(status).empty(); }));
    EXPECT_EQ(test::readBytes(status), "0\n") << "the probe was not asked but ended";

    const auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::printf("close test: %.1f s\n", seconds);
}

} // namespace
} // namespace qob
