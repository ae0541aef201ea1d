// qob backup's exit code (a backup without a data file the profile uses is no success for a script)
// and qob info on a crafted backup file.
#include "app/cli/BackupCommand.h"
#include "DemoCli.h"
#include "TestPaths.h"
#include "ZipTools.h"
#include "app/cli/Cli.h"
#include "archive/Archive.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <sys/wait.h>

namespace qob {
namespace {

namespace fs = std::filesystem;

TEST(BackupCommand, AMissingDataFileFailsTheCommandAndIsNamed) {
    test::DemoCli demo;
    const test::TempDir& dir = demo.dir;
    const fs::path& prefix = demo.prefix;
    std::ostringstream &out = demo.out, &err = demo.err;
    auto run = [&](const fs::path& file) {
        out.str("");
        err.str("");
        return cli::runCli({"--prefix", prefix.string(), "backup", "--profile", "Outlook", "--items",
                            "100000000", file.string()},
                           out, err);
    };
    ASSERT_EQ(run(dir.path() / "whole.qob"), 0) << err.str();

    // An empty password file protects nothing: refused with words, not a silent exit code.
    { std::ofstream(dir.path() / "empty-pw") << "\n"; }
    out.str("");
    err.str("");
    EXPECT_EQ(cli::runCli({"--prefix", prefix.string(), "backup", "--profile", "Outlook", "--password-file",
                           (dir.path() / "empty-pw").string(), (dir.path() / "pw.qob").string()},
                          out, err),
              2);
    EXPECT_NE(err.str().find("password"), std::string::npos) << err.str();
    EXPECT_FALSE(fs::exists(dir.path() / "pw.qob"));

    fs::path pst;
    for (const auto& e : fs::recursive_directory_iterator(prefix / "drive_c")) {
        if (e.path().filename() == "Outlook.pst") {
            pst = e.path();
        }
    }
    ASSERT_FALSE(pst.empty());
    fs::remove(pst);
    EXPECT_EQ(run(dir.path() / "part.qob"), 1);
    EXPECT_NE(err.str().find("not stored: "), std::string::npos) << err.str();
    EXPECT_NE(err.str().find("Outlook.pst: the data file the profile names was not found"), std::string::npos)
        << err.str();
    EXPECT_TRUE(fs::exists(dir.path() / "part.qob")) << "what could be stored is still written";
}

TEST(BackupCommand, AChosenItemThatFailsFailsTheCommand) {
    test::DemoCli demo;
    const test::TempDir& dir = demo.dir;
    const fs::path& prefix = demo.prefix;
    std::ostringstream &out = demo.out, &err = demo.err;
    auto run = [&](std::vector<std::string> args) {
        out.str("");
        err.str("");
        args.insert(args.begin(), {"--prefix", prefix.string(), "backup", "--profile", "Outlook"});
        return cli::runCli(args, out, err);
    };
    // Without --items: what the profile has, all of it stored.
    EXPECT_EQ(run({(dir.path() / "all.qob").string()}), 0) << err.str();

    fs::path templates;
    for (const auto& e : fs::recursive_directory_iterator(prefix / "drive_c")) {
        if (e.path().filename() == "Templates" && e.path().parent_path().filename() == "Microsoft") {
            templates = e.path();
        }
    }
    ASSERT_FALSE(templates.empty());
    fs::remove_all(templates);
    fs::create_directory(templates);
    EXPECT_EQ(run({"--items", "000000110", (dir.path() / "t.qob").string()}), 1);
    EXPECT_NE(err.str().find("Backup Templates Fail!"), std::string::npos) << err.str();
    EXPECT_NE(err.str().find("The Backup is Incomplete!"), std::string::npos) << err.str();
}

// The caller's observer hears the job, and its stop token cancels it: exit 130, the earlier file
// as it was.
TEST(BackupCommand, TheCallersObserverAndStopTokenReachTheJob) {
    test::DemoCli demo;
    const test::TempDir& dir = demo.dir;
    const fs::path& prefix = demo.prefix;
    std::ostringstream &out = demo.out, &err = demo.err;
    const fs::path file = dir.path() / "b.qob";
    // An earlier backup (of the options only) at the path.
    ASSERT_EQ(cli::runCli({"--prefix", prefix.string(), "backup", "--profile", "Outlook", "--items",
                           "000001000", file.string()},
                          out, err),
              0)
        << err.str();
    const std::string earlier = test::readBytes(file);
    struct StopWhenWriting : JobObserver {
        StopToken stop;
        std::vector<JobPhase> phases;
        void phaseStarted(JobPhase phase) override {
            phases.push_back(phase);
            if (phase == JobPhase::Writing) {
                stop.requestStop();
            }
        }
    } observer;
    const cli::Args args = cli::parseArgs(
        {"--prefix", prefix.string(), "--profile", "Outlook", file.string()}, {"--prefix", "--profile"});
    EXPECT_EQ(cli::runBackupCommand(args, out, err, observer, observer.stop), 130) << err.str();
    EXPECT_EQ(observer.phases,
              (std::vector<JobPhase>{JobPhase::Preparing, JobPhase::Writing, JobPhase::Finished}));
    EXPECT_NE(err.str().find("The Backup was Cancelled!"), std::string::npos) << err.str();
    EXPECT_TRUE(test::readBytes(file) == earlier);
}

TEST(Quiremail, TheAutomaticRunsExitCodeSaysWhetherTheBackupIsWhole) {
    const fs::path quiremail = fs::path(QOB_BINARY_DIR) / "quiremail";
    if (!fs::exists(quiremail)) {
        GTEST_SKIP() << "the quiremail binary is not built (build target quiremail first)";
    }
    test::TempDir dir;
    fs::create_directories(dir.path() / "home");
    const fs::path prefix = dir.path() / "pfx";
    std::ostringstream out, err;
    ASSERT_EQ(cli::runCli({"demo-prefix", prefix.string()}, out, err), 0) << err.str();
    const std::string env = "QUIRE_HOME='" + (dir.path() / "home").string() + "' WINEPREFIX='" +
                            prefix.string() + "' '" + quiremail.string() + "' ";
    auto run = [&](const fs::path& target) {
        const std::string line = "' sf=Outlookxm=001000000ps=bf=" + target.string() + "'";
        const int status = std::system((env + line + " 2>/dev/null").c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    EXPECT_EQ(run(dir.path() / "a.qob"), 0);
    EXPECT_EQ(run(dir.path() / "no such folder" / "a.qob"), 1);
    // No such profile: no file (not even of the options, which need no profile), and it says so.
    for (const char* flags : {"110000000", "000001000"}) {
        const std::string unknown =
            std::string("' sf=Nobodyxm=") + flags + "ps=bf=" + (dir.path() / "n.qob").string() + "'";
        EXPECT_EQ(std::system((env + unknown + " 2>'" + (dir.path() / "err").string() + "'").c_str()) >> 8,
                  1);
        EXPECT_NE(test::readBytes(dir.path() / "err").find("no mail profile named \"Nobody\""),
                  std::string::npos)
            << test::readBytes(dir.path() / "err");
        EXPECT_FALSE(fs::exists(dir.path() / "n.qob"));
    }
    EXPECT_EQ(std::system((env + "'nonsense' 2>/dev/null").c_str()) >> 8, 1);
}

TEST(InfoCommand, ControlCharactersFromTheBackupAreEscaped) {
    test::TempDir dir;
    {
        std::ofstream info(dir.path() / "quirebox.dat", std::ios::binary);
        // A value that is valid UTF-8 is shown as such, C1 controls escaped; one that is not (the
        // stray 0x9B) is read as Windows-1252, where 0x9B is a quotation mark.
        info << "BackupComputer=PC\x1b]0;owned\x07\r\n"
             << "BackupIdentity=\xC3\x9C"
                "bersicht\xC2\x9B"
                "2J\r\n"
             << "BackupInformation=red \x1b[31m\xC3\x9C"
                "bersicht\xC2\x9B"
                "2JPS$QBXline 2\x9b\r\n"
             << "BackupItem=00000000000\r\n";
    }
    Archive archive;
    ASSERT_TRUE(archive.createArchive(dir.path() / "c.qob"));
    ASSERT_TRUE(archive.addFiles(dir.path() / "quirebox.dat"));
    ASSERT_TRUE(archive.writeArchive());
    std::ostringstream out, err;
    EXPECT_EQ(cli::runCli({"info", (dir.path() / "c.qob").string()}, out, err), 0) << err.str();
    const std::string text = out.str();
    for (char control : {'\x1b', '\x07', '\r'}) {
        EXPECT_EQ(text.find(control), std::string::npos) << text;
    }
    EXPECT_NE(text.find("Computer: PC\\x1B]0;owned\\x07\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Profile: \xC3\x9C"
                        "bersicht\\xC2\\x9B2J\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("Description: red \\x1B[31m\xC3\x83\xC5\x93"
                        "bersicht\xC3\x82\xE2\x80\xBA"
                        "2J\nline 2\xE2\x80\xBA\n"),
              std::string::npos)
        << text;
}

TEST(InfoCommand, AnOversizedInformationFileIsRefusedWithoutFillingTheTemporaryFolder) {
    test::TempDir dir;
    fs::create_directories(dir.path() / "tmp");
    {
        std::ofstream big(dir.path() / "quirebox.dat", std::ios::binary);
        big << "BackupComputer=PC\r\n" << std::string(3 << 20, 'x');
    }
    Archive archive;
    ASSERT_TRUE(archive.createArchive(dir.path() / "big.qob"));
    ASSERT_TRUE(archive.addFiles(dir.path() / "quirebox.dat"));
    ASSERT_TRUE(archive.writeArchive());

    const char* oldTmp = std::getenv("TMPDIR");
    const std::string savedTmp = oldTmp ? oldTmp : "";
    setenv("TMPDIR", (dir.path() / "tmp").c_str(), 1);
    std::ostringstream out, err;
    const int rc = cli::runCli({"info", (dir.path() / "big.qob").string()}, out, err);
    oldTmp ? setenv("TMPDIR", savedTmp.c_str(), 1) : unsetenv("TMPDIR");
    EXPECT_EQ(rc, 1);
    EXPECT_NE(err.str().find("is not a valid backup file"), std::string::npos) << err.str();
    EXPECT_EQ(out.str().find("Computer: PC"), std::string::npos);
    EXPECT_TRUE(fs::is_empty(dir.path() / "tmp"));
}

} // namespace
} // namespace qob
