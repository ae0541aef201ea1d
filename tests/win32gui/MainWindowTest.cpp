// The Win32 main window's binding, run under Wine: a click or a typed text reaches the form, a form
// change reaches the controls, the keyboard goes where the labels say, and a backup and a restore
// run on the worker and end in the form's summary. The form's own behaviour is tested in forms/.
#include "win32gui/MainWindow.h"
#include "DemoPlatform.h"
#include "backup/BackupJob.h"
#include "forms/AboutForm.h"
#include "platform/RunLock.h"
#include "restore/RestoreJob.h"
#include "win32gui/ControlText.h"
#include "win32gui/MessageLoop.h"
#include "win32gui/ResourceIds.h"

#include <gtest/gtest.h>

#include <commctrl.h>

namespace qob::test {
namespace {

using win32gui::controlText;

// The demo system's files, writable: a restore puts files in place by renaming them.
class WritableDemoFileSystem : public DemoFileSystem {
public:
    explicit WritableDemoFileSystem(const DemoTargetSystem& demo) : DemoFileSystem(demo) {}
    Status createFolder(const std::string& p) override {
        std::error_code ec;
        const auto host = toHostPath(p);
        return host && (std::filesystem::create_directories(*host, ec), !ec)
                   ? Status::success()
                   : Status::failure("cannot create " + p);
    }
    Status deleteFile(const std::string& p) override {
        std::error_code ec;
        const auto host = toHostPath(p);
        return host && std::filesystem::remove(*host, ec) ? Status::success()
                                                          : Status::failure("cannot delete " + p);
    }
    Status renameFile(const std::string& from, const std::string& to) override {
        std::error_code ec;
        const auto a = toHostPath(from);
        const auto b = toHostPath(to);
        return a && b && (std::filesystem::rename(*a, *b, ec), !ec)
                   ? Status::success()
                   : Status::failure("cannot rename " + from);
    }
};

// A demo target system with its main form, as the restore tests have it, on Windows' file calls.
struct World {
    TempDir dir;
    DemoTargetSystem demo = DemoTargetSystem::createFiles(dir / "prefix");
    MemoryRegistryStore store;
    FakeDialogs dialogs;
    Registry registry{store, dialogs, "Quire Outlook Backup"};
    WritableDemoFileSystem files{demo};
    DemoSystemServices system{demo};
    TargetContext platform{{store, files, system, dialogs, dir / "program", demo.prefix}, registry};
    std::unique_ptr<MainForm> form;

    World() {
        demo.writeRegistry(store);
        std::filesystem::create_directories(dir / "program");
        form = std::make_unique<MainForm>(platform);
    }
};

struct Window {
    World world;
    MainWindowActions actions;
    std::unique_ptr<win32gui::MainWindow> main;
    HWND hwnd = nullptr;

    explicit Window(MainWindowActions withActions = {}) : actions(std::move(withActions)) {
        main = std::make_unique<win32gui::MainWindow>(*world.form, actions, "C:\\target");
        EXPECT_TRUE(main->create());
        hwnd = main->window();
        main->show();
        main->load();
        win32gui::pumpPending();
    }
    HWND item(int id) const { return GetDlgItem(hwnd, id); }
    bool checked(int id) const { return IsDlgButtonChecked(hwnd, id) == BST_CHECKED; }
    bool enabled(int id) const { return IsWindowEnabled(item(id)) != FALSE; }
    bool visible(int id) const { return IsWindowVisible(item(id)) != FALSE; }
    void click(int id) { SendMessageW(item(id), BM_CLICK, 0, 0); }
    void type(int id, const std::string& text) { win32gui::setControlText(hwnd, id, text); }
    void chooseTab(int tab) {
        SendMessageW(item(IDC_TABS), TCM_SETCURSEL, static_cast<WPARAM>(tab), 0);
        NMHDR header{item(IDC_TABS), IDC_TABS, TCN_SELCHANGE};
        SendMessageW(hwnd, WM_NOTIFY, IDC_TABS, reinterpret_cast<LPARAM>(&header));
    }
    void chooseCombo(int id, int index) {
        SendMessageW(item(id), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
        SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(item(id)));
    }
    // A key as the message loop hands it over: through the accelerators and the dialog manager.
    void key(UINT message, WPARAM key, LPARAM lParam = 0) {
        MSG msg{GetFocus() != nullptr ? GetFocus() : hwnd, message, key, lParam, 0, {}};
        if (!win32gui::preTranslate(msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        win32gui::pumpPending();
    }
    int focusId() const { return GetDlgCtrlID(GetFocus()); }
    UINT menuState(int id) const { return GetMenuState(GetMenu(hwnd), static_cast<UINT>(id), MF_BYCOMMAND); }
};

TEST(Win32MainWindow, LoadShowsWhatTheFormHolds) {
    Window w;
    MainForm& form = *w.world.form;
    EXPECT_EQ(win32gui::windowText(w.hwnd), mainWindowCaption());
    EXPECT_EQ(controlText(w.hwnd, IDC_TARGET_LABEL), "C:\\target");
    EXPECT_EQ(SendMessageW(w.item(IDC_SOURCE_PROFILE), CB_GETCOUNT, 0, 0), 2);
    EXPECT_EQ(controlText(w.hwnd, IDC_SOURCE_PROFILE), "Outlook");
    EXPECT_EQ(controlText(w.hwnd, IDC_TARGET_PROFILE), "Outlook");
    for (std::size_t i = 0; i < kItemBoxCount; ++i) {
        const int id = IDC_BACKUP_ITEM0 + static_cast<int>(i);
        EXPECT_EQ(controlText(w.hwnd, id), kItemCaptions[i]);
        EXPECT_EQ(w.enabled(id), form.backupItem[i].enabled) << i;
        EXPECT_FALSE(w.enabled(IDC_RESTORE_ITEM0 + static_cast<int>(i))) << i;
        EXPECT_TRUE(w.visible(id));
        EXPECT_FALSE(w.visible(IDC_RESTORE_ITEM0 + static_cast<int>(i)));
    }
    EXPECT_EQ(controlText(w.hwnd, IDC_APPLY), "Backup Now");
    EXPECT_FALSE(w.visible(IDC_PROGRESS)) << "the progress panel shows only while a job runs";
    EXPECT_FALSE(w.enabled(IDC_PASSWORD));
    // The menus as the Qt window has them; a window the program does not give stays off.
    const struct {
        int position;
        const wchar_t* title;
    } menus[] = {{0, L"File(&F)"}, {1, L"Option(&O)"}, {2, L"&Tools"}, {3, L"Help(&H)"}};
    for (const auto& m : menus) {
        wchar_t title[64] = {};
        GetMenuStringW(GetMenu(w.hwnd), static_cast<UINT>(m.position), title, 64, MF_BYPOSITION);
        EXPECT_STREQ(title, m.title);
    }
    for (int off : {IDM_SETTINGS, IDM_TASK_SCHEDULER, IDM_BACKUP_TO_DISC, IDM_ABOUT}) {
        EXPECT_TRUE(w.menuState(off) & MF_GRAYED) << off;
    }
    EXPECT_FALSE(w.menuState(IDM_BACKUP_NOW) & MF_GRAYED);
}

TEST(Win32MainWindow, TheTargetSystemChoiceAndTheDiscWindowFollowWhatTheProgramOffers) {
    for (const bool offered : {false, true}) {
        SCOPED_TRACE(offered);
        MainWindowActions actions;
        int choices = 0;
        std::vector<std::filesystem::path> discs;
        if (offered) {
            actions.chooseTargetSystem = [&choices] { ++choices; };
            actions.burnDisc = [&discs](const std::string&, const std::filesystem::path& file) {
                discs.push_back(file);
            };
        }
        Window w(actions);
        // No choice of target system (Windows: the running one): no entry, no separator left
        // dangling, no button, rather than controls that never do anything.
        HMENU options = GetSubMenu(GetMenu(w.hwnd), 1);
        EXPECT_EQ(GetMenuState(options, IDM_TARGET_SYSTEM, MF_BYCOMMAND) != static_cast<UINT>(-1), offered);
        EXPECT_EQ(GetMenuItemCount(options), offered ? 4 : 2);
        EXPECT_EQ(w.visible(IDC_TARGET_CHANGE), offered);
        SendMessageW(w.hwnd, WM_COMMAND, IDM_TARGET_SYSTEM, 0);
        EXPECT_EQ(choices, offered ? 1 : 0);
        // The disc window from the Tools menu with an empty image, and after a backup with the
        // new file (the "burndvd" setting, on when missing).
        EXPECT_EQ((w.menuState(IDM_BACKUP_TO_DISC) & MF_GRAYED) == 0, offered);
        SendMessageW(w.hwnd, WM_COMMAND, IDM_BACKUP_TO_DISC, 0);
        const std::filesystem::path file = w.world.dir / "to-disc.qob";
        w.world.form->selectAllItems(false);
        w.type(IDC_BACKUP_FILE, file.string());
        w.click(IDC_APPLY);
        w.main->waitForJob();
        EXPECT_TRUE(std::filesystem::exists(file));
        EXPECT_EQ(discs, offered ? (std::vector<std::filesystem::path>{{}, file})
                                 : std::vector<std::filesystem::path>{});
    }
}

TEST(Win32MainWindow, ControlsReachTheForm) {
    Window w;
    MainForm& form = *w.world.form;
    w.click(IDC_BACKUP_ITEM0 + 2);
    EXPECT_TRUE(form.backupItem[2].checked);
    w.click(IDC_BACKUP_ITEM0 + 2);
    EXPECT_FALSE(form.backupItem[2].checked);

    const std::string file = (w.world.dir / "typed.qob").string();
    w.type(IDC_BACKUP_FILE, file);
    EXPECT_EQ(form.txtTargetFile, file);
    EXPECT_EQ(form.state().targetPath, std::filesystem::path(file));
    // Typed key by key: a multi-line box tells of a change only when the user makes it.
    for (char c : std::string("first\rsecond")) {
        SendMessageW(w.item(IDC_DESCRIPTION), WM_CHAR, static_cast<WPARAM>(c), 0);
    }
    EXPECT_EQ(form.txtAttachInfo, "first\r\nsecond");

    w.click(IDC_PROTECT);
    EXPECT_TRUE(form.ifProtect);
    EXPECT_TRUE(w.enabled(IDC_PASSWORD));
    EXPECT_TRUE(w.enabled(IDC_PASSWORD2));
    w.type(IDC_PASSWORD, "pässwört");
    w.type(IDC_PASSWORD2, "pässwört");
    EXPECT_EQ(form.txtPassword, "pässwört");
    EXPECT_EQ(form.txtPassword2, "pässwört");
    w.click(IDC_PROTECT);
    EXPECT_FALSE(form.ifProtect);
    EXPECT_EQ(controlText(w.hwnd, IDC_PASSWORD), "") << "the form clears both boxes";
    EXPECT_FALSE(w.enabled(IDC_PASSWORD));

    w.chooseCombo(IDC_SOURCE_PROFILE, 1);
    EXPECT_EQ(form.cbSource.text(), "Second");
    w.chooseCombo(IDC_TARGET_PROFILE, 1);
    EXPECT_EQ(form.cbTarget.text(), "Second");

    // Each tab: the form's caption of the action button, and only that page's controls shown.
    const struct {
        int tab;
        const char* apply;
        int shown;
        int hidden;
    } tabs[] = {{1, "Restore Now", IDC_RESTORE_BROWSE, IDC_BACKUP_BROWSE},
                {2, "Show Log File", IDC_LOG_LIST, IDC_RESTORE_BROWSE},
                {3, "Help", IDC_ABOUT_CAPTION, IDC_LOG_LIST},
                {0, "Backup Now", IDC_BACKUP_BROWSE, IDC_ABOUT_CAPTION}};
    for (const auto& t : tabs) {
        w.chooseTab(t.tab);
        EXPECT_EQ(form.ssTab1, t.tab);
        EXPECT_EQ(controlText(w.hwnd, IDC_APPLY), t.apply);
        EXPECT_TRUE(w.visible(t.shown)) << t.tab;
        EXPECT_FALSE(w.visible(t.hidden)) << t.tab;
    }
    w.chooseTab(3);
    EXPECT_EQ(controlText(w.hwnd, IDC_ABOUT_CAPTION), mainWindowCaption());
}

TEST(Win32MainWindow, FormChangesReachTheControls) {
    Window w;
    MainForm& form = *w.world.form;
    form.selectAllItems(false);
    for (std::size_t i = 0; i < kItemBoxCount; ++i) {
        EXPECT_EQ(w.checked(IDC_BACKUP_ITEM0 + static_cast<int>(i)), form.backupItem[i].enabled) << i;
    }
    form.deselectAllItems(false);
    for (std::size_t i = 0; i < kItemBoxCount; ++i) {
        EXPECT_FALSE(w.checked(IDC_BACKUP_ITEM0 + static_cast<int>(i))) << i;
    }

    form.txtTargetFile = "D:\\elsewhere\\b.qob";
    form.notify(FormChange::TargetFile);
    EXPECT_EQ(controlText(w.hwnd, IDC_BACKUP_FILE), "D:\\elsewhere\\b.qob");
    EXPECT_EQ(form.txtTargetFile, "D:\\elsewhere\\b.qob") << "the window's own change is not typed back";

    form.picCon3Visible = true;
    form.pbShow = 42;
    form.label1 = "Adding files...";
    form.skinLabel9 = "C:\\data\\outlook.pst";
    form.notify(FormChange::Progress);
    EXPECT_TRUE(w.visible(IDC_PROGRESS));
    EXPECT_TRUE(w.visible(IDC_CANCEL_JOB));
    EXPECT_EQ(SendMessageW(w.item(IDC_PROGRESS), PBM_GETPOS, 0, 0), 42);
    EXPECT_EQ(controlText(w.hwnd, IDC_STATUS), "Adding files...");
    EXPECT_EQ(controlText(w.hwnd, IDC_FILE_LABEL), "C:\\data\\outlook.pst");

    form.list1 = {"one", "two", "three"};
    form.list1Selected = 2;
    form.notify(FormChange::Log);
    EXPECT_EQ(SendMessageW(w.item(IDC_LOG_LIST), LB_GETCOUNT, 0, 0), 3);
    EXPECT_EQ(SendMessageW(w.item(IDC_LOG_LIST), LB_GETCURSEL, 0, 0), 2);

    form.txtSourceFile = "C:\\b.qob";
    form.txtPOBinfo = "Computer: PC\nUser: anna";
    form.notify(FormChange::RestoreInfo);
    EXPECT_EQ(controlText(w.hwnd, IDC_RESTORE_FILE), "C:\\b.qob");
    EXPECT_EQ(controlText(w.hwnd, IDC_BACKUP_INFO), "Computer: PC\r\nUser: anna");

    form.cmdApplyEnabled = false;
    form.notify(FormChange::ApplyButton);
    EXPECT_FALSE(w.enabled(IDC_APPLY));
    EXPECT_TRUE(w.menuState(IDM_BACKUP_NOW) & MF_GRAYED);
}

TEST(Win32MainWindow, KeyboardFollowsTheLabelsAndTheTabs) {
    Window w;
    SetFocus(w.item(IDC_SOURCE_PROFILE));
    // Alt + the underlined letter: the control after the label, on the page shown only.
    const struct {
        int tab;
        wchar_t letter;
        int focused;
    } mnemonics[] = {{0, L'l', IDC_BACKUP_FILE},    {0, L'p', IDC_SOURCE_PROFILE},
                     {0, L'b', IDC_BACKUP_BROWSE},  {1, L'l', IDC_RESTORE_FILE},
                     {1, L'i', IDC_TARGET_PROFILE}, {1, L'e', IDC_BACKUP_DESCRIPTION},
                     {0, L'd', IDC_DESCRIPTION}};
    for (const auto& m : mnemonics) {
        if (w.main->currentTab() != m.tab) {
            w.chooseTab(m.tab);
        }
        w.key(WM_SYSCHAR, m.letter, 1 << 29);
        EXPECT_EQ(w.focusId(), m.focused) << static_cast<char>(m.letter) << " on tab " << m.tab;
    }
    // Tab goes on to the next control; Ctrl+Tab to the next page.
    SetFocus(w.item(IDC_BACKUP_FILE));
    w.key(WM_KEYDOWN, VK_TAB);
    EXPECT_EQ(w.focusId(), IDC_BACKUP_BROWSE);
    SendMessageW(w.hwnd, WM_COMMAND, IDM_NEXT_TAB, 0);
    EXPECT_EQ(w.main->currentTab(), 1);
    EXPECT_EQ(w.world.form->cmdApplyCaption, "Restore Now");
    SendMessageW(w.hwnd, WM_COMMAND, IDM_PREVIOUS_TAB, 0);
    SendMessageW(w.hwnd, WM_COMMAND, IDM_PREVIOUS_TAB, 0);
    EXPECT_EQ(w.main->currentTab(), 3);
    // Escape with nothing running asks nothing and closes nothing.
    w.key(WM_KEYDOWN, VK_ESCAPE);
    EXPECT_TRUE(IsWindow(w.hwnd));
    EXPECT_TRUE(w.world.dialogs.messages.empty());
}

TEST(Win32MainWindow, BackupAndRestoreRunOnTheWorkerAndEndInTheSummary) {
    std::vector<std::string> trace;
    MainWindowActions actions;
    actions.trace = [&trace](const std::string& line) { trace.push_back(line); };
    Window w(actions);
    MainForm& form = *w.world.form;
    FakeDialogs& dialogs = w.world.dialogs;
    const std::filesystem::path file = w.world.dir / "window.qob";
    form.selectAllItems(false);
    w.type(IDC_BACKUP_FILE, file.string());
    w.click(IDC_APPLY);
    // While it runs nothing can start another job or change what it reads.
    EXPECT_TRUE(w.main->jobRunning());
    EXPECT_FALSE(w.enabled(IDC_APPLY));
    EXPECT_FALSE(w.enabled(IDC_BACKUP_ITEM0));
    EXPECT_FALSE(w.enabled(IDC_BACKUP_FILE));
    EXPECT_TRUE(w.menuState(IDM_BACKUP_NOW) & MF_GRAYED);
    EXPECT_EQ(w.focusId(), IDC_CANCEL_JOB);
    w.main->waitForJob();
    ASSERT_FALSE(dialogs.messages.empty());
    EXPECT_EQ(dialogs.messages.back().text.rfind(kBackupCompleted, 0), 0u) << dialogs.messages.back().text;
    EXPECT_TRUE(std::filesystem::exists(file));
    EXPECT_FALSE(trace.empty()) << "progress reached the window";
    EXPECT_TRUE(w.enabled(IDC_APPLY));
    EXPECT_TRUE(w.enabled(IDC_BACKUP_ITEM0));
    EXPECT_FALSE(w.enabled(IDC_CANCEL_JOB));
    EXPECT_GT(SendMessageW(w.item(IDC_LOG_LIST), LB_GETCOUNT, 0, 0), 0) << "the run's log lines";

    // Opened on the restore tab through the file dialog; the signatures go into the second profile.
    w.chooseTab(1);
    dialogs.fileAnswers.push_back(file.string());
    w.click(IDC_RESTORE_BROWSE);
    EXPECT_EQ(controlText(w.hwnd, IDC_RESTORE_FILE), form.txtSourceFile);
    EXPECT_TRUE(w.enabled(IDC_RESTORE_ITEM0 + 2));
    w.click(IDC_RESTORE_ITEM0 + 2);
    w.chooseCombo(IDC_TARGET_PROFILE, 1);
    dialogs.messages.clear();
    dialogs.answers = {MsgAnswer::Ok}; // the confirmation
    w.click(IDC_APPLY);
    EXPECT_TRUE(w.main->jobRunning());
    w.main->waitForJob();
    ASSERT_EQ(dialogs.messages.size(), 2u);
    EXPECT_EQ(dialogs.messages[0].text, kRestoreConfirmation);
    EXPECT_EQ(dialogs.messages[1].text.rfind(kRestoreCompleted, 0), 0u) << dialogs.messages[1].text;
    EXPECT_TRUE(w.enabled(IDC_APPLY));
}

// Another run holds the target system: a started backup waits for it, so the window can be driven
// while its job is certainly running, and goes on once the test lets it.
struct HeldTarget {
    RunLock lock;
    explicit HeldTarget(World& world) {
        const std::filesystem::path file = world.dir / "target.lock";
        world.system.lockPlace = RunLockPlace{file, "the demo target system", std::chrono::minutes(2)};
        EXPECT_TRUE(RunLock::acquire(lock, file, "restore", "the demo target system"));
    }
};

TEST(Win32MainWindow, EscapeAndCloseWhileAJobRunsAskFirstAndNeverCutItOff) {
    const struct {
        MsgAnswer stop;       // to "stop the running backup or restore?" (Escape)
        MsgAnswer quit;       // to "stop it and quit?" (the close box), asked once the job may go on
        const char* headline; // the summary's first line; nullptr: quitting shows none
        bool closed;          // the window is gone afterwards
    } cases[] = {
        {MsgAnswer::No, MsgAnswer::No, kBackupCompleted, false},
        {MsgAnswer::Yes, MsgAnswer::No, kBackupCancelled, false},
        {MsgAnswer::No, MsgAnswer::Yes, nullptr, true},
    };
    for (const auto& c : cases) {
        Window w;
        FakeDialogs& dialogs = w.world.dialogs;
        const std::filesystem::path file = w.world.dir / "held.qob";
        w.world.form->selectAllItems(false);
        w.type(IDC_BACKUP_FILE, file.string());
        auto held = std::make_unique<HeldTarget>(w.world);
        w.click(IDC_APPLY);
        ASSERT_TRUE(w.main->jobRunning());
        dialogs.answers = {c.stop, c.quit};
        SetFocus(w.item(IDC_CANCEL_JOB));
        w.key(WM_KEYDOWN, VK_ESCAPE);
        ASSERT_EQ(dialogs.texts(), std::vector<std::string>{kStopRunQuestion});
        EXPECT_EQ(w.enabled(IDC_CANCEL_JOB), c.stop == MsgAnswer::No) << "Cancel is off once a stop is asked";
        if (c.stop == MsgAnswer::Yes) {
            EXPECT_EQ(controlText(w.hwnd, IDC_STATUS), "Stopping...");
        }
        held.reset(); // the other run ends; the job goes on
        EXPECT_EQ(w.main->requestClose(), c.closed);
        w.main->waitForJob();
        EXPECT_FALSE(w.main->jobRunning());
        EXPECT_EQ(IsWindow(w.hwnd) != FALSE, !c.closed);
        const std::vector<std::string> texts = dialogs.texts();
        ASSERT_EQ(texts.size(), c.headline != nullptr ? 3u : 2u) << "quitting shows no summary to dismiss";
        if (c.headline != nullptr) {
            EXPECT_EQ(texts.back().rfind(c.headline, 0), 0u) << texts.back();
            EXPECT_EQ(std::filesystem::exists(file), c.headline == std::string(kBackupCompleted));
        }
        // Whatever the answers, nothing half-written or locked is left beside the backup.
        for (const auto& entry : std::filesystem::directory_iterator(w.world.dir.path())) {
            const std::string name = entry.path().filename().string();
            EXPECT_TRUE(name == "held.qob" || name == "program" || name == "prefix") << name;
        }
    }
}

} // namespace
} // namespace qob::test
