#pragma once
// A demo target system for qob commands run in-process: a program folder of its own (QUIRE_HOME,
// set for the length of the test), a demo target system, and the streams the commands write to.
// On Linux the target is a demo prefix, named to each command with --prefix (withTarget); on
// Windows it is the running Windows itself: `qob demo-profile` writes the demo profiles into this
// user's registry (the test's Wine prefix) and their files under `prefix`, USERPROFILE points at
// the demo user's folder, and every key the demo wrote is removed again at the end.
#include "TestPaths.h"
#include "app/cli/Cli.h"

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#ifdef _WIN32
#include "demo/DemoTargetSystem.h"
#include "platform/win32/WideText.h"

#include <windows.h>
#endif

namespace qob::test {

struct DemoCli {
    TempDir dir;
    std::filesystem::path prefix = dir / "pfx";
    std::ostringstream out, err;

    DemoCli() {
        std::filesystem::create_directories(dir / "home");
        ::setenv("QUIRE_HOME", (dir / "home").string().c_str(), 1);
#ifdef _WIN32
        removeDemoKeys(); // what a test killed before its end left behind
        if (cli::runCli({"demo-profile", prefix.string()}, out, err) != 0) {
            throw std::runtime_error("no demo profile: " + err.str());
        }
        ::setenv("USERPROFILE", DemoTargetSystem::layout(prefix, "15.0").userProfileFolder.c_str(), 1);
#else
        if (cli::runCli({"demo-prefix", prefix.string()}, out, err) != 0) {
            throw std::runtime_error("no demo prefix: " + err.str());
        }
#endif
    }
    ~DemoCli() {
        ::unsetenv("QUIRE_HOME");
#ifdef _WIN32
        removeDemoKeys();
#endif
    }
    DemoCli(const DemoCli&) = delete;
    DemoCli& operator=(const DemoCli&) = delete;

    // A command line that works on the demo target system.
    std::vector<std::string> withTarget(std::vector<std::string> args) const {
#ifndef _WIN32
        args.insert(args.begin(), {"--prefix", prefix.string()});
#endif
        return args;
    }

#ifdef _WIN32
    // The test's Wine prefix is the test's own: Office's machine-wide keys go too, so that the next
    // demo writes them for its own folder.
    static void removeDemoKeys() {
        for (const char* key :
             {"Software\\Microsoft\\Office\\15.0",
              "Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows Messaging Subsystem"}) {
            RegDeleteTreeW(HKEY_CURRENT_USER, win32::widen(key).c_str());
        }
        for (const char* key : {"SOFTWARE\\Microsoft\\Office\\15.0",
                                "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\OUTLOOK.EXE"}) {
            RegDeleteTreeW(HKEY_LOCAL_MACHINE, win32::widen(key).c_str());
        }
        RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Shared Tools", L"SharedFilesDir");
    }
#endif
};

} // namespace qob::test
