#include "platform/ui/MessageBox.h"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
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

} // namespace

MessageAnswer ShowMessageBox(std::string_view caption, std::string_view text, MessageIcon icon,
                             MessageButtons buttons) {
    nlohmann::ordered_json entry = {
        {"caption", caption}, {"text", text}, {"icon", IconName(icon)}, {"buttons", ButtonsName(buttons)}};
    if (const char* journal = std::getenv("SHOWSAVER_MESSAGE_LOG"); journal && *journal)
        AppendJournalLine(journal, entry.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n");
    std::fprintf(stderr, "%.*s: %.*s\n", static_cast<int>(caption.size()), caption.data(),
                 static_cast<int>(text.size()), text.data());
    return MessageAnswer::Ok;
}

} // namespace showsaver::ui
