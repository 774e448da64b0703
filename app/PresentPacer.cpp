#include "app/PresentPacer.h"

#include "platform/ui/StartTrace.h"

#include <glib.h>

#include <algorithm>

namespace showsaver {

void PresentPacer::Schedule() {
    std::lock_guard lock(m_mutex);
    if (m_timer) return;
    auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(m_last + kInterval - std::chrono::steady_clock::now());
    auto delay = static_cast<unsigned>(std::clamp(wait, std::chrono::milliseconds(0), kInterval).count());
    m_timer = g_timeout_add(delay, OnTick, this);
}

void PresentPacer::Cancel() {
    std::lock_guard lock(m_mutex);
    if (m_timer) g_source_remove(m_timer);
    m_timer = 0;
}

int PresentPacer::OnTick(void* data) {
    auto* self = static_cast<PresentPacer*>(data);
    {
        std::lock_guard lock(self->m_mutex);
        self->m_timer = 0;
        self->m_last = std::chrono::steady_clock::now();
    }
    // Drawing that widens the dirty rectangle from here on schedules the
    // next present.
    self->m_present();
    ui::TraceStart("first present sent");
    return G_SOURCE_REMOVE;
}

} // namespace showsaver
