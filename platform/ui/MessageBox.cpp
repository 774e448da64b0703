#include "platform/ui/MessageBox.h"

#include "platform/ui/UiLoop.h"

#include <gtk/gtk.h>
#include <nlohmann/json.hpp>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

namespace showsaver::ui {

std::string_view IconName(MessageIcon icon) {
    switch (icon) {
    case MessageIcon::Stop: return "stop";
    case MessageIcon::Exclamation: return "exclamation";
    case MessageIcon::Information: return "information";
    case MessageIcon::None: break;
    }
    return "none";
}

namespace {

std::string_view ButtonsName(MessageButtons buttons) {
    return buttons == MessageButtons::OkCancel ? "okcancel" : "ok";
}

// One write of one whole line with O_APPEND, so lines of concurrent
// processes never interleave.
void AppendJournalLine(const char* path, const std::string& line) {
    int fd = ::open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return;
    [[maybe_unused]] ssize_t written = ::write(fd, line.data(), line.size());
    ::close(fd);
}

GtkMessageType DialogType(MessageIcon icon) {
    switch (icon) {
    case MessageIcon::Stop: return GTK_MESSAGE_ERROR;
    case MessageIcon::Exclamation: return GTK_MESSAGE_WARNING;
    case MessageIcon::Information: return GTK_MESSAGE_INFO;
    case MessageIcon::None: break;
    }
    return GTK_MESSAGE_OTHER;
}

// Runs one modal dialog on the UI thread, kept above every other window
// (the fullscreen window included).
MessageAnswer RunDialog(const std::string& caption, const std::string& text, MessageIcon icon,
                        MessageButtons buttons) {
    GtkWidget* dialog = gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, DialogType(icon),
                                               buttons == MessageButtons::OkCancel ? GTK_BUTTONS_OK_CANCEL
                                                                                   : GTK_BUTTONS_OK,
                                               "%s", text.c_str());
    gtk_window_set_title(GTK_WINDOW(dialog), caption.c_str());
    gtk_window_set_keep_above(GTK_WINDOW(dialog), TRUE);
    gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER);
    gint response = gtk_dialog_run(GTK_DIALOG(dialog));
    gtk_widget_destroy(dialog);
    return response == GTK_RESPONSE_OK ? MessageAnswer::Ok : MessageAnswer::Cancel;
}

} // namespace

MessageAnswer ShowMessageBox(std::string_view caption, std::string_view text, MessageIcon icon,
                             MessageButtons buttons, const sys::Event* stop) {
    if (const char* journal = std::getenv("SHOWSAVER_MESSAGE_LOG"); journal && *journal) {
        nlohmann::ordered_json entry = {
            {"caption", caption}, {"text", text}, {"icon", IconName(icon)}, {"buttons", ButtonsName(buttons)}};
        AppendJournalLine(journal, entry.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n");
        std::fprintf(stderr, "%.*s: %.*s\n", static_cast<int>(caption.size()), caption.data(),
                     static_cast<int>(text.size()), text.data());
        return MessageAnswer::Ok;
    }
    if (!IsUiReady()) {
        std::fprintf(stderr, "%.*s: %.*s\n", static_cast<int>(caption.size()), caption.data(),
                     static_cast<int>(text.size()), text.data());
        return MessageAnswer::Ok;
    }
    // The call owns copies of everything, since a stopped caller stops waiting.
    auto answer = std::make_shared<std::atomic<MessageAnswer>>(MessageAnswer::Cancel);
    bool answered = CallOnUiThread(
        [answer, caption = std::string(caption), text = std::string(text), icon, buttons] {
            answer->store(RunDialog(caption, text, icon, buttons));
        },
        stop);
    return answered ? answer->load() : MessageAnswer::Cancel;
}

} // namespace showsaver::ui
