// The settings window's start-up entry on Windows: the Run value under HKEY_CURRENT_USER, under a
// value name of the test's own so that the prefix's real entry is never touched.
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

constexpr wchar_t kRun[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";

class Win32StartupEntryTest : public ::testing::Test {
protected:
    void TearDown() override {
        for (const std::wstring& name : {ours, other}) {
            RegDeleteKeyValueW(HKEY_CURRENT_USER, kRun, name.c_str());
        }
    }
    // The value's data as stored, nullopt when it is missing.
    static std::optional<std::wstring> stored(const std::wstring& name) {
        wchar_t buffer[1024];
        DWORD bytes = sizeof(buffer);
        DWORD type = 0;
        if (RegGetValueW(HKEY_CURRENT_USER, kRun, name.c_str(), RRF_RT_ANY, &type, buffer, &bytes) !=
            ERROR_SUCCESS) {
            return std::nullopt;
        }
        EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
        return std::wstring(buffer);
    }

    const std::wstring ours = L"Quire Outlook Backup test " + std::to_wstring(GetCurrentProcessId());
    const std::wstring other = L"Other program test " + std::to_wstring(GetCurrentProcessId());
};

TEST_F(Win32StartupEntryTest, TheRunValueComesAndGoesWithTheBoxAndLeavesOthersAlone) {
    Win32StartupEntry neighbour(other, L"\"C:\\Other\\other.exe\"");
    ASSERT_TRUE(neighbour.set(true));
    const std::wstring commands[] = {
        L"\"C:\\Program Files\\Quire Outlook Backup\\quiremail.exe\"",
        L"\"C:\\Users\\Ann Lee\\AppData\\Local\\Programs\\Quire Outlook Backup\\quiremail.exe\"",
        L"\"C:\\Users\\Jos\u00e9\\\u7a0b\u5e8f\\quiremail.exe\"",
    };
    for (const std::wstring& command : commands) {
        SCOPED_TRACE(win32::narrow(command));
        Win32StartupEntry entry(ours, command);
        EXPECT_TRUE(entry.set(false)); // absent: no error
        EXPECT_FALSE(entry.isSet());
        ASSERT_TRUE(entry.set(true));
        EXPECT_TRUE(entry.isSet());
        EXPECT_EQ(stored(ours), command);
        ASSERT_TRUE(entry.set(true)); // again: replaced, not doubled
        EXPECT_EQ(entry.command(), command);
        EXPECT_TRUE(entry.set(false));
        EXPECT_FALSE(entry.isSet());
        EXPECT_FALSE(stored(ours));
        EXPECT_TRUE(entry.set(false));
        EXPECT_EQ(stored(other), L"\"C:\\Other\\other.exe\"");
    }
}

// The settings window's "Start software on Windows start up" box, bound to the real registry: the
// box shows the value as it is, and OK writes or removes it.
TEST_F(Win32StartupEntryTest, TheSettingsFormKeepsTheRunValueInStepWithItsBox) {
    TempDir dir;
    FakeDialogs dialogs;
    Win32StartupEntry entry(ours, L"\"" + (dir.path() / "quiremail.exe").wstring() + L"\"");
    bool before = false;
    for (const bool tick : {true, true, false, true}) {
        SCOPED_TRACE(tick);
        SettingsForm form(dialogs, entry, dir.path());
        form.formLoad();
        EXPECT_EQ(form.box(SettingsBox::StartOnWindows), before);
        form.box(SettingsBox::StartOnWindows) = tick;
        ASSERT_TRUE(form.okClick());
        EXPECT_EQ(stored(ours).has_value(), tick);
        before = tick;
    }
}

} // namespace
} // namespace qob::test
