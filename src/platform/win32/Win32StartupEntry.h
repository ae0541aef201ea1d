#pragma once
// The settings window's "Start software on Windows start up" on Windows: a string value in the
// user's "Software\Microsoft\Windows\CurrentVersion\Run" key, named after the program, whose data is
// the quoted path of quiremail.exe (one command even when the folder holds blanks).
#ifdef _WIN32
#include "platform/StartupEntry.h"

#include <string>

namespace qob {

// The second Run value: "quiremail.exe --catch-up" at logon makes up a weekly run the machine was
// off for (a task made by schtasks /create /sc WEEKLY is not run late by the task scheduler).
inline constexpr wchar_t kCatchUpRunValueName[] = L"Quire Outlook Backup (missed weekly backup)";

class Win32StartupEntry : public StartupEntry {
public:
    // `command`: the value's data; `name`: the value's name.
    Win32StartupEntry(std::wstring name, std::wstring command);
    // The entry `name` that starts quiremail.exe beside the running program. The running program's
    // folder, not the program folder: that may be elsewhere (a per-user folder when the
    // installation folder is not writable), and the entry must start a file that is there.
    static Win32StartupEntry besideThisProgram(std::wstring name);

    Status set(bool on) override;
    bool isSet() const override;
    // The data of the value now, "" when there is none.
    std::wstring command() const;

private:
    std::wstring name_;
    std::wstring command_;
};

} // namespace qob
#endif
