#include "settings/PasswordRule.h"

#include "platform/TextEncoding.h"

namespace qob {

std::optional<std::string> refusePassword(const std::string& password) {
    if (textenc::utf8Length(password) > kMaxPasswordChars) {
        return "The password is longer than " + std::to_string(kMaxPasswordChars) +
               " characters; the password prompt takes no more when the backup is opened.";
    }
    return std::nullopt;
}

} // namespace qob
