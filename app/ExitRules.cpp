#include "app/ExitRules.h"

namespace showsaver {

bool IsLinkKey(int32_t keyMode, uint32_t key) {
    switch (keyMode) {
    case 0: return key == kKeyEnter;
    case 1: return key == kKeyF12;
    case 2: return key == kKeySpace;
    case 3: return key == kKeyEnter || key == kKeyF12 || key == kKeySpace;
    default: return false;
    }
}

bool ExitRules::OnMouseMove(int32_t x, int32_t y) {
    if (m_referenceX == -1 && m_referenceY == -1) {
        m_referenceX = x;
        m_referenceY = y;
        return false;
    }
    if (x == m_referenceX && y == m_referenceY) return false;
    return m_settings.EndsOn(ExitInput::MouseMove);
}

ExitRules::KeyOutcome ExitRules::OnKeyDown(uint32_t key, int32_t linkKeyMode) const {
    KeyOutcome outcome;
    outcome.storeLink = IsLinkKey(linkKeyMode, key);
    // Escape counts only when KeyDown did not already end the show.
    outcome.close = m_settings.EndsOn(ExitInput::KeyDown) ||
                    (key == kKeyEscape && m_settings.Input(ExitInput::Escape) == 1);
    return outcome;
}

} // namespace showsaver
