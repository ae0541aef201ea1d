#include "platform/wine/PrefixCandidates.h"
#include "platform/wine/PrefixChoice.h"

#include "TestPaths.h"

#include <fstream>
#include <gtest/gtest.h>

namespace qob {
namespace {

namespace fs = std::filesystem;

// A home folder with a prefix in each place the front ends use, and folders that only look close.
struct FakeHome {
    test::TempDir dir;
    fs::path home = dir / "home";
    fs::path outside = dir / "elsewhere";

    FakeHome() {
        for (const char* folder : {".wine", ".local/share/wineprefixes/office",
                                   ".PlayOnLinux/wineprefix/Office", ".local/share/bottles/bottles/Work",
                                   ".var/app/com.usebottles.bottles/data/bottles/bottles/Flat",
                                   ".cxoffice/Outlook", "Games/some-game"})
            fs::create_directories(home / folder / "drive_c");
        // A prefix known by its registry files alone is a prefix too.
        fs::create_directories(outside / "env");
        std::ofstream(outside / "env" / "user.reg") << "WINE REGISTRY Version 2\n";
        fs::create_directories(outside / "chosen" / "dosdevices");
        // Not prefixes: an empty bottle folder, a game folder, a file among the prefixes.
        fs::create_directories(home / ".cxoffice" / "installers");
        fs::create_directories(home / "Games" / "native-game" / "bin");
        std::ofstream(home / ".local/share/wineprefixes/readme.txt") << "x";
        // The same prefix reached through a link, and a link that leads nowhere.
        fs::create_symlink(home / ".wine", home / "Games" / "wine-link");
        fs::create_symlink(dir / "gone", home / "Games" / "dangling");
    }
    std::string at(const std::string& relative) const { return (home / relative).string(); }
};

TEST(PrefixCandidates, FindsEachPrefixOnceInAStableOrder) {
    FakeHome fake;
    const std::string env = (fake.outside / "env").string();
    const std::string chosen = (fake.outside / "chosen").string();
    const std::vector<std::string> frontEnds = {
        fake.at(".PlayOnLinux/wineprefix/Office"),
        fake.at(".cxoffice/Outlook"),
        fake.at(".local/share/bottles/bottles/Work"),
        fake.at(".local/share/wineprefixes/office"),
        fake.at(".var/app/com.usebottles.bottles/data/bottles/bottles/Flat"),
        fake.at("Games/some-game"),
    };
    struct Case {
        const char* name;
        std::optional<std::string> winePrefix, remembered;
        std::vector<std::string> leading; // what comes before the front ends' prefixes
    };
    const Case cases[] = {
        {"home only", std::nullopt, std::nullopt, {fake.at(".wine")}},
        {"remembered, then $WINEPREFIX, then ~/.wine", env, chosen, {chosen, env, fake.at(".wine")}},
        // A remembered prefix that is gone is left out, not an error.
        {"vanished choice", std::nullopt, (fake.dir / "gone").string(), {fake.at(".wine")}},
        // The same folder named twice is listed once, in its first place.
        {"$WINEPREFIX is ~/.wine", fake.at(".wine/"), std::nullopt, {fake.at(".wine")}},
        {"choice is a front end's",
         std::nullopt,
         fake.at("Games/some-game"),
         {fake.at("Games/some-game"), fake.at(".wine")}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> expected = c.leading;
        for (const std::string& path : frontEnds)
            if (std::find(expected.begin(), expected.end(), path) == expected.end())
                expected.push_back(path);
        std::vector<std::string> listed;
        for (const PrefixCandidate& candidate :
             findWinePrefixes({fake.home.string(), c.winePrefix, c.remembered}))
            listed.push_back(candidate.path.string());
        EXPECT_EQ(listed, expected) << c.name;
    }
}

TEST(PrefixCandidates, NamesEveryWayAPrefixWasFound) {
    FakeHome fake;
    auto found = findWinePrefixes({fake.home.string(), fake.at(".wine"), std::nullopt});
    ASSERT_FALSE(found.empty());
    // $WINEPREFIX, the default place and the link under ~/Games all lead to the same folder.
    EXPECT_EQ(found[0].origins,
              (std::vector<PrefixOrigin>{PrefixOrigin::WinePrefixVariable, PrefixOrigin::DefaultPrefix,
                                         PrefixOrigin::Games}));
    EXPECT_TRUE(findWinePrefixes({std::nullopt, std::nullopt, std::nullopt}).empty());
}

TEST(PrefixChoice, EachProgramFollowsItsOwnOrder) {
    FakeHome fake;
    const std::string env = (fake.outside / "env").string();
    const std::string chosen = (fake.outside / "chosen").string();
    const std::string gone = (fake.dir / "gone").string();
    const std::string home = fake.home.string();
    using P = PrefixPolicy;
    using O = PrefixOrigin;
    struct Case {
        PrefixSources sources;
        PrefixPolicy policy;
        std::string expected;
        PrefixOrigin origin;
        bool note;
    };
    const Case cases[] = {
        {{"/opt/p", env, home, chosen}, P::CommandLineTool, "/opt/p", O::Option, false},
        {{"/opt/p", env, home, chosen}, P::Program, "/opt/p", O::Option, false},
        {{std::nullopt, env, home, chosen}, P::CommandLineTool, env, O::WinePrefixVariable, false},
        {{std::nullopt, env, home, chosen}, P::Program, chosen, O::Remembered, false},
        {{std::nullopt, std::nullopt, home, chosen}, P::CommandLineTool, chosen, O::Remembered, false},
        // A choice that is no longer a prefix is passed over with a note.
        {{std::nullopt, env, home, gone}, P::Program, env, O::WinePrefixVariable, true},
        {{std::nullopt, std::nullopt, home, gone},
         P::CommandLineTool,
         fake.at(".wine"),
         O::DefaultPrefix,
         true},
        {{std::nullopt, env + "/", home, gone}, P::CommandLineTool, env, O::WinePrefixVariable, false},
        {{std::nullopt, std::nullopt, std::nullopt, std::nullopt}, P::Program, "", O::DefaultPrefix, false},
    };
    for (const Case& c : cases) {
        const PrefixChoice choice = choosePrefix(c.sources, c.policy);
        const std::string label = c.expected + (c.policy == P::Program ? " (program)" : " (qob)");
        EXPECT_EQ(choice.prefix.string(), c.expected) << label;
        EXPECT_EQ(choice.origin, c.origin) << label;
        EXPECT_EQ(!choice.note.empty(), c.note) << label << ": " << choice.note;
    }
}

} // namespace
} // namespace qob
