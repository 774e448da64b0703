#include "app/SettingsDialog.h"

#include "platform/ui/MessageBox.h"

#include <gtk/gtk.h>

#include <algorithm>

namespace showsaver {

namespace {

constexpr int kDialogId = 133;
constexpr int kStandardRadio = 1013;
constexpr int kCustomRadio = 1014;
constexpr int kMuteBox = 1004;

// Exit box 1006 belongs to value 33008 and so on: control = string id - 32002.
int ExitBoxId(ExitInput input) { return 1006 + static_cast<int>(input); }

struct SettingsView {
    GtkWidget* standard = nullptr;
    GtkWidget* custom = nullptr;
    std::array<GtkWidget*, kExitInputCount> exitBoxes{};
    GtkWidget* mute = nullptr;

    bool Find(const BuiltDialog& dialog) {
        standard = dialog.Control(kStandardRadio);
        custom = dialog.Control(kCustomRadio);
        mute = dialog.Control(kMuteBox);
        for (ExitInput input : kExitInputs)
            exitBoxes[static_cast<std::size_t>(input)] = dialog.Control(ExitBoxId(input));
        return standard && custom && mute && std::all_of(exitBoxes.begin(), exitBoxes.end(), [](auto* box) { return box; });
    }

    void EnableExitBoxes(bool enabled) {
        for (GtkWidget* box : exitBoxes) gtk_widget_set_sensitive(box, enabled);
    }
};

bool IsActive(GtkWidget* toggle) { return gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(toggle)); }
void SetActive(GtkWidget* toggle, bool active) { gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(toggle), active); }

struct RadioContext {
    SettingsDialogModel* model;
    SettingsView* view;
};

// Both radios report here; only the one that became selected counts.
void OnRadioToggled(GtkToggleButton* radio, gpointer data) {
    auto* context = static_cast<RadioContext*>(data);
    if (!gtk_toggle_button_get_active(radio)) return;
    context->model->OnRadio(GTK_WIDGET(radio) == context->view->standard);
    context->view->EnableExitBoxes(context->model->AreExitBoxesEnabled());
}

} // namespace

SettingsDialogModel::SettingsDialogModel(const ExitSettings& stored)
    : m_standard(stored.IsStandard()), m_mute(stored.IsMuted()) {
    for (ExitInput input : kExitInputs) SetExitBox(input, stored.Input(input) == 1);
}

ExitSettings SettingsDialogModel::OnOk() {
    if (std::none_of(m_exitBoxes.begin(), m_exitBoxes.end(), [](bool checked) { return checked; }))
        m_standard = true;
    ExitSettings result;
    result.standard = m_standard ? 1 : 0;
    for (ExitInput input : kExitInputs) result.Input(input) = !m_standard && IsExitBoxChecked(input) ? 1 : 0;
    result.mute = m_mute ? 1 : 0;
    return result;
}

bool RunSettingsDialog(registry::Profile& profile, const DialogParent& parent, std::string_view caption) {
    SettingsDialogModel model(ExitSettings::Read(profile));
    SettingsView view;
    // The radio handlers reach the model and the view through `context`,
    // which outlives the dialog and its handlers.
    RadioContext context{&model, &view};
    BuiltDialog dialog(kDialogId, parent);
    if (!dialog.IsValid() || !view.Find(dialog)) return false;

    SetActive(model.IsStandardSelected() ? view.standard : view.custom, true);
    view.EnableExitBoxes(model.AreExitBoxesEnabled());
    for (ExitInput input : kExitInputs)
        SetActive(view.exitBoxes[static_cast<std::size_t>(input)], model.IsExitBoxChecked(input));
    SetActive(view.mute, model.IsMuteChecked());

    // Connected after the opening state is set, so only the user's clicks count.
    g_signal_connect(view.standard, "toggled", G_CALLBACK(OnRadioToggled), &context);
    g_signal_connect(view.custom, "toggled", G_CALLBACK(OnRadioToggled), &context);

    while (dialog.WaitForOk()) {
        for (ExitInput input : kExitInputs)
            model.SetExitBox(input, IsActive(view.exitBoxes[static_cast<std::size_t>(input)]));
        model.SetMute(IsActive(view.mute));
        auto written = model.OnOk().Write(profile);
        if (written) return true;
        // Nothing was stored: the user hears why, and the dialog stays open to
        // try again or cancel.
        ui::ShowMessageBox(caption, "The settings cannot be saved.\n" + written.Error().what, ui::MessageIcon::Stop);
    }
    return false;
}

} // namespace showsaver
