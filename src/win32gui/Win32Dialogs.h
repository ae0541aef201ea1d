#pragma once
// The program's modal interactions on Windows' own boxes: MessageBoxW, the common file dialogs, the
// folder browser and the password prompt, each owned by the window set with setOwner(). A call made
// from a job's worker thread is carried to the window's thread and waited for.
#include "platform/Dialogs.h"

#include <windows.h>

#include <string>

namespace qob::win32gui {

class Win32Dialogs : public Dialogs {
public:
    void setOwner(HWND owner) { owner_ = owner; }
    HWND owner() const { return owner_; }

    MsgAnswer message(const std::string& text, MsgIcon icon, MsgButtons buttons,
                      const std::string& title) override;
    std::optional<std::string> openFile(const std::string& title, const std::string& filter,
                                        const std::string& initialDir) override;
    std::optional<std::string> saveFile(const std::string& title, const std::string& filter,
                                        const std::string& initialPath) override;
    std::optional<std::string> browseFolder(const std::string& title, const std::string& initialDir) override;
    std::optional<std::string> askPassword(const std::string& prompt) override;
    void processEvents() override;

    // "Name (*.a)|*.a|Other|*" as the common dialogs take it: pairs ended by NULs, then one more.
    static std::wstring filterText(const std::string& filter);
    // MessageBoxW's style bits for an icon and a set of buttons, and what its result means.
    static UINT messageStyle(MsgIcon icon, MsgButtons buttons);
    static MsgAnswer answerOf(int result);

private:
    HWND owner_ = nullptr;
};

} // namespace qob::win32gui
