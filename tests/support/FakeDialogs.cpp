#include "FakeDialogs.h"

namespace qob::test {

namespace {
std::optional<std::string> next(std::deque<std::optional<std::string>>& queue) {
    if (queue.empty()) {
        return std::nullopt;
    }
    auto answer = queue.front();
    queue.pop_front();
    return answer;
}
} // namespace

MsgAnswer FakeDialogs::message(const std::string& text, MsgIcon icon, MsgButtons buttons,
                               const std::string& title) {
    messages.push_back({text, icon, buttons, title});
    if (!answers.empty()) {
        MsgAnswer a = answers.front();
        answers.pop_front();
        return a;
    }
    return (buttons == MsgButtons::YesNo || buttons == MsgButtons::YesNoCancel) ? MsgAnswer::Yes
                                                                                : MsgAnswer::Ok;
}

std::optional<std::string> FakeDialogs::openFile(const std::string&, const std::string&, const std::string&) {
    return next(fileAnswers);
}

std::optional<std::string> FakeDialogs::saveFile(const std::string&, const std::string&, const std::string&) {
    return next(fileAnswers);
}

std::optional<std::string> FakeDialogs::browseFolder(const std::string&, const std::string&) {
    return next(folderAnswers);
}

std::optional<std::string> FakeDialogs::askPassword(const std::string& prompt) {
    passwordPrompts.push_back(prompt);
    return next(passwordAnswers);
}

std::vector<std::string> FakeDialogs::texts() const {
    std::vector<std::string> out;
    for (const auto& m : messages) {
        out.push_back(m.text);
    }
    return out;
}

} // namespace qob::test
