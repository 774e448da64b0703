#include "app/Password.h"
#include "app/PasswordDialogs.h"

#include <gtest/gtest.h>

namespace showsaver {
namespace {

const DialogMessage kNotCorrect{strings::kPasswordNotCorrect, ui::MessageIcon::Exclamation};
const DialogMessage kDoNotMatch{strings::kPasswordsDoNotMatch, ui::MessageIcon::Exclamation};
const DialogMessage kChanged{strings::kPasswordChanged, ui::MessageIcon::Information};

TEST(PasswordCheckDialog, AcceptsOnlyTheTypedTextThatEncodesToTheStoredOne) {
    PasswordCheckModel check(EncodeTypedPassword("Tiger\xC3\xA9"));
    auto right = check.OnOk("Tiger\xC3\xA9");
    EXPECT_TRUE(right.accept);
    EXPECT_FALSE(right.clearEntry);
    EXPECT_FALSE(right.message);

    for (const char* wrong : {"tiger\xC3\xA9", "Tiger", "Tiger\xC3\xA9 ", ""}) {
        auto reply = check.OnOk(wrong);
        EXPECT_FALSE(reply.accept) << wrong;
        EXPECT_TRUE(reply.clearEntry) << wrong;
        EXPECT_EQ(reply.message, kNotCorrect) << wrong;
    }
    // Staying open changes nothing: the right password still passes afterwards.
    EXPECT_TRUE(check.OnOk("Tiger\xC3\xA9").accept);
}

TEST(PasswordCheckDialog, ComparesTheStoredTextExactly) {
    // Passwords whose encodings agree are indistinguishable: the text ends at
    // the zero that '@' gives, before the first character.
    EXPECT_TRUE(PasswordCheckModel(EncodeTypedPassword("a@")).OnOk("b@").accept);
    // A stored text that is not an encoding at all never matches.
    EXPECT_FALSE(PasswordCheckModel("not an encoding").OnOk("not an encoding").accept);
    // Only the empty text encodes to the empty text.
    EXPECT_TRUE(PasswordCheckModel("").OnOk("").accept);
    EXPECT_FALSE(PasswordCheckModel("").OnOk("x").accept);
}

TEST(NewPasswordDialog, DifferingTextsStoreNothingAndStayOpen) {
    NewPasswordModel change;
    for (auto [password, confirm] : {std::pair{"secret", "Secret"}, {"secret", ""}, {"", "secret"}, {"abc", "abcd"}}) {
        auto reply = change.OnOk(password, confirm);
        EXPECT_FALSE(reply.accept) << password << " / " << confirm;
        EXPECT_FALSE(reply.store) << password << " / " << confirm;
        EXPECT_EQ(reply.message, kDoNotMatch);
    }
}

TEST(NewPasswordDialog, EqualTextsStoreTheEncodingAndClose) {
    NewPasswordModel change;
    auto reply = change.OnOk("secret", "secret");
    EXPECT_TRUE(reply.accept);
    ASSERT_TRUE(reply.store);
    EXPECT_EQ(*reply.store, EncodeTypedPassword("secret"));
    EXPECT_TRUE(PasswordCheckModel(*reply.store).OnOk("secret").accept);
    EXPECT_EQ(reply.message, kChanged);

    auto removed = change.OnOk("", "");
    EXPECT_TRUE(removed.accept);
    ASSERT_TRUE(removed.store);
    EXPECT_EQ(*removed.store, "");
    EXPECT_EQ(removed.message, kChanged);
}

} // namespace
} // namespace showsaver
