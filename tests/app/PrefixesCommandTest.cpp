// qob prefixes and the remembered target system, on a fake home folder holding demo prefixes.
#include "TestPaths.h"
#include "app/cli/Cli.h"
#include "app/cli/Target.h"
#include "settings/Settings.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace qob {
namespace {

namespace fs = std::filesystem;

class PrefixesCommand : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"HOME", "WINEPREFIX"})
            if (const char* value = std::getenv(name))
                saved[name] = value;
        fs::create_directories(programFolder);
        fs::create_directories(home / "Games" / "notaprefix");
        setenv("QUIRE_HOME", programFolder.c_str(), 1);
        setenv("HOME", home.c_str(), 1);
        unsetenv("WINEPREFIX");
        for (const fs::path& prefix : {wine, bottle})
            ASSERT_EQ(run({"demo-prefix", prefix.string()}), 0) << err.str();
    }
    void TearDown() override {
        unsetenv("QUIRE_HOME");
        for (const char* name : {"HOME", "WINEPREFIX"})
            saved.count(name) ? setenv(name, saved[name].c_str(), 1) : unsetenv(name);
    }
    int run(const std::vector<std::string>& args) {
        out.str("");
        err.str("");
        return cli::runCli(args, out, err);
    }
    // The line of `prefixes` that lists `prefix`.
    std::string lineOf(const fs::path& prefix) const {
        std::istringstream lines(out.str());
        for (std::string line; std::getline(lines, line);)
            if (line.rfind(prefix.string() + "  ", 0) == 0)
                return line;
        return "(not listed)";
    }
    std::string remembered() const {
        return readSetting(settingsPath(programFolder), "General", "targetsystem");
    }
    fs::path openedPrefix(PrefixPolicy policy, std::string& note) {
        SilentDialogs dialogs;
        std::string error;
        auto target = cli::Target::open(std::nullopt, dialogs, error, policy);
        if (!target)
            return "error: " + error;
        note = target->note();
        return target->prefix();
    }

    test::TempDir dir;
    fs::path programFolder = dir / "program";
    fs::path home = dir / "home";
    fs::path wine = home / ".wine";
    fs::path bottle = home / ".local/share/bottles/bottles/Office";
    std::map<std::string, std::string> saved;
    std::ostringstream out, err;
};

TEST_F(PrefixesCommand, ListsThePrefixesAndRemembersTheChoice) {
    ASSERT_EQ(run({"prefixes"}), 0) << err.str();
    EXPECT_EQ(lineOf(wine), wine.string() + "  [~/.wine] (current)  Outlook 2013 profiles: Outlook, Second");
    EXPECT_EQ(lineOf(bottle), bottle.string() + "  [Bottles]  Outlook 2013 profiles: Outlook, Second");

    // A folder that is not a prefix is refused, and nothing is stored.
    EXPECT_EQ(run({"prefixes", "--choose", (home / "Games" / "notaprefix").string()}), 1);
    EXPECT_NE(err.str().find("is not a Wine prefix"), std::string::npos) << err.str();
    EXPECT_EQ(remembered(), "");

    ASSERT_EQ(run({"prefixes", "--choose", bottle.string() + "/"}), 0) << err.str();
    EXPECT_EQ(remembered(), fs::canonical(bottle).string());
    std::ofstream(wine / "user.reg") << "WINE REGISTRY Version 3\n";
    ASSERT_EQ(run({"prefixes"}), 0) << err.str();
    EXPECT_EQ(out.str().rfind(bottle.string() + "  [chosen earlier, Bottles] (chosen) (current)  Outlook", 0),
              0u)
        << out.str();
    EXPECT_NE(lineOf(wine).find("cannot read its registry: user.reg"), std::string::npos) << out.str();

    // One JSON document: an array of one object per prefix, one object a line.
    ASSERT_EQ(run({"prefixes", "--json"}), 0) << err.str();
    const std::string json = out.str();
    EXPECT_EQ(json.rfind("[\n{\"path\":", 0), 0u) << json;
    EXPECT_EQ(json.substr(json.size() - 4), "}\n]\n") << json;
    EXPECT_NE(json.find("},\n{\"path\":"), std::string::npos) << json;
    EXPECT_NE(json.find("\"chosen\":true,\"current\":true,\"readable\":true,\"reason\":\"\",\"outlook\":"
                        "\"Outlook 2013\",\"profiles\":[\"Outlook\",\"Second\"]}"),
              std::string::npos)
        << json;

    ASSERT_EQ(run({"prefixes", "--forget"}), 0) << err.str();
    EXPECT_EQ(remembered(), "");
}

TEST_F(PrefixesCommand, TheProgramFollowsTheChoiceBeforeWinePrefix) {
    ASSERT_EQ(run({"prefixes", "--choose", bottle.string()}), 0) << err.str();
    setenv("WINEPREFIX", wine.c_str(), 1);
    std::string note;
    // Cron starts the weekly backup without WINEPREFIX; the window and that run must agree.
    EXPECT_EQ(openedPrefix(PrefixPolicy::Program, note), fs::canonical(bottle));
    EXPECT_EQ(openedPrefix(PrefixPolicy::CommandLineTool, note), wine);
    unsetenv("WINEPREFIX");
    EXPECT_EQ(openedPrefix(PrefixPolicy::CommandLineTool, note), fs::canonical(bottle));
    ASSERT_EQ(run({"profiles"}), 0) << err.str();

    // The chosen prefix is gone: both go back to ~/.wine and say why.
    fs::remove_all(bottle);
    for (PrefixPolicy policy : {PrefixPolicy::Program, PrefixPolicy::CommandLineTool}) {
        note.clear();
        EXPECT_EQ(openedPrefix(policy, note), wine);
        EXPECT_NE(note.find("no longer a Wine prefix"), std::string::npos) << note;
    }
    ASSERT_EQ(run({"profiles"}), 0) << err.str();
    EXPECT_NE(err.str().find("qob: note: The Wine prefix chosen earlier"), std::string::npos) << err.str();
}

// --prefix and --choose take the name `prefixes` shows (the folder's last part) as well as the
// folder.
TEST_F(PrefixesCommand, APrefixIsChosenByItsName) {
    ASSERT_EQ(run({"prefixes", "--choose", "Office"}), 0) << err.str();
    EXPECT_EQ(remembered(), fs::canonical(bottle).string());
    EXPECT_EQ(run({"prefixes", "--choose", "Nothing"}), 2);
    EXPECT_NE(err.str().find("no Wine prefix named \"Nothing\""), std::string::npos) << err.str();
    EXPECT_EQ(remembered(), fs::canonical(bottle).string()) << "a wrong name leaves the choice alone";

    for (const auto& [name, prefix] : {std::pair{"Office", bottle}, std::pair{".wine", wine}}) {
        ASSERT_EQ(run({"--prefix", name, "prefixes"}), 0) << name << ": " << err.str();
        EXPECT_NE(lineOf(prefix).find("(current)"), std::string::npos) << name << "\n" << out.str();
        ASSERT_EQ(run({"--prefix", name, "profiles"}), 0) << name << ": " << err.str();
    }
    EXPECT_EQ(run({"--prefix", "Nothing", "profiles"}), 2);
    EXPECT_NE(err.str().find("no Wine prefix named \"Nothing\"; the prefixes qob prefixes lists are"),
              std::string::npos)
        << err.str();
    EXPECT_NE(err.str().find("Office (" + bottle.string() + ")"), std::string::npos) << err.str();

    const fs::path second = home / ".local/share/wineprefixes/Office";
    ASSERT_EQ(run({"demo-prefix", second.string()}), 0) << err.str();
    EXPECT_EQ(run({"--prefix", "Office", "profiles"}), 2);
    EXPECT_NE(err.str().find("more than one Wine prefix is named \"Office\""), std::string::npos)
        << err.str();
    EXPECT_NE(err.str().find(second.string()), std::string::npos) << err.str();
    // Its folder still names it unambiguously.
    EXPECT_EQ(run({"--prefix", second.string(), "profiles"}), 0) << err.str();
}

} // namespace
} // namespace qob
