#pragma once
// The settings window on Windows (IDD_SETTINGS): binds its boxes, folder and automatic-backup file
// choice to the Qt-free SettingsForm, as the Qt window does. The form reads settings.dat when the
// window opens; OK hands every control to the form, which checks and writes; Cancel writes nothing.
#include "forms/SettingsForm.h"
#include "win32gui/DialogWindow.h"
#include "win32gui/ResourceIds.h"

#include <windows.h>

#include <filesystem>
#include <string>

namespace qob::win32gui {

class Win32Dialogs;

class SettingsWindow : public DialogWindow<SettingsWindow> {
public:
    // `dialogs`, when given, is the form's: its boxes are owned by this window while it is open.
    explicit SettingsWindow(SettingsForm& form, Win32Dialogs* dialogs = nullptr)
        : DialogWindow(IDD_SETTINGS), form_(form), dialogs_(dialogs) {}

    // Modal over `owner`; true when OK closed it.
    bool run(HWND owner);
    // The same window modeless (tests); it destroys itself when OK or Cancel closes it.
    HWND create(HWND owner);
    bool accepted() const { return accepted_; }
    // The page shown (0 General, 1 Backup, 2 Scheduled Backup).
    void selectTab(int tab);

    // The window with its own dialogs and the Windows start-up entry (the Run value).
    static bool open(HWND owner, const std::filesystem::path& programFolder);

    // "All" for 0, as the Qt spin box shows it; what the box holds back as a number (0..999).
    static std::string keepText(int keep);
    static int keepValue(const std::string& text);

private:
    friend class DialogWindow<SettingsWindow>;
    INT_PTR handle(UINT message, WPARAM wParam, LPARAM lParam);
    void initialize();
    void storeControls();
    void showForm();
    void close(bool accepted);

    SettingsForm& form_;
    Win32Dialogs* dialogs_;
    HWND earlierOwner_ = nullptr;
    bool accepted_ = false;
};

} // namespace qob::win32gui
