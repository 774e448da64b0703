#pragma once
// The password dialogs: the check (dialog 103, "Password") asked when the
// screensaver closes and at the start of the password road, and the change
// (dialog 102, "New password") that stores a new password.
//
// Each dialog is a model that holds the logic and a GTK view built from the
// dialog's template in the resource bundle. The models need no display.
// This header also holds the pieces every dialog of the program shares: who
// the dialog belongs to, and the built dialog itself.

#include "platform/ui/MessageBox.h"
#include "resources/StringTable.h"

#include <optional>
#include <string>
#include <string_view>

typedef struct _GtkBuilder GtkBuilder;
typedef struct _GtkWidget GtkWidget;
typedef struct _GtkWindow GtkWindow;
typedef struct _GdkWindow GdkWindow;

namespace showsaver {

namespace registry { class Profile; }

// The window a dialog belongs to: nothing, one of our own GTK windows, a
// window of another program known by its X11 id (the control panel's, in
// modes c and a), or whichever window is active when the dialog opens.
struct DialogParent {
    enum class Kind { NoParent, Own, Foreign, ActiveWindow };

    Kind kind = Kind::NoParent;
    GtkWindow* window = nullptr;
    unsigned long foreignId = 0;

    DialogParent() = default;
    // Null means no parent.
    DialogParent(GtkWindow* own) : kind(own ? Kind::Own : Kind::NoParent), window(own) {}
    // An X11 window id; 0 means no parent.
    static DialogParent Foreign(unsigned long id) {
        DialogParent parent;
        parent.kind = id ? Kind::Foreign : Kind::NoParent;
        parent.foreignId = id;
        return parent;
    }
    // The window named by the root window's _NET_ACTIVE_WINDOW when the dialog
    // opens; no parent when there is none.
    static DialogParent Active() {
        DialogParent parent;
        parent.kind = Kind::ActiveWindow;
        return parent;
    }
};

// A message a dialog shows in a message box captioned with the application's name.
struct DialogMessage {
    strings::Id text;
    ui::MessageIcon icon;
    bool operator==(const DialogMessage&) const = default;
};

// Dialog 103: accepts only the password whose encoding is the stored text.
class PasswordCheckModel {
public:
    struct Reply {
        bool accept = false;                  // close the dialog with OK
        bool clearEntry = false;              // empty the edit and give it the focus again
        std::optional<DialogMessage> message; // shown before staying open
    };

    // `storedEncoded` is the profile's text (UTF-8).
    explicit PasswordCheckModel(std::string storedEncoded) : m_stored(std::move(storedEncoded)) {}

    // OK with the typed text (UTF-8). A wrong password empties the edit,
    // shows 33000 with the exclamation icon and keeps the dialog open.
    Reply OnOk(std::string_view typed) const;

private:
    std::string m_stored;
};

// Dialog 102: stores a password typed twice alike.
class NewPasswordModel {
public:
    struct Reply {
        bool accept = false;              // close the dialog with OK
        std::optional<std::string> store; // the encoded text to write as "Encrypt" (UTF-8)
        DialogMessage message;            // shown after storing, before closing or staying open
    };

    // OK with both typed texts (UTF-8). Differing texts show 33001 and keep
    // the dialog open; equal ones are stored (an empty one as an empty text,
    // which removes the password), then 33002 is shown and the dialog closes.
    Reply OnOk(std::string_view password, std::string_view confirm) const;
};

// The entry points. Each runs its dialog modally on the calling thread (the
// GTK thread), initialising GTK on first use; `caption` is the caption of
// the message boxes, the application's name. When there is no display or a
// template cannot be built, the dialog counts as cancelled and says why on
// stderr.

// The check. True when the typed password matched the stored one.
bool RunPasswordCheckDialog(registry::Profile& profile, const DialogParent& parent, std::string_view caption);
// The change. True when a new password (possibly empty) was stored.
bool RunNewPasswordDialog(registry::Profile& profile, const DialogParent& parent, std::string_view caption);
// Run mode a: when a password is stored, the check first, and the change
// only when the check ended with OK; otherwise the change alone. True when
// a new password was stored.
bool RunPasswordRoad(registry::Profile& profile, const DialogParent& parent, std::string_view caption);

// A dialog built from its template: "/showsaver/dialogs/<id>.ui" in the
// resource bundle, whose top-level object is the dialog, named by its id,
// and whose controls are named by their control ids. Destroyed with the
// object.
class BuiltDialog {
public:
    BuiltDialog(int dialogId, const DialogParent& parent);
    ~BuiltDialog();
    BuiltDialog(const BuiltDialog&) = delete;
    BuiltDialog& operator=(const BuiltDialog&) = delete;

    // False (with a line on stderr) when there is no display or the template
    // is missing or broken.
    bool IsValid() const { return m_dialog != nullptr; }
    // The control; null (with a line on stderr) when the template lacks it.
    GtkWidget* Control(int controlId) const;
    // Shows the dialog, if hidden, and waits for a button or Escape; true
    // for OK, false for Cancel, Escape or the window's close button.
    bool WaitForOk();

private:
    void SetParent(const DialogParent& parent);

    int m_id;
    GtkBuilder* m_builder = nullptr;
    GtkWidget* m_dialog = nullptr;
    GdkWindow* m_foreignParent = nullptr; // a foreign parent, referenced while the dialog lives
};

} // namespace showsaver
