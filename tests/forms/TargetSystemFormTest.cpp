#include "forms/TargetSystemForm.h"

#include "FakeDialogs.h"
#include "TestPaths.h"
#include "demo/DemoTargetSystem.h"
#include "settings/TargetSystemSetting.h"

#include <gtest/gtest.h>

namespace qob::test {
namespace {

namespace fs = std::filesystem;

// A home with ~/.wine (no Outlook) and a Bottles prefix that holds the demo's profiles.
struct Home {
    TempDir dir;
    fs::path home = dir / "home";
    fs::path program = dir / "program";
    fs::path plain = home / ".wine";
    fs::path outlook = home / ".local/share/bottles/bottles/office";
    FakeDialogs dialogs;

    Home() {
        fs::create_directories(plain / "drive_c");
        fs::create_directories(program);
        DemoTargetSystem::create(outlook);
    }
    TargetSystemForm form(const fs::path& current) {
        return TargetSystemForm(dialogs, program, PrefixSearch{home.string(), std::nullopt, std::nullopt},
                                current);
    }
};

TEST(TargetSystemForm, ListsPrefixesWithTheirProfilesAndSelectsTheCurrentOrOneWithProfiles) {
    Home h;
    struct Case {
        fs::path current;
        fs::path selected;
    };
    for (const Case& c : {Case{{}, h.outlook}, Case{h.plain, h.plain}, Case{h.outlook, h.outlook}}) {
        TargetSystemForm form = h.form(c.current);
        form.load();
        ASSERT_EQ(form.entries().size(), 2u);
        ASSERT_GE(form.selected, 0);
        EXPECT_EQ(form.entries()[static_cast<std::size_t>(form.selected)].prefix, c.selected) << c.current;
        for (const TargetSystemEntry& entry : form.entries()) {
            EXPECT_EQ(entry.holdsProfiles, entry.prefix == h.outlook);
            EXPECT_EQ(entry.title.find("(current)") != std::string::npos, entry.prefix == c.current);
        }
    }
    TargetSystemForm form = h.form({});
    form.load();
    const TargetSystemEntry& office = form.entries()[static_cast<std::size_t>(form.selected)];
    EXPECT_NE(office.detail.find("Bottles"), std::string::npos) << office.detail;
    EXPECT_NE(office.detail.find("Outlook, Second"), std::string::npos) << office.detail;
}

TEST(TargetSystemForm, OtherFolderMustBeAPrefixAndOkRemembersTheChoice) {
    Home h;
    const fs::path elsewhere = h.dir / "elsewhere";
    DemoTargetSystem::create(elsewhere);
    TargetSystemForm form = h.form(h.plain);
    form.load();

    h.dialogs.folderAnswers = {(h.dir / "program").string(), std::nullopt, elsewhere.string()};
    EXPECT_FALSE(form.browse()); // not a prefix: said so, nothing added
    ASSERT_EQ(h.dialogs.messages.size(), 1u);
    EXPECT_NE(h.dialogs.messages[0].text.find("is not a Wine prefix"), std::string::npos);
    EXPECT_FALSE(form.browse()); // cancelled
    EXPECT_EQ(form.entries().size(), 2u);
    EXPECT_TRUE(form.browse());
    ASSERT_EQ(form.entries().size(), 3u);
    EXPECT_EQ(form.selected, 2);

    const std::optional<fs::path> next = form.accept();
    ASSERT_TRUE(next);
    EXPECT_EQ(*next, elsewhere);
    EXPECT_EQ(readTargetSystemChoice(h.program), canonicalPrefixPath(elsewhere).string());

    // The prefix the window already works on: remembered, but nothing to switch to.
    TargetSystemForm same = h.form(h.plain);
    same.load();
    for (std::size_t i = 0; i < same.entries().size(); ++i) {
        if (same.entries()[i].prefix == h.plain) {
            same.selected = static_cast<int>(i);
        }
    }
    EXPECT_FALSE(same.accept());
}

} // namespace
} // namespace qob::test
