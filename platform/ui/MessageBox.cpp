#include "platform/ui/MessageBox.h"

#include "platform/ui/UiLoop.h"

#include <gtk/gtk.h>
#include <nlohmann/json.hpp>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <utility>
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

GtkWidget* NewDialog(GtkWindow* parent, const std::string& caption, const std::string& text, MessageIcon icon,
                     MessageButtons buttons, GtkDialogFlags flags) {
    GtkWidget* dialog = gtk_message_dialog_new(parent, flags, DialogType(icon),
                                               buttons == MessageButtons::OkCancel ? GTK_BUTTONS_OK_CANCEL
                                                                                   : GTK_BUTTONS_OK,
                                               "%s", text.c_str());
    gtk_window_set_title(GTK_WINDOW(dialog), caption.c_str());
    gtk_window_set_keep_above(GTK_WINDOW(dialog), TRUE);
    gtk_window_set_position(GTK_WINDOW(dialog), parent ? GTK_WIN_POS_CENTER_ON_PARENT : GTK_WIN_POS_CENTER);
    gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_OK);
    return dialog;
}

MessageAnswer AnswerOf(gint response) { return response == GTK_RESPONSE_OK ? MessageAnswer::Ok : MessageAnswer::Cancel; }

// Runs one modal dialog on the UI thread, kept above every other window
// (the fullscreen window included).
MessageAnswer RunDialog(const std::string& caption, const std::string& text, MessageIcon icon,
                        MessageButtons buttons) {
    GtkWidget* dialog = NewDialog(nullptr, caption, text, icon, buttons, GTK_DIALOG_MODAL);
    gint response = gtk_dialog_run(GTK_DIALOG(dialog));
    gtk_widget_destroy(dialog);
    return AnswerOf(response);
}

void PrintMessage(std::string_view caption, std::string_view text) {
    std::fprintf(stderr, "%.*s: %.*s\n", static_cast<int>(caption.size()), caption.data(),
                 static_cast<int>(text.size()), text.data());
}

struct PendingAnswer {
    std::function<void(MessageAnswer)> answered;
};

void OnResponse(GtkDialog*, gint response, gpointer data) {
    auto* pending = static_cast<PendingAnswer*>(data);
    // The first answer counts; the dialog's destruction frees the rest.
    if (auto answered = std::exchange(pending->answered, nullptr)) answered(AnswerOf(response));
}

} // namespace

std::optional<MessageAnswer> AnswerWithoutDialog(std::string_view caption, std::string_view text, MessageIcon icon,
                                                 MessageButtons buttons) {
    if (const char* journal = std::getenv("SHOWSAVER_MESSAGE_LOG"); journal && *journal) {
        nlohmann::ordered_json entry = {
            {"caption", caption}, {"text", text}, {"icon", IconName(icon)}, {"buttons", ButtonsName(buttons)}};
        AppendJournalLine(journal, entry.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n");
        PrintMessage(caption, text);
        return MessageAnswer::Ok;
    }
    if (!IsUiReady()) {
        PrintMessage(caption, text);
        return MessageAnswer::Ok;
    }
    return std::nullopt;
}

GtkWidget* OpenMessageBox(GtkWindow* parent, std::string_view caption, std::string_view text, MessageIcon icon,
                          MessageButtons buttons, std::function<void(MessageAnswer)> answered) {
    GtkWidget* dialog =
        NewDialog(parent, std::string(caption), std::string(text), icon, buttons, GtkDialogFlags{});
    auto* pending = new PendingAnswer{std::move(answered)};
    g_signal_connect_data(dialog, "response", G_CALLBACK(OnResponse), pending,
                          [](gpointer data, GClosure*) { delete static_cast<PendingAnswer*>(data); },
                          GConnectFlags{});
    gtk_widget_show_all(dialog);
    gtk_window_present(GTK_WINDOW(dialog));
    return dialog;
}

MessageAnswer ShowMessageBox(std::string_view caption, std::string_view text, MessageIcon icon,
                             MessageButtons buttons, const sys::Event* stop) {
    if (auto answer = AnswerWithoutDialog(caption, text, icon, buttons)) return *answer;
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
