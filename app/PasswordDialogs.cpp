#include "app/PasswordDialogs.h"

#include "app/Password.h"
#include "platform/registry/Profile.h"
#include "platform/ui/UiLoop.h"

#include <gdk/gdkx.h>
#include <gtk/gtk.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

// The resource bundle compiled from resources/showsaver.gresource.xml.
extern "C" GResource* showsaver_resources_get_resource(void);

namespace showsaver {

namespace {

struct GErrorFree {
    void operator()(GError* error) const { g_error_free(error); }
};
using ErrorPtr = std::unique_ptr<GError, GErrorFree>;

// Opens the default display on first use. GTK keeps its own state once it
// is initialised, so later calls only ask it.
bool EnsureGtk() {
    ui::KeepGdkFromOpenGl();
    if (gtk_init_check(nullptr, nullptr)) return true;
    std::fprintf(stderr, "showsaver: cannot open the display for a dialog\n");
    return false;
}

// The X11 id of the window the window manager calls active, or 0.
unsigned long ActiveWindowId(GdkDisplay* display) {
    GdkWindow* root = gdk_screen_get_root_window(gdk_display_get_default_screen(display));
    GdkAtom type = GDK_NONE;
    int format = 0;
    int length = 0;
    guchar* data = nullptr;
    // Any type is taken: the window manager sets WINDOW, other tools may not.
    if (!gdk_property_get(root, gdk_atom_intern_static_string("_NET_ACTIVE_WINDOW"), GDK_NONE, 0, 1, FALSE, &type,
                          &format, &length, &data))
        return 0;
    std::unique_ptr<guchar, decltype(&g_free)> owner(data, &g_free);
    // Format-32 properties come as C longs, as Xlib hands them out.
    if (format != 32 || length < static_cast<int>(sizeof(long))) return 0;
    long id = 0;
    std::memcpy(&id, data, sizeof id);
    return static_cast<unsigned long>(id);
}

void ShowMessage(std::string_view caption, const DialogMessage& message) {
    ui::ShowMessageBox(caption, strings::Load(message.text), message.icon, ui::MessageButtons::Ok);
}

std::string EntryText(GtkWidget* entry) { return gtk_entry_get_text(GTK_ENTRY(entry)); }

// Return on a check box or radio button presses the default button, as in
// the dialogs of the system the screensaver comes from, instead of toggling
// the box. On push buttons and edits Return keeps its own meaning.
gboolean OnDialogKeyPress(GtkWidget* dialog, GdkEventKey* event, gpointer) {
    if (event->keyval != GDK_KEY_Return && event->keyval != GDK_KEY_KP_Enter && event->keyval != GDK_KEY_ISO_Enter)
        return FALSE;
    if ((event->state & gtk_accelerator_get_default_mod_mask()) != 0) return FALSE;
    GtkWidget* focus = gtk_window_get_focus(GTK_WINDOW(dialog));
    if (!focus || !GTK_IS_TOGGLE_BUTTON(focus)) return FALSE;
    return gtk_window_activate_default(GTK_WINDOW(dialog));
}

} // namespace

PasswordCheckModel::Reply PasswordCheckModel::OnOk(std::string_view typed) const {
    Reply reply;
    if (EncodeTypedPassword(typed) == m_stored) {
        reply.accept = true;
        return reply;
    }
    reply.clearEntry = true;
    reply.message = DialogMessage{strings::kPasswordNotCorrect, ui::MessageIcon::Exclamation};
    return reply;
}

NewPasswordModel::Reply NewPasswordModel::OnOk(std::string_view password, std::string_view confirm) const {
    Reply reply;
    if (password != confirm) {
        reply.message = DialogMessage{strings::kPasswordsDoNotMatch, ui::MessageIcon::Exclamation};
        return reply;
    }
    reply.accept = true;
    reply.store = EncodeTypedPassword(password);
    reply.message = DialogMessage{strings::kPasswordChanged, ui::MessageIcon::Information};
    return reply;
}

BuiltDialog::BuiltDialog(int dialogId, const DialogParent& parent) : m_id(dialogId) {
    if (!EnsureGtk()) return;
    std::string path = "/showsaver/dialogs/" + std::to_string(dialogId) + ".ui";
    gsize size = 0;
    GBytes* bytes = g_resource_lookup_data(showsaver_resources_get_resource(), path.c_str(),
                                           G_RESOURCE_LOOKUP_FLAGS_NONE, nullptr);
    if (!bytes) {
        std::fprintf(stderr, "showsaver: dialog %d has no template %s\n", dialogId, path.c_str());
        return;
    }
    auto* text = static_cast<const char*>(g_bytes_get_data(bytes, &size));
    m_builder = gtk_builder_new();
    GError* rawError = nullptr;
    bool built = gtk_builder_add_from_string(m_builder, text, size, &rawError);
    g_bytes_unref(bytes);
    ErrorPtr error(rawError);
    if (!built) {
        std::fprintf(stderr, "showsaver: dialog %d cannot be built: %s\n", dialogId, error->message);
        return;
    }
    GObject* dialog = gtk_builder_get_object(m_builder, std::to_string(dialogId).c_str());
    if (!dialog || !GTK_IS_DIALOG(dialog)) {
        std::fprintf(stderr, "showsaver: the template of dialog %d has no dialog %d\n", dialogId, dialogId);
        return;
    }
    m_dialog = GTK_WIDGET(dialog);
    g_signal_connect(m_dialog, "key-press-event", G_CALLBACK(OnDialogKeyPress), nullptr);
    SetParent(parent);
}

BuiltDialog::~BuiltDialog() {
    if (m_dialog) gtk_widget_destroy(m_dialog);
    if (m_builder) g_object_unref(m_builder);
    if (m_foreignParent) g_object_unref(m_foreignParent);
}

GtkWidget* BuiltDialog::Control(int controlId) const {
    GObject* control = m_builder ? gtk_builder_get_object(m_builder, std::to_string(controlId).c_str()) : nullptr;
    if (!control || !GTK_IS_WIDGET(control)) {
        std::fprintf(stderr, "showsaver: dialog %d has no control %d\n", m_id, controlId);
        return nullptr;
    }
    return GTK_WIDGET(control);
}

void BuiltDialog::SetParent(const DialogParent& parent) {
    unsigned long foreignId = parent.foreignId;
    GdkDisplay* display = gtk_widget_get_display(m_dialog);
    switch (parent.kind) {
    case DialogParent::Kind::NoParent: return;
    case DialogParent::Kind::Own:
        gtk_window_set_transient_for(GTK_WINDOW(m_dialog), parent.window);
        gtk_window_set_position(GTK_WINDOW(m_dialog), GTK_WIN_POS_CENTER_ON_PARENT);
        return;
    case DialogParent::Kind::ActiveWindow:
        if (!GDK_IS_X11_DISPLAY(display)) return;
        foreignId = ActiveWindowId(display);
        break;
    case DialogParent::Kind::Foreign: break;
    }
    if (foreignId == 0 || !GDK_IS_X11_DISPLAY(display)) return;
    // Another program's window: GTK cannot hold it as a GtkWindow, so the
    // dialog's own X11 window is made transient for it. A window that no
    // longer exists leaves the dialog without a parent.
    m_foreignParent = gdk_x11_window_foreign_new_for_display(display, foreignId);
    if (!m_foreignParent) return;
    gtk_widget_realize(m_dialog);
    gdk_window_set_transient_for(gtk_widget_get_window(m_dialog), m_foreignParent);
}

bool BuiltDialog::WaitForOk() { return gtk_dialog_run(GTK_DIALOG(m_dialog)) == GTK_RESPONSE_OK; }

bool RunPasswordCheckDialog(registry::Profile& profile, const DialogParent& parent, std::string_view caption) {
    PasswordCheckModel model(ReadStoredPassword(profile));
    BuiltDialog dialog(103, parent);
    GtkWidget* entry = dialog.IsValid() ? dialog.Control(1000) : nullptr;
    if (!entry) return false;
    while (dialog.WaitForOk()) {
        auto reply = model.OnOk(EntryText(entry));
        if (reply.accept) return true;
        if (reply.clearEntry) gtk_entry_set_text(GTK_ENTRY(entry), "");
        if (reply.message) ShowMessage(caption, *reply.message);
        gtk_widget_grab_focus(entry);
    }
    return false;
}

bool RunNewPasswordDialog(registry::Profile& profile, const DialogParent& parent, std::string_view caption) {
    NewPasswordModel model;
    BuiltDialog dialog(102, parent);
    GtkWidget* password = dialog.IsValid() ? dialog.Control(1002) : nullptr;
    GtkWidget* confirm = password ? dialog.Control(1001) : nullptr;
    if (!confirm) return false;
    while (dialog.WaitForOk()) {
        auto reply = model.OnOk(EntryText(password), EntryText(confirm));
        // A store that cannot be written has said so on stderr; the dialog
        // goes on as if it had been written.
        if (reply.store) WriteStoredPassword(profile, *reply.store);
        ShowMessage(caption, reply.message);
        if (reply.accept) return true;
    }
    return false;
}

bool RunPasswordRoad(registry::Profile& profile, const DialogParent& parent, std::string_view caption) {
    if (!ReadStoredPassword(profile).empty() && !RunPasswordCheckDialog(profile, parent, caption)) return false;
    return RunNewPasswordDialog(profile, parent, caption);
}

} // namespace showsaver
