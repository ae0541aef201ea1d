#include "platform/XdgAutostart.h"
#include "TestPaths.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace qob::test {
namespace {

std::string readAll(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// What a desktop reads back from an Exec value holding one quoted argument: first the string
// escapes of every value, then the Exec quoting, then "%%" as "%". Written from the Desktop Entry
// rules, independently of the code under test.
std::optional<std::string> execArgument(const std::string& value) {
    std::string unescaped;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\' || i + 1 == value.size()) {
            unescaped += value[i];
            continue;
        }
        const char next = value[++i];
        const std::string_view from = "snrt\\", to = " \n\r\t\\";
        const auto at = from.find(next);
        if (at == std::string_view::npos) {
            return std::nullopt; // not a string escape
        }
        unescaped += to[at];
    }
    if (unescaped.size() < 2 || unescaped.front() != '"' || unescaped.back() != '"') {
        return std::nullopt;
    }
    std::string arg;
    for (std::size_t i = 1; i + 1 < unescaped.size(); ++i) {
        char c = unescaped[i];
        if (c == '\\') {
            c = unescaped[++i];
            if (std::string_view("\"`$\\").find(c) == std::string_view::npos) {
                return std::nullopt;
            }
        } else if (c == '"' || c == '`' || c == '$') {
            return std::nullopt; // must have been escaped
        } else if (c == '%') {
            if (unescaped[++i] != '%') {
                return std::nullopt; // a field code
            }
        }
        arg += c;
    }
    return arg;
}

std::string line(const std::string& text, const std::string& key) {
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) {
        if (l.rfind(key + "=", 0) == 0) {
            return l.substr(key.size() + 1);
        }
    }
    return "<missing>";
}

TEST(XdgAutostart, ExecNamesTheProgramWhateverItsPathHolds) {
    for (const std::string exe : {"/opt/quire/quiremail", "/home/a b/My Programs/quiremail",
                                  "/x/\"quoted\"/qm", "/x/back\\slash/qm", "/x/$HOME/qm", "/x/100%/%u qm",
                                  "/x/`tick`/'single'/qm", "/x/new\nline\ttab/qm", "/x/Übersicht/qm"}) {
        SCOPED_TRACE(exe);
        TempDir dir;
        XdgAutostart entry(dir / "autostart", exe);
        ASSERT_TRUE(entry.set(true));
        EXPECT_TRUE(entry.isSet());
        EXPECT_EQ(entry.file(), dir / "autostart" / "quire-outlook-backup.desktop");
        const std::string text = readAll(entry.file());
        EXPECT_EQ(text.rfind("[Desktop Entry]\n", 0), 0u);
        EXPECT_EQ(line(text, "Type"), "Application");
        EXPECT_EQ(line(text, "Name"), "Quire Outlook Backup");
        EXPECT_EQ(line(text, "X-GNOME-Autostart-enabled"), "true");
        EXPECT_EQ(execArgument(line(text, "Exec")), std::optional<std::string>(exe));
    }
}

TEST(XdgAutostart, OffRemovesAndAbsentIsFine) {
    TempDir dir;
    XdgAutostart entry(dir / "autostart", "/opt/quiremail");
    EXPECT_TRUE(entry.set(false)); // no folder, no file
    EXPECT_FALSE(entry.isSet());
    ASSERT_TRUE(entry.set(true));
    ASSERT_TRUE(entry.set(true)); // replaced, not doubled
    EXPECT_TRUE(entry.set(false));
    EXPECT_FALSE(std::filesystem::exists(entry.file()));
    EXPECT_FALSE(entry.isSet());
    EXPECT_TRUE(std::filesystem::is_empty(dir / "autostart")); // no temporary left behind
}

TEST(XdgAutostart, UnusableFolderGivesAClearStatus) {
    TempDir dir;
    std::ofstream(dir / "plain file") << "x";
    XdgAutostart blocked(dir / "plain file" / "autostart", "/opt/quiremail");
    Status on = blocked.set(true);
    EXPECT_FALSE(on);
    EXPECT_NE(on.message.find((dir / "plain file" / "autostart").string()), std::string::npos) << on.message;
    EXPECT_FALSE(blocked.isSet());

    // The entry's name taken by a folder: on cannot replace it, off cannot remove it.
    std::filesystem::create_directories(dir / "autostart" / kAutostartFileName / "inside");
    XdgAutostart taken(dir / "autostart", "/opt/quiremail");
    Status onTaken = taken.set(true);
    EXPECT_FALSE(onTaken);
    EXPECT_NE(onTaken.message.find(kAutostartFileName), std::string::npos) << onTaken.message;
    EXPECT_FALSE(taken.set(false));

    EXPECT_FALSE(XdgAutostart({}, "/opt/quiremail").set(true));
}

TEST(XdgAutostart, DefaultFolderFollowsTheXdgRules) {
    struct Case {
        std::optional<std::string> xdg, home;
        std::filesystem::path expected;
    };
    for (const Case& c :
         {Case{"/cfg", "/home/u", "/cfg/autostart"},
          Case{"relative/cfg", "/home/u", "/home/u/.config/autostart"},
          Case{std::nullopt, "/home/u", "/home/u/.config/autostart"}, Case{std::nullopt, std::nullopt, ""}}) {
        EXPECT_EQ(XdgAutostart::defaultFolder(c.xdg, c.home), c.expected);
    }
}

} // namespace
} // namespace qob::test
