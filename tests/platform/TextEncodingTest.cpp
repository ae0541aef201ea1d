#include "platform/TextEncoding.h"

#include <gtest/gtest.h>

namespace qob::textenc {
namespace {

TEST(TextEncoding, Utf8ValidityDecidesTheCodePage) {
    EXPECT_TRUE(isValidUtf8(""));
    EXPECT_TRUE(isValidUtf8("plain ascii"));
    EXPECT_TRUE(isValidUtf8("caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80"));
    EXPECT_FALSE(isValidUtf8("caf\xE9"));          // Windows-1252 e-acute
    EXPECT_FALSE(isValidUtf8("\xC3"));             // cut short at the end
    EXPECT_FALSE(isValidUtf8("\xE2\x82"));         // cut short at the end
    EXPECT_FALSE(isValidUtf8("\xC0\xAF"));         // overlong '/'
    EXPECT_FALSE(isValidUtf8("\xED\xA0\x80"));     // a surrogate
    EXPECT_FALSE(isValidUtf8("\xF4\x90\x80\x80")); // above U+10FFFF
    EXPECT_FALSE(isValidUtf8("\x80"));
}

TEST(TextEncoding, Windows1252ToUtf8) {
    EXPECT_EQ(windows1252ToUtf8("a\xE9\xFF"), "a\xC3\xA9\xC3\xBF");
    EXPECT_EQ(windows1252ToUtf8("\x80\x8A\x9F"), "\xE2\x82\xAC\xC5\xA0\xC5\xB8");
    EXPECT_EQ(windows1252ToUtf8("\x81\x9D"), "\xC2\x81\xC2\x9D"); // unassigned: C1 controls
    EXPECT_EQ(utf8Length("caf\xC3\xA9\xE2\x82\xAC"), 5u);
}

} // namespace
} // namespace qob::textenc
