// The Win32 disc and erase windows' bindings, run under Wine: a click, a typed text, a drop or an
// in-place rename reaches the form, and the form's changes reach the controls; an image file is
// written end to end through the window on the Windows engine (checked by reading it back), a
// cancelled write leaves the earlier image as it was, and the erase runs on its worker against the
// simulated recorder. The forms' own behaviour is tested in forms/.
#include "win32gui/DiscWindow.h"
#include "FakeDialogs.h"
#include "SimulatedRecorder.h"
#include "TestPaths.h"
#include "disc/win32/Win32DiscEngine.h"
#include "forms/EraseForm.h"
#include "platform/win32/WideText.h"
#include "win32gui/ControlText.h"
#include "win32gui/EraseWindow.h"
#include "win32gui/MessageLoop.h"
#include "win32gui/ResourceIds.h"

#include <gtest/gtest.h>

#include <shlobj.h>

#include <atomic>
#include <cstring>
#include <fstream>
#include <iterator>
#include <thread>

namespace qob::test {
namespace {

using win32gui::controlText;

void writeFile(const std::filesystem::path& path, std::size_t bytes, char fill) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << std::string(bytes, fill);
}

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

struct Disc {
    FakeDialogs dialogs;
    disc::DiscEngine& engine;
    win32gui::DiscWindow window;
    HWND hwnd = nullptr;

    Disc(disc::DiscEngine& e, const std::string& handOver = "") : engine(e), window(dialogs, e, handOver) {
        EXPECT_TRUE(window.load());
        hwnd = window.create(nullptr);
        EXPECT_NE(hwnd, nullptr);
    }
    HWND item(int id) const { return GetDlgItem(hwnd, id); }
    bool enabled(int id) const { return IsWindowEnabled(item(id)) != FALSE; }
    bool checked(int id) const { return IsDlgButtonChecked(hwnd, id) == BST_CHECKED; }
    void command(int id, int code = 0) {
        SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(id, code), reinterpret_cast<LPARAM>(item(id)));
        win32gui::pumpPending();
    }
    void click(int id) {
        SendMessageW(item(id), BM_CLICK, 0, 0);
        win32gui::pumpPending();
    }
    void choose(int combo, int index) {
        SendMessageW(item(combo), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
        command(combo, CBN_SELCHANGE);
    }
    int selection(int combo) const { return static_cast<int>(SendMessageW(item(combo), CB_GETCURSEL, 0, 0)); }
    std::string status(int part) const {
        wchar_t text[256] = {};
        SendMessageW(item(IDC_DISC_STATUS), SB_GETTEXTW, static_cast<WPARAM>(part),
                     reinterpret_cast<LPARAM>(text));
        return win32::narrow(text);
    }
    // The tree's nodes in order (depth first), as "text" or "parent/text".
    std::vector<std::string> tree() const {
        std::vector<std::string> out;
        HWND view = item(IDC_DISC_TREE);
        auto walk = [&](auto&& self, HTREEITEM at, const std::string& above) -> void {
            for (; at != nullptr; at = TreeView_GetNextSibling(view, at)) {
                wchar_t text[256] = {};
                TVITEMW node{};
                node.mask = TVIF_TEXT;
                node.hItem = at;
                node.pszText = text;
                node.cchTextMax = 256;
                TreeView_GetItem(view, &node);
                const std::string name = above + win32::narrow(text);
                out.push_back(name);
                self(self, TreeView_GetChild(view, at), name + "/");
            }
        };
        walk(walk, TreeView_GetRoot(view), "");
        return out;
    }
    std::vector<std::string> files() const {
        std::vector<std::string> out;
        HWND list = item(IDC_DISC_FILES);
        for (int i = 0; i < ListView_GetItemCount(list); ++i) {
            wchar_t name[256] = {}, size[64] = {};
            ListView_GetItemText(list, i, 0, name, 256);
            ListView_GetItemText(list, i, 1, size, 64);
            out.push_back(win32::narrow(name) + " " + win32::narrow(size));
        }
        return out;
    }
    HTREEITEM node(const std::string& text) const {
        HWND view = item(IDC_DISC_TREE);
        HTREEITEM root = TreeView_GetRoot(view);
        for (HTREEITEM at = TreeView_GetChild(view, root); at != nullptr;
             at = TreeView_GetNextSibling(view, at)) {
            wchar_t name[256] = {};
            TVITEMW n{};
            n.mask = TVIF_TEXT;
            n.hItem = at;
            n.pszText = name;
            n.cchTextMax = 256;
            TreeView_GetItem(view, &n);
            if (win32::narrow(name) == text) {
                return at;
            }
        }
        return text.empty() ? root : nullptr;
    }
    // Files dropped as Explorer drops them, at a point of the control `on`.
    void drop(int on, const std::vector<std::filesystem::path>& paths) {
        std::wstring list;
        for (const auto& p : paths) {
            list += p.wstring() + L'\0';
        }
        list += L'\0';
        HGLOBAL memory = GlobalAlloc(GHND, sizeof(DROPFILES) + list.size() * sizeof(wchar_t));
        auto* files = static_cast<DROPFILES*>(GlobalLock(memory));
        files->pFiles = sizeof(DROPFILES);
        files->fWide = TRUE;
        RECT box{};
        GetWindowRect(item(on), &box);
        POINT at{box.left + 10, box.top + 30};
        ScreenToClient(hwnd, &at);
        files->pt = at;
        std::memcpy(reinterpret_cast<char*>(files) + sizeof(DROPFILES), list.data(),
                    list.size() * sizeof(wchar_t));
        GlobalUnlock(memory);
        SendMessageW(hwnd, WM_DROPFILES, reinterpret_cast<WPARAM>(memory), 0);
        win32gui::pumpPending();
    }
    // An in-place rename from the menu, typed and ended as the user ends it (Enter or Escape).
    void rename(int menu, const std::string& typed, bool keep = true) {
        command(menu);
        const bool folder = menu == IDM_DISC_RENAME_FOLDER;
        HWND edit = folder ? TreeView_GetEditControl(item(IDC_DISC_TREE))
                           : ListView_GetEditControl(item(IDC_DISC_FILES));
        ASSERT_NE(edit, nullptr) << "no in-place edit";
        SetWindowTextW(edit, win32::widen(typed).c_str());
        if (folder) {
            TreeView_EndEditLabelNow(item(IDC_DISC_TREE), keep ? FALSE : TRUE);
        } else {
            SendMessageW(edit, WM_KEYDOWN, keep ? VK_RETURN : VK_ESCAPE, 0);
        }
        win32gui::pumpPending();
    }
};

SimulatedRecorder recorderWithImageFile() {
    SimulatedRecorder engine;
    engine.drives.push_back(simulatedDrive("/dev/sr0", disc::MediaType::CdR, false, 300000));
    engine.drives.back().speeds = {{1764, 10.0}, {3528, 20.0}};
    engine.drives.back().capabilities = {disc::Capability::BufferProtection};
    engine.drives.push_back(simulatedDrive("stdio:", disc::MediaType::ImageFile, false, 300000));
    engine.drives.back().info.isImageFile = true;
    return engine;
}

TEST(Win32DiscWindow, ControlsReachTheFormAndItsChangesReachTheControls) {
    TempDir dir;
    const std::filesystem::path backup = dir / "Outlook Backup.qob";
    writeFile(backup, 123456, 'q');
    SimulatedRecorder engine = recorderWithImageFile();
    Disc d(engine, backup.string());
    DiscForm& form = d.window.form();

    // Load: the handed-over backup in the root, the drive and its speeds, the defaults.
    EXPECT_EQ(win32gui::windowText(d.hwnd), kDiscWindowCaption);
    EXPECT_EQ(ImageList_GetImageCount(TreeView_GetImageList(d.item(IDC_DISC_TREE), TVSIL_NORMAL)), 4);
    EXPECT_EQ(d.tree(), std::vector<std::string>{"Outlook Data Backup CD"});
    EXPECT_EQ(d.files(), std::vector<std::string>{"Outlook Backup.qob 123.46 KB"});
    EXPECT_EQ(d.status(1), "Files: 1");
    EXPECT_EQ(controlText(d.hwnd, IDC_VOLUME_ID), "Outlook Data Backup CD");
    EXPECT_EQ(controlText(d.hwnd, IDC_DEVICE), "SIMULATED RECORDER (/dev/sr0)");
    EXPECT_EQ(controlText(d.hwnd, IDC_WRITE_SPEED), "10.0x");
    EXPECT_EQ(controlText(d.hwnd, IDC_VOLUME_TYPE), "ISO9660/Joliet Bridge");
    EXPECT_TRUE(d.checked(IDC_USE_FILE_DATES) && d.checked(IDC_BUFFER_PROTECT) &&
                d.enabled(IDC_BUFFER_PROTECT));
    EXPECT_FALSE(d.enabled(IDC_CANCEL_WRITE));

    // Lists: the other drive, its speed, the volume types (the UDF ones cannot be chosen).
    d.choose(IDC_WRITE_SPEED, 1);
    EXPECT_EQ(form.selectedSpeed, 1);
    d.choose(IDC_DEVICE, 1);
    EXPECT_EQ(form.selectedDevice, 1);
    EXPECT_EQ(controlText(d.hwnd, IDC_WRITE_SPEED), "MAX");
    EXPECT_FALSE(d.checked(IDC_BUFFER_PROTECT) || d.enabled(IDC_BUFFER_PROTECT));
    const struct {
        int chosen;
        int kept;
    } types[] = {{1, 2}, {0, 0}, {4, 0}, {2, 2}};
    for (const auto& t : types) {
        d.choose(IDC_VOLUME_TYPE, t.chosen);
        EXPECT_EQ(form.selectedVolumeType, t.kept) << t.chosen;
        EXPECT_EQ(d.selection(IDC_VOLUME_TYPE), t.kept) << t.chosen;
    }
    // Each option box reaches its field of the form, both ways.
    const struct {
        int id;
        bool DiscForm::*field;
    } boxes[] = {{IDC_USE_FILE_DATES, &DiscForm::useFileDates},
                 {IDC_AUTO_VERIFY, &DiscForm::autoVerify},
                 {IDC_MODE2XA, &DiscForm::mode2xa},
                 {IDC_CACHE_IMAGE, &DiscForm::cacheImage},
                 {IDC_TEST_WRITE, &DiscForm::testWrite},
                 {IDC_FINALIZE, &DiscForm::finalizeDisc},
                 {IDC_DISC_AT_ONCE, &DiscForm::discAtOnce}};
    for (const auto& b : boxes) {
        const bool before = form.*b.field;
        d.click(b.id);
        EXPECT_EQ(form.*b.field, !before) << b.id;
        EXPECT_EQ(d.checked(b.id), !before) << b.id;
    }
    // The volume box names the root node.
    win32gui::setControlText(d.hwnd, IDC_VOLUME_ID, "WEEKLY");
    EXPECT_EQ(form.volumeIdentifier, "WEEKLY");
    EXPECT_EQ(d.tree(), std::vector<std::string>{"WEEKLY"});

    // A folder and a file dropped on the list land in the root; dropped elsewhere, nowhere.
    writeFile(dir / "Signatures" / "work.htm", 2000, 's');
    writeFile(dir / "notes.txt", 1000, 'n');
    d.drop(IDC_DISC_FILES, {dir / "Signatures", dir / "notes.txt"});
    EXPECT_EQ(d.tree(), (std::vector<std::string>{"WEEKLY", "WEEKLY/Signatures"}));
    EXPECT_EQ(d.files(), (std::vector<std::string>{"Outlook Backup.qob 123.46 KB", "notes.txt 1.00 KB"}));
    EXPECT_EQ(d.status(2), "Folders: 1");
    d.drop(IDC_VOLUME_ID, {dir / "notes.txt"});
    EXPECT_EQ(form.image().fileCount(), 3);

    // Choosing the folder lists its files; a rename from the menu goes through the form.
    TreeView_SelectItem(d.item(IDC_DISC_TREE), d.node("Signatures"));
    win32gui::pumpPending();
    EXPECT_EQ(form.selectedNode, "\\Signatures");
    EXPECT_EQ(d.files(), std::vector<std::string>{"work.htm 2.00 KB"});
    d.rename(IDM_DISC_RENAME_FOLDER, "Sig2");
    EXPECT_EQ(d.tree(), (std::vector<std::string>{"WEEKLY", "WEEKLY/Sig2"}));
    EXPECT_TRUE(form.image().find("\\Sig2\\work.htm").has_value());
    d.rename(IDM_DISC_RENAME_FOLDER, "Ignored", false);
    EXPECT_EQ(d.tree(), (std::vector<std::string>{"WEEKLY", "WEEKLY/Sig2"})) << "Escape keeps the name";
    ListView_SetItemState(d.item(IDC_DISC_FILES), 0, LVIS_SELECTED, LVIS_SELECTED);
    EXPECT_EQ(form.selectedRow, "\\Sig2\\work.htm");
    d.rename(IDM_DISC_RENAME_FILE, "home.htm");
    EXPECT_EQ(d.files(), std::vector<std::string>{"home.htm 2.00 KB"});

    // The root cannot be renamed: said, and no edit starts. Nothing chosen to remove: said.
    TreeView_SelectItem(d.item(IDC_DISC_TREE), d.node(""));
    win32gui::pumpPending();
    d.command(IDM_DISC_RENAME_FOLDER);
    EXPECT_EQ(TreeView_GetEditControl(d.item(IDC_DISC_TREE)), nullptr);
    d.command(IDM_DISC_REMOVE_FILE);
    EXPECT_EQ(d.dialogs.texts(),
              (std::vector<std::string>{"Root directory can not be renamed.", kDiscNoItemSelected}));

    // The pop-ups carry the entries of their view; the menu bar keeps them all.
    const struct {
        DiscPopup popup;
        std::vector<UINT> ids;
    } popups[] = {
        {DiscPopup::Tree,
         {IDM_DISC_ADD_FILE, 0, IDM_DISC_CLEAR_ALL, IDM_DISC_REMOVE_FOLDER, IDM_DISC_RENAME_FOLDER}},
        {DiscPopup::List,
         {IDM_DISC_ADD_FILE, 0, IDM_DISC_CLEAR_ALL, IDM_DISC_REMOVE_FILE, IDM_DISC_RENAME_FILE}},
        {DiscPopup::MenuBar,
         {IDM_DISC_ADD_FILE, 0, IDM_DISC_CLEAR_ALL, 0, IDM_DISC_REMOVE_FOLDER, IDM_DISC_RENAME_FOLDER,
          IDM_DISC_REMOVE_FILE, IDM_DISC_RENAME_FILE, 0, IDM_DISC_EXIT}}};
    for (const auto& p : popups) {
        HMENU menu = d.window.fileMenu(p.popup);
        std::vector<UINT> ids;
        for (int i = 0; i < GetMenuItemCount(menu); ++i) {
            const UINT id = GetMenuItemID(menu, i);
            ids.push_back(id == static_cast<UINT>(-1) ? 0 : id);
        }
        DestroyMenu(menu);
        EXPECT_EQ(ids, p.ids) << static_cast<int>(p.popup);
    }
    EXPECT_EQ(GetMenuItemCount(GetSubMenu(GetMenu(d.hwnd), 0)), 10);

    // Ctrl+C in the volume box copies; elsewhere it clears the image, which the window follows.
    SetFocus(d.item(IDC_VOLUME_ID));
    d.command(IDM_DISC_CLEAR_ALL, 1);
    EXPECT_EQ(form.image().fileCount(), 3);
    SetFocus(d.item(IDC_DISC_TREE));
    d.command(IDM_DISC_CLEAR_ALL, 1);
    EXPECT_EQ(d.tree(), std::vector<std::string>{"New Disc"});
    EXPECT_TRUE(d.files().empty());
    EXPECT_EQ(controlText(d.hwnd, IDC_VOLUME_ID), "New Disc");
    EXPECT_EQ(d.status(1), "Files: 0");

    // Escape with nothing running closes the window, asking nothing.
    const std::size_t asked = d.dialogs.messages.size();
    d.command(IDCANCEL);
    EXPECT_FALSE(IsWindow(d.hwnd));
    EXPECT_EQ(d.dialogs.messages.size(), asked);
}

// The Windows engine, whose write waits for the test's word before it starts, so Cancel and Escape
// can be pressed while it certainly runs.
class HeldEngine : public disc::Win32DiscEngine {
public:
    std::atomic<bool> hold{false};
    std::atomic<bool> waiting{false};
    Status write(const std::string& address, const disc::DiscImage& image, const disc::WriteOptions& options,
                 disc::DiscEvents& events, const StopToken& stop) override {
        waiting = true;
        while (hold) {
            std::this_thread::yield();
        }
        waiting = false;
        return Win32DiscEngine::write(address, image, options, events, stop);
    }
};

TEST(Win32DiscWindow, WritesAnImageFileOnTheWorkerAndACancelKeepsTheEarlierOne) {
    TempDir dir;
    const std::filesystem::path backup = dir / "backups" / "Outlook Backup.qob";
    writeFile(backup, 3 * 1024 * 1024 + 17, 'q');
    HeldEngine engine;
    Disc d(engine, backup.string());
    DiscForm& form = d.window.form();

    // Wine has no IMAPI2: the window says so plainly, with the reason, and offers the image file.
    ASSERT_EQ(d.dialogs.messages.size(), 1u);
    const RecordedMessage& said = d.dialogs.messages[0];
    EXPECT_EQ(said.text.rfind(std::string(kDiscDevicesCannotBeInitialized) + "\n\n", 0), 0u) << said.text;
    EXPECT_NE(said.text.find("IMAPI2"), std::string::npos) << said.text;
    EXPECT_EQ(said.icon, MsgIcon::None);
    EXPECT_EQ(SendMessageW(d.item(IDC_DEVICE), CB_GETCOUNT, 0, 0), 1);
    EXPECT_EQ(controlText(d.hwnd, IDC_DEVICE), disc::kWin32ImageFileDeviceName);

    const std::filesystem::path image = dir / "backups" / "weekly.iso";
    const struct {
        bool verify;
        const char* stop; // "": none; "cancel": the Cancel button; "escape": Escape, answered Yes
        const char* box;  // the write's last box
    } runs[] = {{false, "", kDiscWriteCompleteMessage},
                {true, "", kDiscWriteVerifyCompleteMessage},
                {false, "cancel", kDiscWriteCancelledMessage},
                {true, "escape", kDiscWriteCancelledMessage}};
    std::string earlier;
    for (const auto& run : runs) {
        const bool stopped = *run.stop != '\0';
        SCOPED_TRACE(std::string(run.box) + " " + run.stop);
        d.dialogs.messages.clear();
        d.dialogs.fileAnswers.push_back(image.string());
        if (IsDlgButtonChecked(d.hwnd, IDC_AUTO_VERIFY) != (run.verify ? BST_CHECKED : BST_UNCHECKED)) {
            d.click(IDC_AUTO_VERIFY);
        }
        engine.hold = true;
        d.click(IDC_WRITE_DISC);
        ASSERT_TRUE(d.window.writing()) << (d.dialogs.messages.empty() ? "" : d.dialogs.texts().back());
        while (!engine.waiting) {
            std::this_thread::yield();
        }
        // While it runs only Cancel takes input, and the window does not close.
        EXPECT_TRUE(d.enabled(IDC_CANCEL_WRITE));
        EXPECT_FALSE(d.enabled(IDC_WRITE_DISC) || d.enabled(IDC_DISC_TREE) || d.enabled(IDC_VOLUME_ID));
        EXPECT_EQ(GetDlgCtrlID(GetFocus()), IDC_CANCEL_WRITE);
        if (std::string(run.stop) == "cancel") {
            d.click(IDC_CANCEL_WRITE);
        } else if (stopped) {
            d.dialogs.answers = {MsgAnswer::No, MsgAnswer::Yes};
            d.command(IDCANCEL); // No: the write goes on
            EXPECT_TRUE(IsWindow(d.hwnd));
            EXPECT_FALSE(form.stopToken().stopRequested());
            d.command(IDCANCEL); // Yes: asked to stop; the window stays until it has
            EXPECT_EQ(d.dialogs.texts(), (std::vector<std::string>(2, kDiscStopWriteQuestion)));
        }
        EXPECT_TRUE(IsWindow(d.hwnd));
        EXPECT_EQ(d.status(0) == "Aborting Write...Please Wait!", stopped);
        engine.hold = false;
        d.window.waitForWrite();
        ASSERT_FALSE(d.dialogs.messages.empty());
        EXPECT_EQ(d.dialogs.messages.back().text, run.box) << d.dialogs.texts().front();
        // The next click is the user's: the window is idle again.
        EXPECT_TRUE(d.enabled(IDC_WRITE_DISC) && d.enabled(IDC_DISC_TREE));
        EXPECT_FALSE(d.enabled(IDC_CANCEL_WRITE));
        ASSERT_TRUE(std::filesystem::exists(image));
        if (stopped) {
            EXPECT_EQ(readFile(image), earlier) << "a cancelled write left the earlier image as it was";
        } else {
            earlier = readFile(image);
            // An ISO 9660 volume named as the window said, holding the backup as it is on disk.
            ASSERT_GT(earlier.size(), 3u * 1024 * 1024);
            EXPECT_EQ(earlier.substr(16 * 2048 + 1, 5), "CD001");
            EXPECT_EQ(earlier.substr(16 * 2048 + 40, 22), "OUTLOOK_DATA_BACKUP_CD");
            disc::DiscEvents quiet;
            StopToken none;
            const disc::VerifySummary back =
                engine.verify("stdio:" + image.string(), form.image(), quiet, none);
            EXPECT_TRUE(back.status) << back.status.message;
            EXPECT_EQ(back.files, 1);
            EXPECT_EQ(back.matched, 1);
        }
        // Nothing half-written beside the image.
        for (const auto& entry : std::filesystem::directory_iterator(image.parent_path())) {
            const std::string name = entry.path().filename().string();
            EXPECT_TRUE(name == "weekly.iso" || name == "Outlook Backup.qob") << name;
        }
    }
    d.command(IDCANCEL);
    EXPECT_FALSE(IsWindow(d.hwnd)) << "Escape closes the idle window";
}

TEST(Win32EraseWindow, TheEraseRunsOnTheWorkerAndTheWindowClosesAtItsEnd) {
    const struct {
        disc::MediaType media;
        bool rewritable;
        bool fails;
        bool quick;
        std::vector<std::string> boxes;
        const char* status;
    } cases[] = {
        {disc::MediaType::CdRw, true, false, false, {"Erase Completed!!!"}, "Erase operation complete!!!"},
        {disc::MediaType::CdRw,
         true,
         true,
         true,
         {"Device Error: (5)   The disc could not be erased.\n(7) Erase error (drive says so)"},
         "Error Erasing Disc!!!"},
        {disc::MediaType::None, true, false, true, {"No Media Loaded."}, ""},
        {disc::MediaType::CdR, false, false, true, {"The current media is not re-writable."}, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.boxes.front());
        FakeDialogs dialogs;
        SimulatedRecorder engine;
        engine.drives.push_back(simulatedDrive("/dev/sr0", c.media, c.rewritable, 1000));
        engine.drives.back().capabilities = {disc::Capability::EraseCdRw};
        engine.drives.back().eraseFails = c.fails;
        std::atomic<bool> hold{true};
        std::atomic<bool> started{false};
        engine.onErase = [&] {
            started = true;
            while (hold) {
                std::this_thread::yield();
            }
        };
        EraseForm form(dialogs, engine, "/dev/sr0");
        win32gui::EraseWindow window(form, engine);
        HWND hwnd = window.create(nullptr);
        ASSERT_NE(hwnd, nullptr);
        EXPECT_EQ(win32gui::windowText(hwnd), kEraseWindowCaption);
        EXPECT_EQ(controlText(hwnd, IDC_ERASE_NOTE), kEraseNote);
        EXPECT_EQ(IsDlgButtonChecked(hwnd, IDC_QUICK_ERASE), BST_CHECKED);
        if (!c.quick) {
            SendMessageW(GetDlgItem(hwnd, IDC_QUICK_ERASE), BM_CLICK, 0, 0);
            EXPECT_FALSE(form.quickErase);
        }
        SendMessageW(GetDlgItem(hwnd, IDC_ERASE), BM_CLICK, 0, 0);
        if (window.erasing()) {
            while (!started) {
                std::this_thread::yield();
            }
            win32gui::pumpPending();
            // It cannot be stopped: neither Cancel nor Escape closes the window meanwhile.
            SendMessageW(hwnd, WM_COMMAND, IDCANCEL, 0);
            EXPECT_TRUE(IsWindow(hwnd));
            EXPECT_FALSE(IsWindowEnabled(GetDlgItem(hwnd, IDC_ERASE)));
            EXPECT_FALSE(IsWindowEnabled(GetDlgItem(hwnd, IDCANCEL)));
            EXPECT_EQ(controlText(hwnd, IDC_ERASE_STATUS), "Erasing Disc...Please Wait!!");
            hold = false;
            window.waitForErase();
            ASSERT_EQ(engine.erases.size(), 1u);
            EXPECT_EQ(engine.erases[0], c.quick);
        } else {
            EXPECT_TRUE(engine.erases.empty());
        }
        EXPECT_EQ(dialogs.texts(), c.boxes);
        EXPECT_FALSE(IsWindow(hwnd)) << "the window closes at the end, and after a refusal";
        EXPECT_EQ(form.statusText, c.status);
    }
}

} // namespace
} // namespace qob::test
