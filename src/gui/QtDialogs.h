#pragma once
// The windows' answer to every modal question of the forms and jobs: Qt message boxes, file and
// folder pickers and the password prompt. A call may come from a job's worker thread (the registry
// reports a malformed key path through it): it is then carried to the window's thread and the
// worker waits for the answer, because widgets may only be touched on that thread.
#include "platform/Dialogs.h"

#include <QPointer>
#include <QWidget>

#include <filesystem>
#include <functional>

namespace qob::gui {

class QtDialogs : public Dialogs {
public:
    // `owner` parents every dialog (centred on it, modal to it); it may change once the main window
    // exists.
    explicit QtDialogs(QWidget* owner = nullptr) : owner_(owner) {}
    void setOwner(QWidget* owner) { owner_ = owner; }
    // The program folder whose skin the password prompt applies; none until set.
    void setProgramFolder(std::filesystem::path folder) { programFolder_ = std::move(folder); }

    MsgAnswer message(const std::string& text, MsgIcon icon, MsgButtons buttons,
                      const std::string& title) override;
    std::optional<std::string> openFile(const std::string& title, const std::string& filter,
                                        const std::string& initialDir) override;
    std::optional<std::string> saveFile(const std::string& title, const std::string& filter,
                                        const std::string& initialPath) override;
    std::optional<std::string> browseFolder(const std::string& title, const std::string& initialDir) override;
    std::optional<std::string> askPassword(const std::string& prompt) override;
    void processEvents() override;

    // Turns a filter of the form "Name (*.ext)|*.ext|..." into Qt's "Name (*.ext);;...".
    static QString qtFilter(const std::string& filter);

private:
    // Runs `ask` on the window's thread and waits for it when called from another thread.
    void onWindowThread(const std::function<void()>& ask);

    QPointer<QWidget> owner_;
    std::filesystem::path programFolder_;
};

} // namespace qob::gui
