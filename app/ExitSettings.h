#pragma once
// The stored exit settings: which inputs end the screensaver, and whether it
// plays sound. They live in the profile section "Settings"; the settings
// dialog writes them and the screensaver window reads them.

#include "platform/sys/Result.h"

#include <array>
#include <cstddef>
#include <string_view>

namespace showsaver {

namespace registry { class Profile; }

// The inputs an exit setting can govern, in the order of their values.
enum class ExitInput { MouseMove, ButtonDown, DoubleClick, KeyDown, Escape };
inline constexpr std::size_t kExitInputCount = 5;
inline constexpr std::array<ExitInput, kExitInputCount> kExitInputs = {
    ExitInput::MouseMove, ExitInput::ButtonDown, ExitInput::DoubleClick, ExitInput::KeyDown, ExitInput::Escape};

// "MouseMove", "ButtonDown", "DoubleClick", "KeyDown" or "Escape".
std::string_view ExitValueName(ExitInput input);

// The values as stored, so that a hand-edited value other than 0 or 1 keeps
// its meaning: "Standard" and the inputs count only when exactly 1, "Mute"
// when nonzero.
struct ExitSettings {
    int standard = 1;
    std::array<int, kExitInputCount> inputs{};
    int mute = 0;

    // Reads section "Settings"; absent values take the defaults above.
    static ExitSettings Read(const registry::Profile& profile);
    // Writes all seven values as dwords: "Standard", the five inputs, "Mute",
    // in one atomic write of the settings file: all of them or none. The
    // error says why the file could not be written.
    Status<> Write(registry::Profile& profile) const;

    int& Input(ExitInput input) { return inputs[static_cast<std::size_t>(input)]; }
    int Input(ExitInput input) const { return inputs[static_cast<std::size_t>(input)]; }

    bool IsStandard() const { return standard == 1; }
    // Whether the input ends the screensaver: in standard mode every input
    // does, otherwise those whose value is 1. (The window asks about Escape
    // only when KeyDown did not already end it.)
    bool EndsOn(ExitInput input) const { return IsStandard() || Input(input) == 1; }
    bool IsMuted() const { return mute != 0; }

    bool operator==(const ExitSettings&) const = default;
};

} // namespace showsaver
