// qob reg export / import / query on a prefix holding a real user.reg written by Wine.
#include "TestPaths.h"
#include "app/cli/Cli.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace qob {
namespace {

namespace fs = std::filesystem;

const std::string kProfile = "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows "
                             "Messaging Subsystem\\Profiles\\"
                             "Outlook\\abc123";

class RegCommands : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(dir.path() / "prefix");
        fs::create_directories(dir.path() / "home");
        fs::copy_file(test::fixture("user.reg"), dir.path() / "prefix" / "user.reg");
        setenv("QUIRE_HOME", (dir.path() / "home").c_str(), 1);
    }
    int run(std::vector<std::string> args) {
        out.str("");
        err.str("");
        args.insert(args.begin(), {"--prefix", (dir.path() / "prefix").string()});
        return cli::runCli(args, out, err);
    }
    static std::string read(const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    test::TempDir dir;
    std::ostringstream out, err;
};

TEST_F(RegCommands, ExportImportQueryRoundTrip) {
    fs::path first = dir / "first.txt";
    ASSERT_EQ(run({"reg", "export", kProfile, first.string()}), 0) << err.str();
    std::string text = read(first);
    EXPECT_EQ(text.rfind("\\\r\n", 0), 0u) << "the top key line comes first";

    ASSERT_EQ(run({"reg", "import", "HKEY_CURRENT_USER\\Software\\Copy", first.string()}), 0) << err.str();
    fs::path second = dir / "second.txt";
    ASSERT_EQ(run({"reg", "export", "HKEY_CURRENT_USER\\Software\\Copy", second.string()}), 0) << err.str();
    EXPECT_EQ(read(second), text);

    // The copy was saved to user.reg: a new process (a new store) sees it.
    ASSERT_EQ(run({"reg", "query", "HKEY_CURRENT_USER\\Software\\Copy"}), 0) << err.str();
    std::string listing = out.str();
    std::istringstream expected(text);
    std::string line;
    std::getline(expected, line); // "\"
    bool topValues = true;        // the top key's values come before its first subkey line
    while (std::getline(expected, line)) {
        line.pop_back(); // CR
        if (line[0] == '\\') {
            topValues = false;
            if (line.find('\\', 1) == std::string::npos) {
                EXPECT_NE(listing.find(line + "\n"), std::string::npos) << "subkey " << line;
            }
        } else if (topValues) {
            EXPECT_NE(listing.find(line + "\n"), std::string::npos) << "value " << line;
        }
    }
}

TEST_F(RegCommands, FailuresAreReportedWithExitCodes) {
    EXPECT_EQ(run({"reg", "export", "HKEY_CURRENT_USER\\Software\\Missing", (dir / "x.txt").string()}), 1);
    EXPECT_NE(err.str().find("does not exist"), std::string::npos);
    EXPECT_FALSE(fs::exists(dir / "x.txt"));

    EXPECT_EQ(run({"reg", "export", "HKEY_CURRENT_USER\\Software\\", (dir / "x.txt").string()}), 1);
    EXPECT_NE(err.str().find("Incorrect Format:"), std::string::npos);

    EXPECT_EQ(run({"reg", "query", "HKEY_CURRENT_USER\\Software\\Missing"}), 1);

    // A damaged registry text changes nothing.
    std::string before = read(dir.path() / "prefix" / "user.reg");
    std::ofstream(dir / "bad.txt", std::ios::binary) << "\\\r\n\"a\"= dw:notanumber\r\n";
    EXPECT_EQ(run({"reg", "import", kProfile, (dir / "bad.txt").string()}), 1);
    EXPECT_NE(err.str().find("line 2"), std::string::npos) << err.str();
    EXPECT_EQ(read(dir.path() / "prefix" / "user.reg"), before);

    // A value the registry text cannot carry is named on stderr and fails the command; the file
    // holds the rest.
    {
        std::ofstream reg(dir.path() / "prefix" / "user.reg", std::ios::binary | std::ios::app);
        reg << "\n[Software\\\\Quire\\\\Odd] "
               "1796672166\n\"Good\"=\"kept\"\n\"Signature\"=\"Regards\\r\\nQuire\"\n";
    }
    EXPECT_EQ(run({"reg", "export", "HKEY_CURRENT_USER\\Software\\Quire\\Odd", (dir / "odd.txt").string()}),
              1);
    EXPECT_NE(
        err.str().find("not exported: HKEY_CURRENT_USER\\Software\\Quire\\Odd\\Signature: its text holds "
                       "a line break"),
        std::string::npos)
        << err.str();
    EXPECT_EQ(read(dir / "odd.txt"), "\\\r\n\"Good\"= sz:kept\r\n");

    EXPECT_EQ(run({"reg", "export", kProfile}), 2) << "missing argument";
    EXPECT_EQ(run({"nonsense"}), 2);
}

} // namespace
} // namespace qob
