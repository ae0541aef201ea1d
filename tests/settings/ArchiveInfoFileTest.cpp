#include "settings/ArchiveInfoFile.h"

#include "TestPaths.h"
#include "ZipTools.h"
#include "settings/InfoFile.h"

#include <gtest/gtest.h>

namespace qob {
namespace {

TEST(ArchiveInfoFile, DescriptionEscapeRoundTrips) {
    EXPECT_EQ(escapeDescription("a\r\nb"), "aPS$QBXb");
    EXPECT_EQ(unescapeDescription("aPS$QBXb"), "a\r\nb");
    EXPECT_EQ(escapeDescription("x=y"), "x=y");
    // A bare LF or CR would end the line early and lose the rest of the description.
    EXPECT_EQ(escapeDescription("a\nb\rc"), "aPS$QBXbPS$QBXc");
    EXPECT_EQ(unescapeDescription(""), "");
}

TEST(ArchiveInfoFile, FlagsAndItemValues) {
    EXPECT_TRUE(isValidItemFlags("00000000000"));
    EXPECT_TRUE(isValidItemFlags("10010000001"));
    EXPECT_FALSE(isValidItemFlags("0000000000"));
    EXPECT_FALSE(isValidItemFlags("000000000000"));
    EXPECT_FALSE(isValidItemFlags("0000000000x"));
    EXPECT_TRUE(itemFlag("10010000001", ItemKind::Accounts));
    EXPECT_FALSE(itemFlag("10010000001", ItemKind::Datas));
    EXPECT_TRUE(itemFlag("10010000001", ItemKind::Contacts));
    EXPECT_STREQ(itemKey(ItemKind::Configsetting), "BackupConfigsetting");
    EXPECT_EQ(joinItemValue({"a.pst", "b.pst"}), "a.pst;b.pst");
    EXPECT_EQ(joinItemValue({}), "");
    EXPECT_EQ(splitItemValue("a.pst;b.pst;"), (std::vector<std::string>{"a.pst", "b.pst"}));
    std::tm date{};
    date.tm_year = 2024 - 1900;
    date.tm_mon = 2;
    date.tm_mday = 5;
    EXPECT_EQ(defaultBackupFileName("Outlook", date), "qarch-Outlook-03-05-2024.qob");
}

TEST(ArchiveInfoFile, HeaderLinesReadBack) {
    test::TempDir dir;
    auto file = dir / "quirebox.dat";
    test::writeBytes(file, "stale=1\r\n");
    InfoHeader h{"PC", "me", "Outlook", "3/5/2024 10:00:00 AM", "Outlook 2010", "line a\r\nkey=b"};
    ASSERT_TRUE(writeInfoHeader(file, h));
    EXPECT_EQ(test::readBytes(file), "BackupComputer=PC\r\nBackupLogonUser=me\r\nBackupIdentity=Outlook\r\n"
                                     "BackupTime=3/5/2024 10:00:00 AM\r\nOutlookversion=Outlook 2010\r\n"
                                     "BackupInformation=line aPS$QBXkey=b\r\n");
    EXPECT_EQ(unescapeDescription(*getINI("backupinformation", file)), "line a\r\nkey=b");
}

} // namespace
} // namespace qob
