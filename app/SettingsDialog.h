#pragma once
// The settings dialog (dialog 133, "Settings"): standard or custom exit
// settings, the five exit inputs of the custom setting, and mute. A model
// holds the logic; the GTK view is built from the dialog's template.

#include "app/ExitSettings.h"
#include "app/PasswordDialogs.h"

namespace showsaver {

namespace registry { class Profile; }

class SettingsDialogModel {
public:
    // Opens on the stored settings: the standard radio when "Standard" is 1,
    // otherwise the custom one; each exit box checked when its value is 1
    // (exactly what the screensaver obeys), the mute box when "Mute" is
    // nonzero. The exit boxes show their values even while disabled.
    explicit SettingsDialogModel(const ExitSettings& stored);

    bool IsStandardSelected() const { return m_standard; }
    // The five exit boxes are enabled only while the custom radio is selected.
    bool AreExitBoxesEnabled() const { return !m_standard; }
    bool IsExitBoxChecked(ExitInput input) const { return m_exitBoxes[static_cast<std::size_t>(input)]; }
    bool IsMuteChecked() const { return m_mute; }

    // A click on radio 1013 (standard) or 1014 (custom).
    void OnRadio(bool standard) { m_standard = standard; }
    // The boxes as the user left them.
    void SetExitBox(ExitInput input, bool checked) { m_exitBoxes[static_cast<std::size_t>(input)] = checked; }
    void SetMute(bool checked) { m_mute = checked; }

    // OK: what to store. A custom setting with no exit box checked falls back
    // to the standard one (and the model selects the standard radio); the
    // standard setting stores all five exit values as 0. Mute is stored in
    // both.
    ExitSettings OnOk();

private:
    bool m_standard;
    std::array<bool, kExitInputCount> m_exitBoxes{};
    bool m_mute;
};

// Runs the dialog modally on the calling thread (the GTK thread), reading
// the settings from `profile` and writing them there on OK; Cancel, Escape
// and closing the window write nothing. True when the dialog ended with OK.
// When the settings cannot be written, a box captioned `caption` says why
// and the dialog stays open.
// When there is no display or the template cannot be built, the dialog
// counts as cancelled and says why on stderr.
bool RunSettingsDialog(registry::Profile& profile, const DialogParent& parent,
                       std::string_view caption = "showsaver");

} // namespace showsaver
