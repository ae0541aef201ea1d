// The weekly task's Windows side against the Windows API (run under Wine): the password file and
// the scratch files carry a DACL of the user's SID alone, protected from the folder's (the files'
// lists only on Windows: Wine keeps none); command
// lines reach the program whole; and, where the system's schtasks.exe can list tasks (Windows,
// not Wine 8), a task made, read back and removed for real.
#include "platform/OwnerOnly.h"
#include "platform/ProcessRunner.h"
#include "platform/win32/WideText.h"
#include "platform/win32/Win32OwnerOnly.h"
#include "platform/win32/Win32SystemServices.h"
#include "schedule/PasswordFile.h"
#include "schedule/SchtasksScheduler.h"
#include "settings/TempFiles.h"

#include "TestPaths.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <aclapi.h>

#include <fstream>
#include <vector>

namespace qob {
namespace {

namespace fs = std::filesystem;

struct Dacl {
    bool read = false;
    bool isProtected = false;
    std::vector<std::pair<BYTE, std::vector<unsigned char>>> aces; // type, SID bytes
};

Dacl daclOf(const fs::path& file) {
    Dacl out;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR sd = nullptr;
    std::wstring path = file.wstring();
    if (GetNamedSecurityInfoW(path.data(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
                              nullptr, &sd) != ERROR_SUCCESS) {
        return out;
    }
    out.read = true;
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    GetSecurityDescriptorControl(sd, &control, &revision);
    out.isProtected = (control & SE_DACL_PROTECTED) != 0;
    ACL_SIZE_INFORMATION info{};
    if (dacl && GetAclInformation(dacl, &info, sizeof info, AclSizeInformation)) {
        for (DWORD i = 0; i < info.AceCount; ++i) {
            ACCESS_ALLOWED_ACE* ace = nullptr;
            if (GetAce(dacl, i, reinterpret_cast<void**>(&ace))) {
                PSID sid = &ace->SidStart;
                const auto* start = static_cast<const unsigned char*>(sid);
                out.aces.push_back({ace->Header.AceType, {start, start + GetLengthSid(sid)}});
            }
        }
    }
    LocalFree(sd);
    return out;
}

std::vector<unsigned char> userSid() {
    HANDLE token = nullptr;
    OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token);
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<unsigned char> buffer(size);
    GetTokenInformation(token, TokenUser, buffer.data(), size, &size);
    CloseHandle(token);
    PSID sid = reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid;
    const auto* start = static_cast<const unsigned char*>(sid);
    return {start, start + GetLengthSid(sid)};
}

bool underWine() {
    return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

TEST(Win32Schedule, TheOwnerOnlyListGrantsTheUserAlone) {
    PACL acl = nullptr;
    ASSERT_EQ(win32::ownerOnlyAcl(acl), DWORD(ERROR_SUCCESS));
    ACL_SIZE_INFORMATION info{};
    ASSERT_TRUE(GetAclInformation(acl, &info, sizeof info, AclSizeInformation));
    ASSERT_EQ(info.AceCount, 1u);
    ACCESS_ALLOWED_ACE* ace = nullptr;
    ASSERT_TRUE(GetAce(acl, 0, reinterpret_cast<void**>(&ace)));
    EXPECT_EQ(ace->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
    EXPECT_EQ(ace->Header.AceFlags & (INHERITED_ACE | OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE), 0);
    EXPECT_EQ(ace->Mask & FILE_ALL_ACCESS, DWORD(FILE_ALL_ACCESS));
    const auto* sid = reinterpret_cast<const unsigned char*>(&ace->SidStart);
    EXPECT_EQ(std::vector<unsigned char>(sid, sid + GetLengthSid(&ace->SidStart)), userSid());
    LocalFree(acl);

    // The files themselves: the password file in place, a scratch file, a file made private
    // after the fact. A missing file is an error, not a silent success.
    test::TempDir dir;
    fs::path password;
    ASSERT_TRUE(writePasswordFile(dir.path(), "s3cret", password));
    fs::path scratch;
    ASSERT_TRUE(sGetTempFile(dir.path(), "qob", scratch));
    ASSERT_TRUE(placeTaskPasswordFile(dir.path(), password));
    const fs::path placed = taskPasswordFile(dir.path());
    const fs::path plain = dir / "plain.txt";
    std::ofstream(plain) << "x";
    const fs::path madePrivate = dir / "private.txt";
    std::ofstream(madePrivate) << "x";
    ASSERT_TRUE(makeOwnerOnly(madePrivate));
    std::string read;
    ASSERT_TRUE(readPasswordFile(placed, read));
    EXPECT_EQ(read, "s3cret");
    EXPECT_FALSE(makeOwnerOnly(dir / "missing"));
    if (underWine()) {
        // Wine 8 keeps no access list with a file: it reads back one made up from the Unix mode
        // (SYSTEM, the user, Everyone), whatever was set. Only Windows can show the list on disk.
        GTEST_SKIP() << "Wine keeps no access list on files";
    }
    for (const fs::path& file : {placed, scratch, madePrivate}) {
        SCOPED_TRACE(file.string());
        const Dacl dacl = daclOf(file);
        ASSERT_TRUE(dacl.read);
        EXPECT_TRUE(dacl.isProtected);
        ASSERT_EQ(dacl.aces.size(), 1u);
        EXPECT_EQ(dacl.aces[0].first, ACCESS_ALLOWED_ACE_TYPE);
        EXPECT_EQ(dacl.aces[0].second, userSid());
    }
    // What the others would have had: what the folder passes down, more than the user alone.
    const Dacl inherited = daclOf(plain);
    EXPECT_FALSE(inherited.isProtected);
    EXPECT_GT(inherited.aces.size(), 1u);
}

TEST(Win32Schedule, ACommandLineReachesTheProgramWhole) {
    PosixProcessRunner runner;
    const std::string cmd = Win32SystemServices::systemProgram("cmd.exe");
    struct Case {
        std::string commandLine, out;
        int exitCode;
    };
    for (const Case& c : std::vector<Case>{
             {"cmd /c echo \"\\\"C:\\Q\\quiremail.exe\\\" sf=My  Profilexm=1ps=bf=C:\\a  b.qob\"",
              "\"\\\"C:\\Q\\quiremail.exe\\\" sf=My  Profilexm=1ps=bf=C:\\a  b.qob\"\r\n", 0},
             {"cmd /c exit 3", "", 3},
         }) {
        SCOPED_TRACE(c.commandLine);
        ProcessResult r = runner.runCommandLine(cmd, c.commandLine, "");
        ASSERT_TRUE(r.started) << r.error;
        EXPECT_EQ(r.exitCode, c.exitCode);
        EXPECT_EQ(r.out, c.out);
    }
    ProcessResult missing = runner.runCommandLine("C:\\no\\such\\schtasks.exe", "schtasks /query", "");
    EXPECT_FALSE(missing.started);
    EXPECT_NE(missing.error.find("schtasks.exe"), std::string::npos);
    // The tool is System32's, never one in the current folder.
    EXPECT_EQ(Win32SystemServices::systemProgram("schtasks.exe").find(":\\"), 1u);
}

TEST(Win32Schedule, TheRealTaskSchedulerMakesReadsAndRemovesTheTask) {
    PosixProcessRunner runner;
    const std::string tool = Win32SystemServices::systemProgram("schtasks.exe");
    ProcessResult listed = runner.runCommandLine(tool, "schtasks /query /fo CSV /nh", "");
    // Windows always lists tasks of its own; Wine 8's tool answers /query with nothing and exit 0.
    if (!listed.started || listed.exitCode != 0 || listed.out.empty()) {
        GTEST_SKIP() << "this schtasks.exe cannot list tasks (Wine 8 has no /query, /end or /sc)";
    }
    if (listed.out.find("Quire Outlook AutoBackup") != std::string::npos) {
        GTEST_SKIP() << "a task of the program exists already; it is left alone";
    }
    test::TempDir dir;
    SchtasksScheduler scheduler(runner, tool, Win32SystemServices::consoleCodePage());
    ScheduledTask task;
    task.days = {true, false, false, false, true, false, false};
    task.hour = 21;
    task.minute = 30;
    task.program = (dir / "quiremail.exe").string();
    task.arguments = " sf=My  Profilexm=110000000ps=bf=" + (dir / "q.qob").string();
    const Status registered = scheduler.registerTask(task);
    ASSERT_TRUE(registered) << registered.message;
    std::optional<ScheduledTask> read;
    EXPECT_TRUE(scheduler.readTask(read));
    EXPECT_EQ(read, task);
    ASSERT_TRUE(scheduler.removeTask());
    ASSERT_TRUE(scheduler.readTask(read));
    EXPECT_FALSE(read);
    EXPECT_TRUE(scheduler.removeTask());
}

} // namespace
} // namespace qob
