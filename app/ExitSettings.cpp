#include "app/ExitSettings.h"

#include "platform/registry/Profile.h"
#include "resources/StringTable.h"

namespace showsaver {

namespace {

strings::Id ValueId(ExitInput input) {
    switch (input) {
    case ExitInput::MouseMove: return strings::kSettingMouseMove;
    case ExitInput::ButtonDown: return strings::kSettingButtonDown;
    case ExitInput::DoubleClick: return strings::kSettingDoubleClick;
    case ExitInput::KeyDown: return strings::kSettingKeyDown;
    case ExitInput::Escape: return strings::kSettingEscape;
    }
    return strings::kSettingMouseMove;
}

std::string_view Section() { return strings::Load(strings::kSettingsSection); }

} // namespace

std::string_view ExitValueName(ExitInput input) { return strings::Load(ValueId(input)); }

ExitSettings ExitSettings::Read(const registry::Profile& profile) {
    ExitSettings settings;
    settings.standard = profile.GetInt(Section(), strings::Load(strings::kSettingStandard), 1);
    for (ExitInput input : kExitInputs) settings.Input(input) = profile.GetInt(Section(), ExitValueName(input), 0);
    settings.mute = profile.GetInt(Section(), strings::Load(strings::kSettingMute), 0);
    return settings;
}

Status<> ExitSettings::Write(registry::Profile& profile) const {
    std::array<registry::Profile::NamedInt, kExitInputCount + 2> values;
    values[0] = {strings::Load(strings::kSettingStandard), standard};
    for (ExitInput input : kExitInputs)
        values[1 + static_cast<std::size_t>(input)] = {ExitValueName(input), Input(input)};
    values.back() = {strings::Load(strings::kSettingMute), mute};
    return profile.WriteInts(Section(), values);
}

} // namespace showsaver
