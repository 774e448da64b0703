#pragma once
// Runs a piece of start-up work (reading the show) on a thread of its own
// while the UI thread does its own part (starting GTK, taking the desktop
// captures). The work's messages are not shown from its thread: each waits
// until the UI thread collects the result, which answers them one by one
// with its own sink, in the order they came, before it returns the result.

#include "platform/ui/MessageBox.h"

#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace showsaver {

class BackgroundLoad {
public:
    // Starts `work` at once; it reports through the sink it is given.
    explicit BackgroundLoad(std::function<bool(ui::MessageSink&)> work);
    // Collects the result if no one did, answering the messages with Cancel.
    ~BackgroundLoad();
    BackgroundLoad(const BackgroundLoad&) = delete;
    BackgroundLoad& operator=(const BackgroundLoad&) = delete;

    // Waits for the work's end, answering its messages with `messages` on
    // the calling thread meanwhile; the work's result. Once only.
    bool Finish(ui::MessageSink& messages);

private:
    // The sink the work sees: hands each message to Finish and waits.
    class Relay final : public ui::MessageSink {
    public:
        explicit Relay(BackgroundLoad& owner) : m_owner(owner) {}
        ui::MessageAnswer Show(std::string_view text, ui::MessageIcon icon, ui::MessageButtons buttons) override;

    private:
        BackgroundLoad& m_owner;
    };
    struct Question {
        std::string text;
        ui::MessageIcon icon;
        ui::MessageButtons buttons;
    };

    Relay m_relay{*this};
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::optional<Question> m_question;             // under m_mutex
    std::optional<ui::MessageAnswer> m_answer;      // under m_mutex
    bool m_done = false;                            // under m_mutex
    bool m_result = false;                          // under m_mutex
    bool m_finished = false;                        // Finish ran
    std::thread m_thread;
};

} // namespace showsaver
