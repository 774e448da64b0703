#pragma once
// Every message box of the program goes through ShowMessageBox.
//
// With SHOWSAVER_MESSAGE_LOG=FILE set, each box appends one JSON line
// {"caption","text","icon","buttons"} to FILE and is answered at once with
// its default button, so scripted runs never hang on a dialog. Until the
// windowed shell provides a dialog, boxes are written to stderr.

#include <string>
#include <string_view>

namespace showsaver::ui {

enum class MessageIcon { None, Stop, Exclamation, Information };
enum class MessageButtons { Ok, OkCancel };
enum class MessageAnswer { Ok, Cancel };

// Texts are UTF-8.
MessageAnswer ShowMessageBox(std::string_view caption, std::string_view text,
                             MessageIcon icon = MessageIcon::None,
                             MessageButtons buttons = MessageButtons::Ok);

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
    explicit MessageBoxSink(std::string caption) : m_caption(std::move(caption)) {}
    MessageAnswer Show(std::string_view text, MessageIcon icon, MessageButtons buttons) override {
        return ShowMessageBox(m_caption, text, icon, buttons);
    }
    const std::string& Caption() const { return m_caption; }

private:
    std::string m_caption;
};

std::string_view IconName(MessageIcon icon);

} // namespace showsaver::ui
