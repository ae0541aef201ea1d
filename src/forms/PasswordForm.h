#pragma once
// The password prompt without its widgets (frmPwd): the typed text, held to 20 characters, and
// what OK and Cancel make of it. The caller keeps the current password: OK's text replaces it as
// typed (not trimmed, empty allowed), Cancel leaves the earlier one in force.
#include "settings/PasswordRule.h"

#include <cstddef>
#include <optional>
#include <string>

namespace qob {

inline constexpr char kPasswordCaption[] = "Please enter password";
inline constexpr char kPasswordFrame[] = "Security";
inline constexpr char kPasswordLabel[] = "Please enter password:";
inline constexpr std::size_t kPasswordMaxLength = kMaxPasswordChars;

class PasswordForm {
public:
    // txtPassword: keeps the first 20 characters (UTF-8 code points) of `text`.
    void setTyped(const std::string& text);
    const std::string& typed() const { return typed_; }

    // cmdOK (also Enter in the field): the answer is the text as typed.
    void okClick() { answer_ = typed_; }
    // cmdExit: no answer.
    void cancelClick() { answer_.reset(); }
    // What the prompt returns: the confirmed text, or nullopt when it was cancelled or not yet
    // confirmed.
    const std::optional<std::string>& answer() const { return answer_; }

private:
    std::string typed_;
    std::optional<std::string> answer_;
};

} // namespace qob
