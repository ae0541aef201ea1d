// The settings window's start-up entry on Windows: the Run value under HKEY_CURRENT_USER, run here
// under a key of the test's own so that the prefix's real Run list is never touched.
#include "platform/win32/Win32StartupEntry.h"
#include "FakeDialogs.h"
#include "TestPaths.h"
#include "forms/SettingsForm.h"
#include "platform/win32/WideText.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <optional>
#include <string>

namespace qob::test {
namespace {

class Win32StartupEntryTest : public ::testing::Test {
protected:
    void TearDown() override { RegDeleteTreeW(HKEY_CURRENT_USER, win32::widen(base).c_str()); }

    // The value's data as stored, nullopt when it is missing.
    std::optional<std::string> stored(const std::string& key, const std::string& name = kStartupValueName) {
        wchar_t buffer[1024];
        DWORD bytes = sizeof(buffer);
        DWORD type = 0;
        if (RegGetValueW(HKEY_CURRENT_USER, win32::widen(key).c_str(), win32::widen(name).c_str(), RRF_RT_ANY,
                         &type, buffer, &bytes) != ERROR_SUCCESS) {
            return std::nullopt;
        }
        EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
        return win32::narrow(buffer);
    }

    const std::string base = "Software\\QobStartupTest-" + std::to_string(GetCurrentProcessId());
    const std::string run = base + "\\Microsoft\\Windows\\CurrentVersion\\Run";
};

TEST_F(Win32StartupEntryTest, TheRunValueQuotesTheProgramAndComesAndGoesWithTheBox) {
    struct Case {
        std::string folder;
        std::string command;
    };
    const Case cases[] = {
        {"C:\\Program Files\\Quire Outlook Backup",
         "\"C:\\Program Files\\Quire Outlook Backup\\quiremail.exe\""},
        {"C:\\Users\\Ann Lee\\AppData\\Local\\Programs\\Quire\\",
         "\"C:\\Users\\Ann Lee\\AppData\\Local\\Programs\\Quire\\quiremail.exe\""},
        {"C:\\", "\"C:\\quiremail.exe\""},
        {"D:/portable/qob", "\"D:\\portable\\qob\\quiremail.exe\""},
        {"C:\\Users\\Jos\xC3\xA9\\\xE7\xA8\x8B\xE5\xBA\x8F",
         "\"C:\\Users\\Jos\xC3\xA9\\\xE7\xA8\x8B\xE5\xBA\x8F\\quiremail.exe\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.folder);
        // The Run key does not exist yet in the first round: removing is no error, and set makes it.
        Win32StartupEntry entry(std::filesystem::path(win32::widen(c.folder)), run);
        EXPECT_EQ(entry.command(), c.command);
        EXPECT_TRUE(entry.set(false));
        EXPECT_FALSE(entry.isSet());
        ASSERT_TRUE(entry.set(true));
        EXPECT_TRUE(entry.isSet());
        EXPECT_EQ(stored(run), c.command);
        ASSERT_TRUE(entry.set(true)); // again: replaced, not doubled
        EXPECT_EQ(stored(run), c.command);
        EXPECT_TRUE(entry.set(false));
        EXPECT_FALSE(entry.isSet());
        EXPECT_FALSE(stored(run));
        EXPECT_TRUE(entry.set(false)); // an absent value is no error
    }
}

TEST_F(Win32StartupEntryTest, OtherValuesOfTheRunKeyAreLeftAlone) {
    Win32StartupEntry ours(std::filesystem::path(L"C:\\Q"), run);
    Win32StartupEntry other(std::filesystem::path(L"C:\\Other"), run, "Other Program");
    ASSERT_TRUE(other.set(true));
    ASSERT_TRUE(ours.set(true));
    ASSERT_TRUE(ours.set(false));
    EXPECT_EQ(stored(run, "Other Program"), "\"C:\\Other\\quiremail.exe\"");
    EXPECT_TRUE(other.isSet());
}

TEST_F(Win32StartupEntryTest, AnUnknownProgramFolderIsRefusedAndNothingIsWritten) {
    Win32StartupEntry entry(std::filesystem::path(), run);
    const Status status = entry.set(true);
    EXPECT_FALSE(status);
    EXPECT_NE(status.message.find("start-up entry"), std::string::npos) << status.message;
    EXPECT_FALSE(entry.isSet());
}

// The settings window's "Start software on Windows start up" box, bound to the real registry: the
// box shows the value as it is, and OK writes or removes it.
TEST_F(Win32StartupEntryTest, TheSettingsFormKeepsTheRunValueInStepWithItsBox) {
    TempDir dir;
    FakeDialogs dialogs;
    Win32StartupEntry entry(dir.path(), run);
    bool before = false;
    for (const bool tick : {true, true, false, true}) {
        SCOPED_TRACE(tick);
        SettingsForm form(dialogs, entry, dir.path());
        form.formLoad();
        EXPECT_EQ(form.box(SettingsBox::StartOnWindows), before);
        form.box(SettingsBox::StartOnWindows) = tick;
        ASSERT_TRUE(form.okClick());
        EXPECT_EQ(stored(run).has_value(), tick);
        if (tick) {
            EXPECT_EQ(stored(run), entry.command());
        }
        before = tick;
    }
}

} // namespace
} // namespace qob::test
