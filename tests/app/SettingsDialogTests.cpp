#include "app/ExitSettings.h"
#include "app/SettingsDialog.h"
#include "platform/registry/Profile.h"
#include "platform/registry/Store.h"
#include "platform/sys/TempFiles.h"

#include <gtest/gtest.h>

namespace showsaver {
namespace {

ExitSettings Custom(std::initializer_list<ExitInput> on, int mute = 0) {
    ExitSettings settings;
    settings.standard = 0;
    for (ExitInput input : on) settings.Input(input) = 1;
    settings.mute = mute;
    return settings;
}

ExitSettings Standard(int mute = 0) {
    ExitSettings settings;
    settings.mute = mute;
    return settings;
}

class SettingsProfile : public testing::Test {
protected:
    std::string Section() const { return "Software\\Tarvanix\\Screen Saver\\demo\\Settings"; }

    sys::TempDirectory m_scratch{std::filesystem::path(testing::TempDir())};
    registry::Store m_store{m_scratch.Path() / "showsaver"};
    registry::Profile m_profile{m_store, "Tarvanix\\Screen Saver", "demo"};
};

TEST_F(SettingsProfile, NothingStoredReadsAsStandardWithSound) {
    ExitSettings settings = ExitSettings::Read(m_profile);
    EXPECT_EQ(settings, Standard());
    for (ExitInput input : kExitInputs) EXPECT_TRUE(settings.EndsOn(input));
    EXPECT_FALSE(settings.IsMuted());
}

TEST_F(SettingsProfile, WritesAllSevenValuesAsDwordsUnderTheirNames) {
    ASSERT_TRUE(Custom({ExitInput::ButtonDown, ExitInput::Escape}, 1).Write(m_profile));
    auto dword = [&](std::string_view name) { return m_store.GetDword(registry::Hive::CurrentUser, Section(), name); };
    EXPECT_EQ(dword("Standard"), 0u);
    EXPECT_EQ(dword("MouseMove"), 0u);
    EXPECT_EQ(dword("ButtonDown"), 1u);
    EXPECT_EQ(dword("DoubleClick"), 0u);
    EXPECT_EQ(dword("KeyDown"), 0u);
    EXPECT_EQ(dword("Escape"), 1u);
    EXPECT_EQ(dword("Mute"), 1u);
    EXPECT_EQ(ExitSettings::Read(m_profile), Custom({ExitInput::ButtonDown, ExitInput::Escape}, 1));
}

TEST(ExitSettings, OnlyAValueOfOneCountsWhileMuteCountsWhenNonzero) {
    ExitSettings settings = Custom({ExitInput::DoubleClick});
    settings.Input(ExitInput::KeyDown) = 2;
    settings.mute = 7;
    EXPECT_TRUE(settings.EndsOn(ExitInput::DoubleClick));
    EXPECT_FALSE(settings.EndsOn(ExitInput::ButtonDown));
    EXPECT_FALSE(settings.EndsOn(ExitInput::KeyDown));
    EXPECT_TRUE(settings.IsMuted());
    settings.standard = 2; // neither 1 nor 0: not standard
    EXPECT_FALSE(settings.IsStandard());
    EXPECT_FALSE(settings.EndsOn(ExitInput::MouseMove));
}

TEST(SettingsDialog, OpensOnTheStoredSettings) {
    SettingsDialogModel fresh(Standard());
    EXPECT_TRUE(fresh.IsStandardSelected());
    EXPECT_FALSE(fresh.AreExitBoxesEnabled());
    for (ExitInput input : kExitInputs) EXPECT_FALSE(fresh.IsExitBoxChecked(input));
    EXPECT_FALSE(fresh.IsMuteChecked());

    SettingsDialogModel custom(Custom({ExitInput::MouseMove, ExitInput::KeyDown}, 1));
    EXPECT_FALSE(custom.IsStandardSelected());
    EXPECT_TRUE(custom.AreExitBoxesEnabled());
    EXPECT_TRUE(custom.IsExitBoxChecked(ExitInput::MouseMove));
    EXPECT_FALSE(custom.IsExitBoxChecked(ExitInput::ButtonDown));
    EXPECT_TRUE(custom.IsExitBoxChecked(ExitInput::KeyDown));
    EXPECT_TRUE(custom.IsMuteChecked());

    // Hand-edited values: boxes show what the screensaver obeys.
    ExitSettings odd = Custom({ExitInput::Escape}, 5);
    odd.standard = 3;
    odd.Input(ExitInput::DoubleClick) = 2;
    SettingsDialogModel oddModel(odd);
    EXPECT_FALSE(oddModel.IsStandardSelected());
    EXPECT_FALSE(oddModel.IsExitBoxChecked(ExitInput::DoubleClick));
    EXPECT_TRUE(oddModel.IsExitBoxChecked(ExitInput::Escape));
    EXPECT_TRUE(oddModel.IsMuteChecked());

    // In standard mode the disabled boxes still show the stored values.
    ExitSettings standardWithValues = Standard();
    standardWithValues.Input(ExitInput::ButtonDown) = 1;
    EXPECT_TRUE(SettingsDialogModel(standardWithValues).IsExitBoxChecked(ExitInput::ButtonDown));
}

TEST(SettingsDialog, OkStoresTheCustomChoiceAndMute) {
    SettingsDialogModel model(Standard());
    model.OnRadio(false);
    model.SetExitBox(ExitInput::DoubleClick, true);
    model.SetExitBox(ExitInput::Escape, true);
    model.SetMute(true);
    EXPECT_EQ(model.OnOk(), Custom({ExitInput::DoubleClick, ExitInput::Escape}, 1));
}

TEST(SettingsDialog, CustomWithoutAnExitBoxFallsBackToStandard) {
    SettingsDialogModel model(Custom({ExitInput::MouseMove}));
    model.SetExitBox(ExitInput::MouseMove, false);
    model.SetMute(true);
    EXPECT_EQ(model.OnOk(), Standard(1));
    EXPECT_TRUE(model.IsStandardSelected());
}

TEST(SettingsDialog, StandardClearsEveryExitValue) {
    SettingsDialogModel model(Custom({ExitInput::MouseMove, ExitInput::ButtonDown, ExitInput::KeyDown}, 1));
    model.OnRadio(true);
    EXPECT_EQ(model.OnOk(), Standard(1)); // boxes still checked, values stored as 0; mute kept
}

TEST_F(SettingsProfile, SwitchingBackToCustomStartsWithEveryBoxUnchecked) {
    ASSERT_TRUE(Custom({ExitInput::KeyDown, ExitInput::Escape}).Write(m_profile));
    SettingsDialogModel toStandard(ExitSettings::Read(m_profile));
    toStandard.OnRadio(true);
    ASSERT_TRUE(toStandard.OnOk().Write(m_profile));

    SettingsDialogModel again(ExitSettings::Read(m_profile));
    EXPECT_TRUE(again.IsStandardSelected());
    again.OnRadio(false);
    for (ExitInput input : kExitInputs) EXPECT_FALSE(again.IsExitBoxChecked(input));
}

} // namespace
} // namespace showsaver
