#pragma once
// A scripted Dialogs: records every message and answers from queues, so that runs and forms can be
// driven by tests without a person.
#include "platform/Dialogs.h"

#include <deque>
#include <string>
#include <vector>

namespace qob::test {

struct RecordedMessage {
    std::string text;
    MsgIcon icon;
    MsgButtons buttons;
    std::string title;
};

class FakeDialogs : public Dialogs {
public:
    // Answers given to message boxes, in order; when empty, Ok/Yes is answered.
    std::deque<MsgAnswer> answers;
    std::deque<std::optional<std::string>> fileAnswers;     // openFile, saveFile
    std::deque<std::optional<std::string>> folderAnswers;   // browseFolder
    std::deque<std::optional<std::string>> passwordAnswers; // askPassword
    std::vector<RecordedMessage> messages;
    std::vector<std::string> passwordPrompts;
    int eventsProcessed = 0;

    MsgAnswer message(const std::string& text, MsgIcon icon, MsgButtons buttons,
                      const std::string& title) override;
    std::optional<std::string> openFile(const std::string& title, const std::string& filter,
                                        const std::string& initialDir) override;
    std::optional<std::string> saveFile(const std::string& title, const std::string& filter,
                                        const std::string& initialPath) override;
    std::optional<std::string> browseFolder(const std::string& title, const std::string& initialDir) override;
    std::optional<std::string> askPassword(const std::string& prompt) override;
    void processEvents() override { ++eventsProcessed; }

    // Texts of all messages so far, for compact assertions.
    std::vector<std::string> texts() const;
};

} // namespace qob::test
