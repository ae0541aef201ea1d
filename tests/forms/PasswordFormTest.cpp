#include "forms/PasswordForm.h"

#include <gtest/gtest.h>

namespace qob {
namespace {

TEST(PasswordForm, KeepsTwentyCharactersAsTyped) {
    struct Case {
        std::string typed;
        std::string kept;
    };
    const std::string twenty = "abcdefghij0123456789";
    const std::string umlauts20 = "äöüäöüäöüäöüäöüäöüäö"; // 20 characters, 40 bytes
    for (const Case& c : {Case{"", ""}, Case{"  s3cret  ", "  s3cret  "}, Case{twenty, twenty},
                          Case{twenty + "X", twenty}, Case{umlauts20 + "ß", umlauts20}}) {
        SCOPED_TRACE(c.typed);
        PasswordForm form;
        form.setTyped(c.typed);
        EXPECT_EQ(form.typed(), c.kept);
        form.okClick();
        EXPECT_EQ(form.answer(), std::optional<std::string>(c.kept));
    }
}

TEST(PasswordForm, CancelGivesNoAnswer) {
    PasswordForm form;
    EXPECT_EQ(form.answer(), std::nullopt);
    form.setTyped("typed then cancelled");
    form.cancelClick();
    EXPECT_EQ(form.answer(), std::nullopt);
}

} // namespace
} // namespace qob
