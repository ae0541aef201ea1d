// The Win32 settings window bound to the SettingsForm, and the Windows start-up entry behind its
// first box; run under Wine.
#include "win32gui/SettingsWindow.h"
#include "FakeDialogs.h"
#include "FakeStartupEntry.h"
#include "TestPaths.h"
#include "forms/SettingsForm.h"
#include "platform/win32/Win32StartupEntry.h"
#include "settings/Settings.h"
#include "win32gui/ControlText.h"
#include "win32gui/MessageLoop.h"
#include "win32gui/ResourceIds.h"

#include <gtest/gtest.h>

#include <commctrl.h>

namespace qob::test {
namespace {

using win32gui::controlText;

struct Settings {
    TempDir dir;
    FakeDialogs dialogs;
    FakeStartupEntry startup;
    SettingsForm form{dialogs, startup, dir.path()};
    win32gui::SettingsWindow window{form};
    HWND hwnd = nullptr;

    Settings() {
        EXPECT_TRUE(writeSetting(settingsPath(dir.path()), "General", "runoutlookafterbackup", "0"));
        EXPECT_TRUE(writeSetting(settingsPath(dir.path()), "autobackup", "autobackupfile", "0"));
        hwnd = window.create(nullptr);
    }
    ~Settings() {
        if (IsWindow(hwnd)) {
            DestroyWindow(hwnd);
        }
    }
    bool checked(int id) const { return IsDlgButtonChecked(hwnd, id) == BST_CHECKED; }
    void click(int id) { SendMessageW(GetDlgItem(hwnd, id), BM_CLICK, 0, 0); }
    std::string stored(const char* section, const char* key) const {
        return readSetting(settingsPath(dir.path()), section, key);
    }
};

int box(SettingsBox which) {
    return IDC_SETTINGS_BOX0 + static_cast<int>(which);
}

TEST(Win32SettingsWindow, ShowsWhatTheFormLoadedAndOkWritesWhatWasChanged) {
    Settings s;
    ASSERT_NE(s.hwnd, nullptr);
    EXPECT_EQ(win32gui::windowText(s.hwnd), kSettingsCaption);
    // Stored 0 shows off, a missing key on, the start-up box the entry; the file choice as stored.
    EXPECT_FALSE(s.checked(box(SettingsBox::RunOutlookAfterBackup)));
    EXPECT_TRUE(s.checked(box(SettingsBox::CheckBackupFile)));
    EXPECT_FALSE(s.checked(box(SettingsBox::StartOnWindows)));
    EXPECT_TRUE(s.checked(IDC_REPLACE_AUTO));
    EXPECT_FALSE(s.checked(IDC_NEW_AUTO));
    EXPECT_EQ(controlText(s.hwnd, IDC_FOLDER), s.dir.path().string());
    EXPECT_EQ(controlText(s.hwnd, IDC_KEEP), "All");
    EXPECT_EQ(controlText(s.hwnd, box(SettingsBox::AutoCloseOutlook)),
              "If Outlook &locks a file then automatically close Outlook");

    // The pages: each shows only its own controls.
    const struct {
        int tab;
        int shown;
        int hidden;
    } pages[] = {{1, IDC_FOLDER, box(SettingsBox::CheckBackupFile)},
                 {2, IDC_KEEP, IDC_FOLDER},
                 {0, box(SettingsBox::BurnDvd), IDC_NEW_AUTO}};
    for (const auto& p : pages) {
        s.window.selectTab(p.tab);
        EXPECT_TRUE(IsWindowVisible(GetDlgItem(s.hwnd, p.shown))) << p.tab;
        EXPECT_FALSE(IsWindowVisible(GetDlgItem(s.hwnd, p.hidden))) << p.tab;
    }

    // Browse: the picker's folder goes into the box.
    const std::string folder = (s.dir / "backups").string();
    std::filesystem::create_directories(s.dir / "backups");
    s.dialogs.folderAnswers.push_back(folder);
    s.click(IDC_FOLDER_BROWSE);
    EXPECT_EQ(controlText(s.hwnd, IDC_FOLDER), folder);

    s.click(box(SettingsBox::RunOutlookAfterBackup));
    s.click(box(SettingsBox::StartOnWindows));
    s.click(IDC_NEW_AUTO);
    // The spin's arrows count from what the box shows; "All" is 0 and nothing goes below it.
    const struct {
        int delta;
        const char* shown;
    } steps[] = {{1, "1"}, {2, "3"}, {-5, "All"}, {4, "4"}};
    for (const auto& step : steps) {
        NMUPDOWN change{{GetDlgItem(s.hwnd, IDC_KEEP_SPIN), IDC_KEEP_SPIN, UDN_DELTAPOS}, 0, step.delta};
        SendMessageW(s.hwnd, WM_NOTIFY, IDC_KEEP_SPIN, reinterpret_cast<LPARAM>(&change));
        EXPECT_EQ(controlText(s.hwnd, IDC_KEEP), step.shown) << step.delta;
    }
    s.click(IDOK);
    EXPECT_FALSE(IsWindow(s.hwnd));
    EXPECT_TRUE(s.window.accepted());
    EXPECT_EQ(s.stored("General", "runoutlookafterbackup"), "1");
    EXPECT_EQ(s.stored("backup", "backupfolder"), folder);
    EXPECT_EQ(s.stored("autobackup", "autobackupfile"), "1");
    EXPECT_EQ(s.stored("autobackup", "keepautobackups"), "4");
    EXPECT_EQ(s.startup.calls, std::vector<bool>{true});
}

TEST(Win32SettingsWindow, AnEmptyFolderKeepsItOpenAndCancelWritesNothing) {
    Settings s;
    win32gui::setControlText(s.hwnd, IDC_FOLDER, "");
    s.click(box(SettingsBox::RunOutlookAfterBackup));
    s.click(IDOK);
    EXPECT_TRUE(IsWindow(s.hwnd)) << "no folder: the window stays";
    EXPECT_EQ(s.dialogs.texts(), std::vector<std::string>{kEnterBackupFolderMessage});
    EXPECT_EQ(s.stored("General", "runoutlookafterbackup"), "0");
    s.click(IDCANCEL);
    EXPECT_FALSE(IsWindow(s.hwnd));
    EXPECT_FALSE(s.window.accepted());
    EXPECT_EQ(s.stored("General", "runoutlookafterbackup"), "0");
    EXPECT_TRUE(s.startup.calls.empty());

    // What the box shows back as a number.
    const std::pair<const char*, int> values[] = {{"All", 0}, {"", 0}, {"7", 7}, {"12x", 0}, {"5000", 999}};
    for (const auto& [text, value] : values) {
        EXPECT_EQ(win32gui::SettingsWindow::keepValue(text), value) << text;
    }
}

TEST(Win32StartupEntry, TheRunValueStartsQuiremailBesideThisProgram) {
    Win32StartupEntry entry = Win32StartupEntry::besideThisProgram(L"Quire Outlook Backup test entry");
    ASSERT_TRUE(entry.set(false));
    EXPECT_FALSE(entry.isSet());
    ASSERT_TRUE(entry.set(true));
    EXPECT_TRUE(entry.isSet());
    const std::wstring command = entry.command();
    ASSERT_GE(command.size(), 2u);
    EXPECT_EQ(command.front(), L'"');
    EXPECT_EQ(command.back(), L'"');
    EXPECT_NE(command.find(L"\\quiremail.exe\""), std::wstring::npos);
    EXPECT_TRUE(entry.set(false));
    EXPECT_FALSE(entry.isSet());
    EXPECT_TRUE(entry.set(false)) << "removing an absent entry is no error";
}

} // namespace
} // namespace qob::test
