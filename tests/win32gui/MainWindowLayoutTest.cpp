// The main window's size under Wine: it can be resized (not below its minimum), the lists and the
// log take what it gains while the buttons keep to their edges, a DPI change keeps the layout, and
// it, qob.exe and quiremail.exe carry the program's icon.
#include "DemoPlatform.h"
#include "forms/MainForm.h"
#include "win32gui/MainWindow.h"
#include "win32gui/MessageLoop.h"
#include "win32gui/ResourceIds.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace qob::test {
namespace {

struct Shown {
    DemoPlatform demo;
    MainForm form{demo.platform};
    win32gui::MainWindow main{form, {}, "C:\\target"};
    HWND hwnd = nullptr;

    Shown() {
        EXPECT_TRUE(main.create());
        hwnd = main.window();
        main.show();
        main.load();
        win32gui::pumpPending();
    }
    // A control's rectangle in the client area.
    RECT place(int id) const {
        RECT r{};
        GetWindowRect(GetDlgItem(hwnd, id), &r);
        MapWindowPoints(nullptr, hwnd, reinterpret_cast<POINT*>(&r), 2);
        return r;
    }
    SIZE windowSize() const {
        RECT r{};
        GetWindowRect(hwnd, &r);
        return {r.right - r.left, r.bottom - r.top};
    }
    void resizeBy(int dx, int dy) {
        const SIZE now = windowSize();
        SetWindowPos(hwnd, nullptr, 0, 0, now.cx + dx, now.cy + dy,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        win32gui::pumpPending();
    }
};

// How each edge of a control moved, in pixels, when the window grew by (dx, dy).
struct Moved {
    int id;
    int left, top, right, bottom; // in units of dx (left, right) and dy (top, bottom): 0, 1 or 2 = ½
};

int share(int units, int delta) {
    return units == 2 ? delta / 2 : units * delta;
}

TEST(Win32MainWindowLayout, ListsAndTextsGrowButtonsKeepToTheirEdges) {
    Shown w;
    const LONG style = GetWindowLongW(w.hwnd, GWL_STYLE);
    EXPECT_TRUE(style & WS_THICKFRAME) << "the window can be resized";
    EXPECT_TRUE(style & WS_MAXIMIZEBOX);
    const Moved cases[] = {
        {IDC_TABS, 0, 0, 1, 1},
        {IDC_LOG_LIST, 0, 0, 1, 1},
        {IDC_DESCRIPTION, 0, 0, 1, 1},
        {IDC_BACKUP_FILE, 0, 0, 1, 0},
        {IDC_BACKUP_BROWSE, 1, 0, 1, 0},
        {IDC_BACKUP_GROUP, 0, 0, 1, 0},
        {IDC_BACKUP_ITEM0, 0, 0, 1, 0},
        {IDC_SOURCE_PROFILE, 0, 0, 1, 0},
        {IDC_PROTECT, 0, 1, 0, 1},
        {IDC_PASSWORD, 0, 1, 2, 1},
        {IDC_PASSWORD2, 2, 1, 1, 1},
        {IDC_BACKUP_INFO, 0, 0, 2, 1},
        {IDC_BACKUP_DESCRIPTION, 2, 0, 1, 1},
        {IDC_RESTORE_GROUP, 0, 1, 1, 1},
        {IDC_RESTORE_ITEM0 + 8, 0, 1, 1, 1},
        {IDC_TARGET_PROFILE, 0, 1, 1, 1},
        {IDC_TARGET_LABEL, 0, 0, 1, 0},
        {IDC_TARGET_CHANGE, 1, 0, 1, 0},
        {IDC_PROGRESS, 0, 1, 1, 1},
        {IDC_CANCEL_JOB, 1, 1, 1, 1},
        {IDC_APPLY, 1, 1, 1, 1},
        {IDC_ABOUT_BUTTON, 1, 1, 1, 1},
        {IDC_QUIT, 1, 1, 1, 1},
        {IDC_SOURCE_PROFILE_LABEL, 0, 0, 0, 0},
    };
    std::vector<RECT> before;
    for (const Moved& c : cases) {
        before.push_back(w.place(c.id));
    }
    // Larger, then back: the places follow both ways and come back exactly.
    for (const auto& [dx, dy] : {std::pair{240, 160}, std::pair{0, 0}}) {
        const SIZE designed = w.windowSize();
        w.resizeBy(dx, dy);
        for (std::size_t i = 0; i < std::size(cases); ++i) {
            const Moved& c = cases[i];
            SCOPED_TRACE(testing::Message() << "control " << c.id << " at +" << dx << ",+" << dy);
            const RECT now = w.place(c.id);
            EXPECT_NEAR(now.left - before[i].left, share(c.left, dx), 1);
            EXPECT_NEAR(now.top - before[i].top, share(c.top, dy), 1);
            EXPECT_NEAR(now.right - before[i].right, share(c.right, dx), 1);
            EXPECT_NEAR(now.bottom - before[i].bottom, share(c.bottom, dy), 1);
        }
        w.resizeBy(-(w.windowSize().cx - designed.cx), -(w.windowSize().cy - designed.cy));
    }
}

TEST(Win32MainWindowLayout, TheWindowMayBeMadeSmallerButNotBelowItsMinimum) {
    Shown w;
    const SIZE designed = w.windowSize();
    MINMAXINFO info{};
    SendMessageW(w.hwnd, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
    EXPECT_LT(info.ptMinTrackSize.x, designed.cx);
    EXPECT_LT(info.ptMinTrackSize.y, designed.cy);
    EXPECT_GT(info.ptMinTrackSize.x, designed.cx * 3 / 4);
    EXPECT_GT(info.ptMinTrackSize.y, designed.cy * 3 / 4);
    // Low enough for a screen of 1080 lines less a taskbar at 200 %: 516 pixels at 100 %.
    EXPECT_LE(info.ptMinTrackSize.y, 516);
    const LONG pitch = w.place(IDC_BACKUP_ITEM0 + 1).top - w.place(IDC_BACKUP_ITEM0).top;
    // At the minimum no two controls of a page overlap and every one is inside the window.
    w.resizeBy(info.ptMinTrackSize.x - designed.cx, info.ptMinTrackSize.y - designed.cy);
    // The item boxes closed up, to four fifths of their distance, on both pages.
    for (int first : {IDC_BACKUP_ITEM0, IDC_RESTORE_ITEM0}) {
        EXPECT_NEAR(w.place(first + 8).top - w.place(first).top, 8 * pitch * 4 / 5, 3) << first;
    }
    RECT client{};
    GetClientRect(w.hwnd, &client);
    const int pairs[][2] = {
        {IDC_BACKUP_FILE, IDC_BACKUP_BROWSE},
        {IDC_DESCRIPTION, IDC_PROTECT},
        {IDC_PASSWORD, IDC_PASSWORD2_LABEL},
        {IDC_BACKUP_INFO, IDC_BACKUP_DESCRIPTION},
        {IDC_BACKUP_INFO, IDC_RESTORE_GROUP},
        {IDC_TABS, IDC_STATUS},
        {IDC_APPLY, IDC_ABOUT_BUTTON},
        {IDC_TARGET_LABEL, IDC_TARGET_CHANGE},
        {IDC_PROGRESS, IDC_CANCEL_JOB},
        {IDC_BACKUP_ITEM0 + 7, IDC_BACKUP_ITEM0 + 8},
        {IDC_RESTORE_ITEM0 + 7, IDC_RESTORE_ITEM0 + 8},
        {IDC_BACKUP_ITEM0 + 8, IDC_BACKUP_FILE},
        {IDC_BACKUP_FILE, IDC_DESCRIPTION},
        {IDC_BACKUP_INFO, IDC_RESTORE_ITEM0},
        {IDC_RESTORE_ITEM0 + 8, IDC_TARGET_PROFILE},
        {IDC_PASSWORD2, IDC_STATUS},
        {IDC_TARGET_PROFILE, IDC_STATUS},
    };
    for (const auto& pair : pairs) {
        RECT a = w.place(pair[0]);
        RECT b = w.place(pair[1]);
        RECT both{};
        EXPECT_FALSE(IntersectRect(&both, &a, &b)) << pair[0] << " and " << pair[1] << " overlap";
        for (const RECT& r : {a, b}) {
            EXPECT_GE(r.left, 0);
            EXPECT_LE(r.right, client.right);
            EXPECT_LE(r.bottom, client.bottom);
        }
    }
    // Minimized and restored: nothing moved while the client area was empty.
    const RECT apply = w.place(IDC_APPLY);
    ShowWindow(w.hwnd, SW_MINIMIZE);
    win32gui::pumpPending();
    ShowWindow(w.hwnd, SW_RESTORE);
    win32gui::pumpPending();
    EXPECT_EQ(w.place(IDC_APPLY).left, apply.left);
    EXPECT_EQ(w.place(IDC_APPLY).top, apply.top);
}

TEST(Win32MainWindowLayout, ADpiChangeScalesTheLayoutAndTheIcons) {
    Shown w;
    const RECT apply = w.place(IDC_APPLY);
    RECT before{};
    GetClientRect(w.hwnd, &before);
    RECT frame{};
    GetWindowRect(w.hwnd, &frame);
    // Another monitor at twice the DPI: Windows suggests a window twice the size.
    RECT suggested{frame.left, frame.top, frame.left + 2 * (frame.right - frame.left),
                   frame.top + 2 * (frame.bottom - frame.top)};
    SendMessageW(w.hwnd, WM_DPICHANGED, MAKEWPARAM(192, 192), reinterpret_cast<LPARAM>(&suggested));
    win32gui::pumpPending();
    RECT client{};
    GetClientRect(w.hwnd, &client);
    const RECT now = w.place(IDC_APPLY);
    // The button keeps its distance to the corner, scaled.
    EXPECT_NEAR(client.right - now.right, 2 * (before.right - apply.right), 2);
    EXPECT_NEAR(client.bottom - now.bottom, 2 * (before.bottom - apply.bottom), 2);
    EXPECT_NEAR(now.right - now.left, 2 * (apply.right - apply.left), 2);
    EXPECT_NEAR(now.bottom - now.top, 2 * (apply.bottom - apply.top), 2);
    const auto big = reinterpret_cast<HICON>(SendMessageW(w.hwnd, WM_GETICON, ICON_BIG, 0));
    ICONINFO info{};
    ASSERT_TRUE(big != nullptr && GetIconInfo(big, &info));
    BITMAP bitmap{};
    GetObjectW(info.hbmColor, sizeof(bitmap), &bitmap);
    EXPECT_EQ(bitmap.bmWidth, 2 * GetSystemMetrics(SM_CXICON));
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
}

TEST(Win32ProgramIcon, TheWindowAndBothProgramsCarryTheProductIcon) {
    Shown w;
    for (WPARAM which : {ICON_BIG, ICON_SMALL}) {
        EXPECT_NE(SendMessageW(w.hwnd, WM_GETICON, which, 0), 0) << which;
    }
    // The icon group holds the sizes Windows asks for at 100 % to 200 % and in Explorer's views.
    for (const char* program : {"qob.exe", "quiremail.exe"}) {
        const std::wstring path = (std::filesystem::path(QOB_BINARY_DIR) / program).wstring();
        HMODULE module = LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(module, nullptr) << program;
        EXPECT_NE(FindResourceW(module, MAKEINTRESOURCEW(IDI_PRODUCT), RT_GROUP_ICON), nullptr) << program;
        for (int size : {16, 20, 24, 32, 40, 48, 64, 256}) {
            HICON icon = static_cast<HICON>(
                LoadImageW(module, MAKEINTRESOURCEW(IDI_PRODUCT), IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
            ASSERT_NE(icon, nullptr) << program << " " << size;
            // The image of exactly that size, not one scaled from another.
            const int found = LookupIconIdFromDirectoryEx(
                static_cast<PBYTE>(LockResource(LoadResource(
                    module, FindResourceW(module, MAKEINTRESOURCEW(IDI_PRODUCT), RT_GROUP_ICON)))),
                TRUE, size, size, LR_DEFAULTCOLOR);
            HRSRC image = FindResourceW(module, MAKEINTRESOURCEW(found), RT_ICON);
            ASSERT_NE(image, nullptr);
            const auto* png = static_cast<const unsigned char*>(LockResource(LoadResource(module, image)));
            const auto side = [&](int at) {
                return (png[at] << 24) | (png[at + 1] << 16) | (png[at + 2] << 8) | png[at + 3];
            };
            EXPECT_EQ(side(16), size) << program;
            EXPECT_EQ(side(20), size) << program;
            DestroyIcon(icon);
        }
        FreeLibrary(module);
    }
}

} // namespace
} // namespace qob::test
