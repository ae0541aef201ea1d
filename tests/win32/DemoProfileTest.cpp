// qob.exe demo-profile writes the demo Outlook profiles into the running Windows (here the test's
// Wine prefix): the profiles and their files are found by every command, the machine's own name
// and folders are left alone, what an installed Office wrote stays, and a profile of the same
// name is never written over.
#include "DemoCli.h"
#include "app/cli/Cli.h"
#include "demo/DemoTargetSystem.h"
#include "platform/win32/WideText.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <sstream>
#include <string>

namespace qob {
namespace {

namespace fs = std::filesystem;

std::wstring stringValue(HKEY root, const wchar_t* key, const wchar_t* name) {
    wchar_t text[512] = {};
    DWORD size = sizeof text - sizeof(wchar_t);
    if (RegGetValueW(root, key, name, RRF_RT_REG_SZ, nullptr, text, &size) != ERROR_SUCCESS) {
        return L"<none>";
    }
    return text;
}

TEST(DemoProfile, WritesTheProfilesAndTheirFilesAndNothingOfTheMachine) {
    const std::wstring computerKey = L"System\\CurrentControlSet\\Control\\ComputerName\\ComputerName";
    const std::wstring computerBefore = stringValue(HKEY_LOCAL_MACHINE, computerKey.c_str(), L"ComputerName");
    const std::wstring userBefore = stringValue(HKEY_CURRENT_USER, L"Volatile Environment", L"USERNAME");

    test::DemoCli cli;
    const DemoTargetSystem demo = DemoTargetSystem::layout(cli.prefix, "15.0");
    // Every data file the profiles name is where their references say, under the chosen folder.
    for (const DemoStore& store : demo.stores) {
        EXPECT_TRUE(fs::is_regular_file(demo.hostPath(store.targetPath))) << store.targetPath;
        EXPECT_EQ(store.targetPath.rfind(win32::narrow(fs::absolute(cli.prefix).wstring()), 0), 0u)
            << store.targetPath;
    }
    EXPECT_EQ(stringValue(HKEY_LOCAL_MACHINE, computerKey.c_str(), L"ComputerName"), computerBefore);
    EXPECT_EQ(stringValue(HKEY_CURRENT_USER, L"Volatile Environment", L"USERNAME"), userBefore);

    std::ostringstream out, err;
    ASSERT_EQ(cli::runCli({"profiles", "--verbose"}, out, err), 0) << err.str();
    for (const char* profile : {"Outlook", "Second"}) {
        EXPECT_NE(out.str().find(profile), std::string::npos) << out.str();
    }
    EXPECT_NE(out.str().find("Outlook.pst"), std::string::npos) << out.str();

    // A second demo finds the profiles there and writes nothing, not even its folder.
    const fs::path second = cli.dir / "second";
    out.str("");
    err.str("");
    EXPECT_EQ(cli::runCli({"demo-profile", second.string()}, out, err), 1);
    EXPECT_NE(err.str().find("already has a mail profile"), std::string::npos) << err.str();
    EXPECT_FALSE(fs::exists(second));
}

TEST(DemoProfile, OfficesMachineWideValuesThatAreThereStay) {
    struct Clean {
        Clean() { test::DemoCli::removeDemoKeys(); }
        ~Clean() { test::DemoCli::removeDemoKeys(); }
    } clean;
    const wchar_t* shared = L"SOFTWARE\\Microsoft\\Shared Tools";
    ASSERT_EQ(RegSetKeyValueW(HKEY_LOCAL_MACHINE, shared, L"SharedFilesDir", REG_SZ, L"D:\\Office\\",
                              sizeof L"D:\\Office\\"),
              ERROR_SUCCESS);
    test::TempDir dir;
    std::ostringstream out, err;
    ASSERT_EQ(cli::runCli({"demo-profile", (dir / "pfx").string()}, out, err), 0) << err.str();
    EXPECT_EQ(stringValue(HKEY_LOCAL_MACHINE, shared, L"SharedFilesDir"), L"D:\\Office\\");
    // The Office install the demo added names the demo's own folder.
    const std::wstring root =
        stringValue(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Office\\15.0\\Outlook\\InstallRoot", L"Path");
    EXPECT_EQ(root.rfind(fs::absolute(dir / "pfx").wstring(), 0), 0u) << win32::narrow(root);
}

} // namespace
} // namespace qob
