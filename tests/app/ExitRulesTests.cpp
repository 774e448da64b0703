#include "app/ExitRules.h"

#include <gtest/gtest.h>

namespace showsaver {
namespace {

ExitSettings Custom() {
    ExitSettings s;
    s.standard = 0;
    return s;
}

TEST(ExitRules, StandardEndsOnEveryInputButTheFirstMove) {
    ExitRules rules({});
    EXPECT_FALSE(rules.OnMouseMove(500, 400)) << "the first move sets the reference";
    EXPECT_FALSE(rules.OnMouseMove(500, 400));
    EXPECT_TRUE(rules.OnMouseMove(501, 400)) << "no threshold";
    EXPECT_TRUE(rules.OnButtonDown());
    EXPECT_TRUE(rules.OnDoubleClick());
    EXPECT_TRUE(rules.OnKeyDown('A', -1).close);
    EXPECT_TRUE(rules.OnSystemKey());
}

TEST(ExitRules, CustomDoubleClickOnly) {
    auto s = Custom();
    s.Input(ExitInput::DoubleClick) = 1;
    ExitRules rules(s);
    EXPECT_FALSE(rules.OnButtonDown());
    EXPECT_TRUE(rules.OnDoubleClick());
    rules.OnMouseMove(1, 1);
    EXPECT_FALSE(rules.OnMouseMove(100, 100));
    EXPECT_FALSE(rules.OnKeyDown(kKeyEscape, -1).close);
}

TEST(ExitRules, CustomEscapeOnly) {
    auto s = Custom();
    s.Input(ExitInput::Escape) = 1;
    ExitRules rules(s);
    EXPECT_TRUE(rules.OnKeyDown(kKeyEscape, -1).close);
    EXPECT_FALSE(rules.OnKeyDown(kKeyEnter, -1).close);
    EXPECT_FALSE(rules.OnKeyDown('Q', -1).close);
    EXPECT_FALSE(rules.OnSystemKey());
}

TEST(ExitRules, ReferenceMovesOnlyWhenReset) {
    auto s = Custom();
    s.Input(ExitInput::MouseMove) = 1;
    ExitRules rules(s);
    rules.OnMouseMove(10, 10);
    EXPECT_TRUE(rules.OnMouseMove(10, 11));
    rules.ResetReference(30, 30);
    EXPECT_FALSE(rules.OnMouseMove(30, 30));
    EXPECT_TRUE(rules.OnMouseMove(31, 30));
}

TEST(ExitRules, LinkKeysByMode) {
    ExitRules rules(Custom());
    EXPECT_TRUE(rules.OnKeyDown(kKeySpace, 2).storeLink);
    EXPECT_FALSE(rules.OnKeyDown(kKeyEnter, 2).storeLink);
    EXPECT_FALSE(rules.OnKeyDown(kKeyF12, 2).storeLink);
    EXPECT_TRUE(rules.OnKeyDown(kKeyF12, 1).storeLink);
    EXPECT_TRUE(rules.OnKeyDown(kKeyEnter, 0).storeLink);
    for (uint32_t key : {kKeyEnter, kKeyF12, kKeySpace}) EXPECT_TRUE(rules.OnKeyDown(key, 3).storeLink);
    EXPECT_FALSE(rules.OnKeyDown(kKeyEnter, -1).storeLink);
    // In custom mode without KeyDown the link is stored and the show goes on.
    auto outcome = rules.OnKeyDown(kKeyF12, 1);
    EXPECT_TRUE(outcome.storeLink);
    EXPECT_FALSE(outcome.close);
}

} // namespace
} // namespace showsaver
