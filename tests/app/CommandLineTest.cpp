// qob's command line: wrong invocations are refused with exit code 2 before anything runs, help and
// version exit 0, items go by name, and a prefix without Outlook says so.
#include "DemoCli.h"
#include "app/cli/ItemNames.h"
#include "outlook/NoProfileMessage.h"

#include <gtest/gtest.h>

namespace qob {
namespace {

namespace fs = std::filesystem;

struct Invocation {
    std::vector<std::string> argv;
    int code;
    std::string said; // found on stdout (exit 0) or stderr
};

TEST(CommandLine, WrongInvocationsAreRefusedAndHelpIsGiven) {
    test::DemoCli cli;
    const std::string prefix = cli.prefix.string();
    const std::string out = (cli.dir / "out.qob").string();
    const Invocation cases[] = {
        // An option the command does not know is no longer passed over: the backup is not written.
        {{"--prefix", prefix, "backup", "--profile", "Outlook", "--itmes", "data", out}, 2, "--itmes"},
        {{"--prefix", prefix, "backup", "--profile", "Outlook", out, "--force"}, 2, "--force"},
        {{"--prefix", prefix, "backup", "--profile", "Outlook", "--items", "data,mail", out},
         2,
         "unknown item \"mail\" in --items; give names separated by commas (data, accounts, signatures, "
         "stationery, pab, options, templates, preferences, contacts, or all)"},
        {{"--prefix", prefix, "backup", out}, 2, "--profile is required"},
        {{"--prefix", prefix, "backup", "--profile", "Outlook"}, 2, "OUT.qob is required"},
        {{"--prefix", prefix, "backup", "--profile"}, 2, "--profile"},
        {{"--prefix", prefix, "profiles", "stray"}, 2, "stray"},
        {{"--prefix", prefix, "reg", "export", "HKEY_CURRENT_USER"}, 2, "FILE is required"},
        {{"reg", "rename", "A", "B"}, 2, "unknown command 'reg rename'"},
        {{"frobnicate"}, 2, "unknown command 'frobnicate'"},
        {{}, 2, "Exit codes:"},
        {{"--version"}, 0, "qob (Quire Outlook Backup) " QOB_TEST_VERSION "\n"},
        {{"backup", "--help"}, 0, "--items ITEMS"},
        {{"schedule", "add", "-h"}, 0, "--days DAYS"},
        {{"--help"}, 0, "130  stopped by Ctrl-C"},
        {{"help"}, 0, "qob restore FILE.qob --profile TARGET"},
        {{"backup", "--help"}, 0, "--password "},
        {{"info", "--help"}, 0, "--password "},
    };
    for (const Invocation& c : cases) {
        cli.out.str("");
        cli.err.str("");
        const std::string argv = c.argv.empty() ? "(none)" : c.argv.back();
        EXPECT_EQ(cli::runCli(c.argv, cli.out, cli.err), c.code) << argv << "\n" << cli.err.str();
        EXPECT_NE((c.code == 0 ? cli.out : cli.err).str().find(c.said), std::string::npos)
            << argv << "\n"
            << cli.out.str() << cli.err.str();
    }
    EXPECT_FALSE(fs::exists(out));
    // "--" ends the options: what follows is an operand even when it looks like an option.
    cli.err.str("");
    EXPECT_EQ(cli::runCli({"info", "--", "-odd.qob"}, cli.out, cli.err), 1);
    EXPECT_NE(cli.err.str().find("-odd.qob"), std::string::npos) << cli.err.str();
    EXPECT_EQ(cli::runCli({"info", "-odd.qob"}, cli.out, cli.err), 2);
    // "--name=" gives the option an empty value; the next argument stays what it is.
    cli.err.str("");
    EXPECT_EQ(
        cli::runCli({"--prefix", prefix, "backup", "--profile=", "--items", "data", out}, cli.out, cli.err),
        1);
    EXPECT_NE(cli.err.str().find("no mail profile named \"\""), std::string::npos) << cli.err.str();
}

TEST(CommandLine, ItemsGoByNameOrByFlags) {
    const std::pair<std::string, std::string> table[] = {
        {"data", "100000000"},
        {"data,accounts,signatures", "111000000"},
        {"contacts,pab", "000010001"},
        {"stationery,options,templates,preferences", "000101110"},
        {"all", "111111111"},
        {"pab,all", "111111111"},
        {"110000000", "110000000"},
        {"data,data", "100000000"},
        // Spaces after the commas, and any case, as people type them.
        {"Data", "100000000"},
        {"data, Accounts", "110000000"},
        {" PAB ,\tcontacts ", "000010001"},
        {"ALL", "111111111"},
        {" 110000000 ", "110000000"},
        // Refused: unknown or empty names, flags of the wrong length or digits.
        {"mail", ""},
        {"", ""},
        {"  ", ""},
        {"data,,pab", ""},
        {"data, ,pab", ""},
        {"da ta", ""},
        {",data", ""},
        {"11000000", ""},
        {"1100000002", ""},
        {"210000000", ""},
    };
    for (const auto& [value, flags] : table) {
        std::string error;
        const std::optional<std::string> got = cli::itemFlags(value, error);
        EXPECT_EQ(got.value_or(""), flags) << value;
        EXPECT_EQ(error.empty(), !flags.empty()) << value << ": " << error;
    }
}

// qob info names a backup's items as --items takes them: the configuration and the rules have no
// name, they come with the data files.
TEST(CommandLine, ABackupsItemsAreNamedAsItemsTakesThem) {
    const std::pair<std::string, std::string> table[] = {
        {"11110000000", "data,accounts"},
        {"10100000000", ""},
        {"01000000000", "data"},
        {"10010010000", "accounts,pab"},
        {"10010001000", "accounts,options"},
        {"00000000001", "contacts"},
        {"11111111111", "data,accounts,signatures,stationery,pab,options,templates,preferences,contacts"},
        {"1111", ""},
    };
    for (const auto& [flags, names] : table) {
        EXPECT_EQ(cli::itemNamesOfBackup(flags), names) << flags;
        // What info shows, --items takes back: the same boxes.
        std::string error;
        if (!names.empty()) {
            EXPECT_TRUE(cli::itemFlags(names, error)) << names << ": " << error;
        }
    }
    test::DemoCli cli;
    const std::string file = (cli.dir / "b.qob").string();
    ASSERT_EQ(cli::runCli({"--prefix", cli.prefix.string(), "backup", "--profile", "Outlook", "--items",
                           "Data, signatures", file},
                          cli.out, cli.err),
              0)
        << cli.err.str();
    cli.out.str("");
    ASSERT_EQ(cli::runCli({"info", file}, cli.out, cli.err), 0) << cli.err.str();
    EXPECT_NE(cli.out.str().find("\nItems: data,signatures\nItem flags: 11101000000\n"), std::string::npos)
        << cli.out.str();
}

TEST(CommandLine, APrefixWithoutOutlookSaysWhereItLookedAndWhatToDo) {
    test::DemoCli cli;
    const fs::path empty = cli.dir / "empty-prefix";
    fs::create_directories(empty / "drive_c");
    const std::string said = "qob: " + noProfileMessage(empty) + "\n";
    const std::vector<std::string> commands[] = {
        {"profiles"},
        {"profiles", "--verbose"},
        {"backup", "--profile", "Outlook", (cli.dir / "b.qob").string()},
    };
    for (std::vector<std::string> argv : commands) {
        argv.insert(argv.begin(), {"--prefix", empty.string()});
        cli.out.str("");
        cli.err.str("");
        EXPECT_EQ(cli::runCli(argv, cli.out, cli.err), 1) << argv[2];
        EXPECT_NE(cli.err.str().find(said), std::string::npos) << argv[2] << ": " << cli.err.str();
        EXPECT_EQ(cli.out.str(), "") << argv[2];
    }
    EXPECT_FALSE(fs::exists(cli.dir / "b.qob"));
}

} // namespace
} // namespace qob
