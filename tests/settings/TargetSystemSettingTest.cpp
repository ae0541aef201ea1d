#include "settings/TargetSystemSetting.h"

#include "TestPaths.h"
#include "settings/Settings.h"

#include <gtest/gtest.h>

namespace qob::test {
namespace {

namespace fs = std::filesystem;

TEST(TargetSystemSetting, KeepsOnlyAChoiceItCanGiveBackWhole) {
    TempDir dir;
    struct Case {
        fs::path prefix;
        bool stored;
    };
    const Case cases[] = {
        {dir / "short", true},
        // settings.dat cuts a value at 127 characters: a cut path would name another folder.
        {dir / std::string(130, 'p'), false},
        {dir / "trailing blank ", false},
        {dir / "not-a-prefix", false},
    };
    for (const Case& c : cases) {
        fs::create_directories(c.prefix /
                               (c.stored || c.prefix.filename() != "not-a-prefix" ? "drive_c" : "x"));
        ASSERT_TRUE(forgetTargetSystem(dir.path()));
        const Status status = rememberTargetSystem(dir.path(), c.prefix);
        EXPECT_EQ(bool(status), c.stored) << c.prefix << ": " << status.message;
        EXPECT_EQ(readTargetSystemChoice(dir.path()),
                  c.stored ? std::optional<std::string>(c.prefix.string()) : std::nullopt)
            << c.prefix;
    }
}

} // namespace
} // namespace qob::test
