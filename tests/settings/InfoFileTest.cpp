#include "settings/InfoFile.h"

#include "TestPaths.h"

#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <thread>

namespace qob {
namespace {

std::string slurp(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(InfoFile, SavesLinesAndReadsTheFirstMatch) {
    test::TempDir dir;
    auto file = dir / "quirebox.dat";
    ASSERT_TRUE(saveINI("BackupTime", "2026-12-07 19:34:37", file));
    ASSERT_TRUE(saveINI("BackupFormula", "a=b=c", file));
    ASSERT_TRUE(saveINI("BackupDesc", "  padded  ", file));
    ASSERT_TRUE(saveINI("BackupTime", "later", file));
    ASSERT_TRUE(saveINI("BackupEmpty", "", file));
    EXPECT_EQ(slurp(file),
              "BackupTime=2026-12-07 19:34:37\r\nBackupFormula=a=b=c\r\nBackupDesc=  padded  \r\n"
              "BackupTime=later\r\nBackupEmpty=\r\n");
    EXPECT_EQ(getINI("backuptime", file), "2026-12-07 19:34:37");
    EXPECT_EQ(getINI("BACKUPFORMULA", file), "a=b=c");
    EXPECT_EQ(getINI("BackupDesc", file), "  padded  ");
    EXPECT_EQ(getINI("BackupEmpty", file), "");
    EXPECT_EQ(getINI("BackupMissing", file), "");
    // The text before "=" is compared untrimmed.
    EXPECT_EQ(getINI("BackupTime ", file), "");
}

TEST(InfoFile, SearchEndsAtTheFirstEmptyLine) {
    test::TempDir dir;
    auto file = dir / "quirebox.dat";
    std::ofstream(file, std::ios::binary) << "no equals sign\r\nA=1\r\n\r\nB=2\r\n";
    EXPECT_EQ(getINI("A", file), "1");
    EXPECT_EQ(getINI("B", file), "");
    std::ofstream(file, std::ios::binary) << "A=1\nB=2"; // LF ends and no final line end
    EXPECT_EQ(getINI("b", file), "2");
}

TEST(InfoFile, ErrorsReachTheCaller) {
    test::TempDir dir;
    EXPECT_EQ(getINI("BackupTime", dir / "missing.dat"), std::nullopt);
    EXPECT_EQ(getINI("BackupTime", dir.path()), std::nullopt); // a folder, not a file
    Status noFolder = saveINI("A", "1", dir / "nowhere" / "quirebox.dat");
    EXPECT_FALSE(noFolder);
    EXPECT_NE(noFolder.message.find("quirebox.dat"), std::string::npos);
    // Lines that would not read back as written are refused, and nothing is written.
    auto file = dir / "quirebox.dat";
    EXPECT_FALSE(saveINI("A=B", "1", file));
    EXPECT_FALSE(saveINI("A", "two\r\nlines", file));
    EXPECT_FALSE(saveINI("A\n", "1", file));
    EXPECT_FALSE(std::filesystem::exists(file));
}

TEST(InfoFile, AppendsFromTwoWritersNeverInterleave) {
    test::TempDir dir;
    auto file = dir / "brlog.dat";
    const std::string longA(3000, 'a'), longB(3000, 'b');
    std::thread t1([&] {
        for (int i = 0; i < 200; ++i)
            saveINI("A", longA, file);
    });
    std::thread t2([&] {
        for (int i = 0; i < 200; ++i)
            saveINI("B", longB, file);
    });
    t1.join();
    t2.join();
    std::istringstream lines(slurp(file));
    std::string line;
    int count = 0;
    while (std::getline(lines, line)) {
        ++count;
        EXPECT_TRUE(line == "A=" + longA + "\r" || line == "B=" + longB + "\r");
    }
    EXPECT_EQ(count, 400);
}

} // namespace
} // namespace qob
