#pragma once
// Every message box of the program goes through ShowMessageBox.
//
// With SHOWSAVER_MESSAGE_LOG=FILE set, each box appends one JSON line
// {"caption","text","icon","buttons"} to FILE and is answered at once with
// its default button, so scripted runs never hang on a dialog. Otherwise a
// box is a GTK dialog on the UI thread, above the fullscreen window; without
// a display it is a line on stderr.

#include <functional>
#include <optional>
#include <string>
#include <string_view>

typedef struct _GtkWidget GtkWidget;
typedef struct _GtkWindow GtkWindow;

namespace showsaver::sys { class Event; }

namespace showsaver::ui {

enum class MessageIcon { None, Stop, Exclamation, Information };
enum class MessageButtons { Ok, OkCancel };
enum class MessageAnswer { Ok, Cancel };

// Texts are UTF-8. A caller on another thread than the UI thread waits for
// the answer or for `stop`, whichever comes first (then the answer is Cancel).
MessageAnswer ShowMessageBox(std::string_view caption, std::string_view text,
                             MessageIcon icon = MessageIcon::None,
                             MessageButtons buttons = MessageButtons::Ok, const sys::Event* stop = nullptr);

// The answer that needs no dialog: with the journal set, or without a
// display (a line on stderr). Nothing when a dialog has to ask.
std::optional<MessageAnswer> AnswerWithoutDialog(std::string_view caption, std::string_view text, MessageIcon icon,
                                                 MessageButtons buttons);

// A box that does not block, for a window that keeps handling its own input
// while the box is up. On the UI thread: opens the dialog transient for
// `parent` and returns it; `answered` runs once, on the UI thread, when the
// user answers (Return and Escape included). Destroying the dialog without
// an answer calls nothing.
GtkWidget* OpenMessageBox(GtkWindow* parent, std::string_view caption, std::string_view text, MessageIcon icon,
                          MessageButtons buttons, std::function<void(MessageAnswer)> answered);

// Where the engine's parts send their messages. The application's sink shows
// a box captioned with the application's name; showpack and the tests
// collect them.
class MessageSink {
public:
    virtual ~MessageSink() = default;
    virtual MessageAnswer Show(std::string_view text, MessageIcon icon = MessageIcon::None,
                               MessageButtons buttons = MessageButtons::Ok) = 0;
};

class MessageBoxSink final : public MessageSink {
public:
    // `stop` (optional, borrowed) ends a wait for the answer early.
    explicit MessageBoxSink(std::string caption, const sys::Event* stop = nullptr)
        : m_caption(std::move(caption)), m_stop(stop) {}
    MessageAnswer Show(std::string_view text, MessageIcon icon, MessageButtons buttons) override {
        return ShowMessageBox(m_caption, text, icon, buttons, m_stop);
    }
    const std::string& Caption() const { return m_caption; }

private:
    std::string m_caption;
    const sys::Event* m_stop;
};

std::string_view IconName(MessageIcon icon);

} // namespace showsaver::ui
