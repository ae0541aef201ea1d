// The password prompt and the about window bound to their forms, and how the Win32 dialogs speak
// to Windows' own boxes; run under Wine.
#include "forms/AboutForm.h"
#include "forms/PasswordForm.h"
#include "platform/win32/WideText.h"
#include "win32gui/AboutWindow.h"
#include "win32gui/CommandLine.h"
#include "win32gui/ControlText.h"
#include "win32gui/MessageLoop.h"
#include "win32gui/PasswordWindow.h"
#include "win32gui/ResourceIds.h"
#include "win32gui/Win32Dialogs.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <cctype>

namespace qob::test {
namespace {

using win32gui::controlText;

TEST(Win32PasswordWindow, TypedTextAndButtonsReachTheForm) {
    const std::string twentyFive(25, 'x');
    const struct {
        std::string typed;
        UINT key; // 0: the button `button` is clicked; else the key pressed in the box
        int button;
        std::optional<std::string> answer;
    } cases[] = {
        {"secret", 0, IDOK, "secret"},
        {"", 0, IDOK, ""},
        {"secret", 0, IDCANCEL, std::nullopt},
        {twentyFive, 0, IDOK, std::string(20, 'x')},
        {"pässwört", 0, IDOK, "pässwört"},
        {"by enter", VK_RETURN, 0, "by enter"},
        {"by escape", VK_ESCAPE, 0, std::nullopt},
    };
    for (const auto& c : cases) {
        win32gui::PasswordWindow window("Password of backup.qob:");
        HWND hwnd = window.create(nullptr);
        ASSERT_NE(hwnd, nullptr);
        EXPECT_EQ(win32gui::windowText(hwnd), kPasswordCaption);
        EXPECT_EQ(controlText(hwnd, IDC_PASSWORD_PROMPT), "Password of backup.qob:");
        EXPECT_EQ(controlText(hwnd, IDC_SECURITY_FRAME), kPasswordFrame);
        EXPECT_EQ(GetDlgCtrlID(GetFocus()), IDC_PASSWORD_EDIT) << "the box takes the focus";
        win32gui::setControlText(hwnd, IDC_PASSWORD_EDIT, c.typed);
        if (c.key != 0) {
            MSG msg{GetDlgItem(hwnd, IDC_PASSWORD_EDIT), WM_KEYDOWN, c.key, 0, 0, {}};
            EXPECT_TRUE(win32gui::preTranslate(msg)) << "the dialog manager takes " << c.typed;
        } else {
            SendMessageW(GetDlgItem(hwnd, c.button), BM_CLICK, 0, 0);
        }
        win32gui::pumpPending();
        EXPECT_FALSE(IsWindow(hwnd)) << c.typed;
        EXPECT_EQ(window.form().answer(), c.answer) << c.typed;
    }
    // Without a prompt of its own the template's text stays.
    win32gui::PasswordWindow plain;
    HWND hwnd = plain.create(nullptr);
    EXPECT_EQ(controlText(hwnd, IDC_PASSWORD_PROMPT), kPasswordLabel);
    DestroyWindow(hwnd);
}

TEST(Win32AboutWindow, ShowsTheFormsTexts) {
    const AboutForm form(mainWindowCaption());
    win32gui::AboutWindow about(form);
    HWND hwnd = about.create(nullptr);
    ASSERT_NE(hwnd, nullptr);
    EXPECT_EQ(win32gui::windowText(hwnd), kAboutCaption);
    EXPECT_EQ(controlText(hwnd, IDC_ABOUT_PRODUCT), mainWindowCaption());
    EXPECT_EQ(controlText(hwnd, IDC_ABOUT_THANKS), kAboutThanks);
    EXPECT_EQ(controlText(hwnd, IDC_ABOUT_NOTICE), kAboutNotice);
    SendMessageW(GetDlgItem(hwnd, IDOK), BM_CLICK, 0, 0);
    EXPECT_FALSE(IsWindow(hwnd));
}

TEST(Win32Dialogs, SpeaksTheCommonDialogsAndMessageBoxes) {
    const struct {
        std::string filter;
        std::wstring expected;
    } filters[] = {
        {"Quire Outlook Backup File (*.qob)|*.qob",
         std::wstring(L"Quire Outlook Backup File (*.qob)") + L'\0' + L"*.qob" + L'\0' + L'\0'},
        {"A|*.a|B|*", std::wstring(L"A\0*.a\0B\0*\0\0", 11)},
        {"", std::wstring(2, L'\0')},
    };
    for (const auto& f : filters) {
        EXPECT_EQ(win32gui::Win32Dialogs::filterText(f.filter), f.expected) << f.filter;
    }
    const struct {
        MsgIcon icon;
        MsgButtons buttons;
        UINT style;
    } styles[] = {
        {MsgIcon::Information, MsgButtons::Ok, MB_ICONINFORMATION | MB_OK},
        {MsgIcon::Warning, MsgButtons::OkCancel, MB_ICONWARNING | MB_OKCANCEL},
        {MsgIcon::Critical, MsgButtons::YesNo, MB_ICONERROR | MB_YESNO},
        {MsgIcon::Question, MsgButtons::YesNoCancel, MB_ICONQUESTION | MB_YESNOCANCEL},
        {MsgIcon::None, MsgButtons::Ok, MB_OK},
    };
    for (const auto& s : styles) {
        EXPECT_EQ(win32gui::Win32Dialogs::messageStyle(s.icon, s.buttons) &
                      ~static_cast<UINT>(MB_SETFOREGROUND),
                  s.style);
    }
    const std::pair<int, MsgAnswer> answers[] = {{IDOK, MsgAnswer::Ok},
                                                 {IDYES, MsgAnswer::Yes},
                                                 {IDNO, MsgAnswer::No},
                                                 {IDCANCEL, MsgAnswer::Cancel},
                                                 {0, MsgAnswer::Cancel}};
    for (const auto& [result, answer] : answers) {
        EXPECT_EQ(win32gui::Win32Dialogs::answerOf(result), answer) << result;
    }
}

// The manifest in the resources (the same in quiremail.exe): common controls 6 (themed controls, the
// task dialog) and per-monitor DPI awareness.
TEST(Win32Manifest, GivesCommonControls6AndPerMonitorDpiAwareness) {
    HMODULE comctl = GetModuleHandleW(L"comctl32.dll");
    if (comctl == nullptr) {
        comctl = LoadLibraryW(L"comctl32.dll");
    }
    ASSERT_NE(comctl, nullptr);
    // Version 6 is the side-by-side assembly the manifest names (Wine's reports 5.81 from
    // DllGetVersion all the same, so the assembly's folder tells).
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(comctl, path, MAX_PATH);
    std::string loaded = win32::narrow(path);
    for (char& ch : loaded) {
        ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    }
    EXPECT_NE(loaded.find("common-controls_6595b64144ccf1df_6."), std::string::npos) << loaded;
    EXPECT_NE(GetProcAddress(comctl, "TaskDialogIndirect"), nullptr);

    // GetThreadDpiAwarenessContext came with Windows 10; asked for by name, so the program still
    // starts on Windows 7.
    using GetContext = DPI_AWARENESS_CONTEXT(WINAPI*)();
    using AwarenessOf = DPI_AWARENESS(WINAPI*)(DPI_AWARENESS_CONTEXT);
    HMODULE user = GetModuleHandleW(L"user32.dll");
    // Through void*: GetProcAddress's FARPROC matches no real signature.
    auto getContext = reinterpret_cast<GetContext>(
        reinterpret_cast<void*>(GetProcAddress(user, "GetThreadDpiAwarenessContext")));
    auto awarenessOf = reinterpret_cast<AwarenessOf>(
        reinterpret_cast<void*>(GetProcAddress(user, "GetAwarenessFromDpiAwarenessContext")));
    ASSERT_NE(getContext, nullptr);
    ASSERT_NE(awarenessOf, nullptr);
    EXPECT_EQ(awarenessOf(getContext()), DPI_AWARENESS_PER_MONITOR_AWARE);

    // The password boxes of the main window take no more than a backup password may hold.
    win32gui::PasswordWindow window;
    HWND hwnd = window.create(nullptr);
    EXPECT_EQ(SendDlgItemMessageW(hwnd, IDC_PASSWORD_EDIT, EM_GETLIMITTEXT, 0, 0), 20);
    DestroyWindow(hwnd);
}

TEST(Win32CommandLine, OpenTakesTheFileAfterItAsWindowsPassedIt) {
    const struct {
        std::vector<std::wstring> arguments;
        std::optional<std::filesystem::path> file;
    } cases[] = {
        {{L"quiremail.exe", L"--open", L"C:\\Backups\\Bürö März.qob"},
         std::filesystem::path(L"C:\\Backups\\Bürö März.qob")},
        {{L"quiremail.exe", L"--open"}, std::nullopt},
        {{L"quiremail.exe"}, std::nullopt},
        {{L"--open", L"x.qob"}, std::nullopt}, // the program's own name is never an option
    };
    for (const auto& c : cases) {
        EXPECT_EQ(win32gui::openArgument(c.arguments), c.file);
    }
    EXPECT_FALSE(win32gui::processArguments().empty());
}

} // namespace
} // namespace qob::test
