#include "forms/PasswordForm.h"

namespace qob {

void PasswordForm::setTyped(const std::string& text) {
    std::size_t chars = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        // A byte that does not continue a UTF-8 sequence starts a character.
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80 && chars++ == kPasswordMaxLength) {
            typed_ = text.substr(0, i);
            return;
        }
    }
    typed_ = text;
}

} // namespace qob
