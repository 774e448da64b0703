#pragma once
// Which item fields hold a colour, a duration or an effect number, by their
// path inside the item, and the friendlier key a description may use.

#include <string_view>

namespace showsaver::showpack {

enum class FieldMeaning { Plain, Colour, Duration, Effect };

inline FieldMeaning MeaningOf(std::string_view path) {
    if (path == "textColor" || path == "backgroundColor" || path == "color.color") return FieldMeaning::Colour;
    if (path == "duration" || path == "time") return FieldMeaning::Duration;   // pause; Flash time limit
    if (path == "placement.effectNumber") return FieldMeaning::Effect;
    return FieldMeaning::Plain;
}

// "effect" for "placement.effectNumber"; empty when the field has no other key.
inline std::string_view FriendlyKey(std::string_view path) {
    return path == "placement.effectNumber" ? "effect" : "";
}

} // namespace showsaver::showpack
