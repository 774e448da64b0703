#include "app/BackgroundLoad.h"

namespace showsaver {

namespace {

class CancelAll final : public ui::MessageSink {
public:
    ui::MessageAnswer Show(std::string_view, ui::MessageIcon, ui::MessageButtons) override {
        return ui::MessageAnswer::Cancel;
    }
};

} // namespace

BackgroundLoad::BackgroundLoad(std::function<bool(ui::MessageSink&)> work)
    : m_thread([this, work = std::move(work)] {
          bool result = work(m_relay);
          std::lock_guard lock(m_mutex);
          m_result = result;
          m_done = true;
          m_changed.notify_all();
      }) {}

BackgroundLoad::~BackgroundLoad() {
    if (m_finished) return;
    CancelAll cancel;
    Finish(cancel);
}

ui::MessageAnswer BackgroundLoad::Relay::Show(std::string_view text, ui::MessageIcon icon,
                                              ui::MessageButtons buttons) {
    std::unique_lock lock(m_owner.m_mutex);
    m_owner.m_question = Question{std::string(text), icon, buttons};
    m_owner.m_answer.reset();
    m_owner.m_changed.notify_all();
    m_owner.m_changed.wait(lock, [this] { return m_owner.m_answer.has_value(); });
    return *m_owner.m_answer;
}

bool BackgroundLoad::Finish(ui::MessageSink& messages) {
    m_finished = true;
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return m_done || m_question.has_value(); });
        if (!m_question) break;
        Question question = std::move(*m_question);
        m_question.reset();
        lock.unlock();
        ui::MessageAnswer answer = messages.Show(question.text, question.icon, question.buttons);
        lock.lock();
        m_answer = answer;
        m_changed.notify_all();
    }
    bool result = m_result;
    lock.unlock();
    m_thread.join();
    return result;
}

} // namespace showsaver
