#pragma once
// The rules by which user input ends the screensaver, apart from any
// window system: the window feeds its input events in and posts a close
// request when a rule says so.

#include "app/ExitSettings.h"

#include <cstdint>

namespace showsaver {

// Virtual key codes of the keys the rules know by name.
enum VirtualKey : uint32_t {
    kKeyEnter = 13,
    kKeyEscape = 27,
    kKeySpace = 32,
    kKeyF4 = 115,
    kKeyF12 = 123,
};

// The key modes of a web link: 0 Enter, 1 F12, 2 Space, 3 any of the three.
bool IsLinkKey(int32_t keyMode, uint32_t virtualKey);

class ExitRules {
public:
    explicit ExitRules(ExitSettings settings) : m_settings(settings) {}

    // The first move only records the reference position; any later position
    // other than the reference counts as a move (there is no threshold).
    bool OnMouseMove(int32_t x, int32_t y);
    // Measures the next moves from here (after a refused password).
    void ResetReference(int32_t x, int32_t y) { m_referenceX = x, m_referenceY = y; }
    bool OnButtonDown() const { return m_settings.EndsOn(ExitInput::ButtonDown); }
    bool OnDoubleClick() const { return m_settings.EndsOn(ExitInput::DoubleClick); }
    // A key, with the armed link's key mode (-1: none). `storeLink` tells
    // the window to copy the link address into the exit address.
    struct KeyOutcome {
        bool close = false;
        bool storeLink = false;
    };
    KeyOutcome OnKeyDown(uint32_t virtualKey, int32_t linkKeyMode) const;
    // A key pressed with Alt (a system key); Alt+F4 never gets here.
    bool OnSystemKey() const { return m_settings.EndsOn(ExitInput::KeyDown); }

    const ExitSettings& Settings() const { return m_settings; }

private:
    ExitSettings m_settings;
    int32_t m_referenceX = -1;
    int32_t m_referenceY = -1;
};

} // namespace showsaver
