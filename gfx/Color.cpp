#include "gfx/Color.h"

#include <array>
#include <cctype>
#include <string_view>

namespace showsaver::gfx {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Reads one decimal number 0..255 at `pos`, skipping blanks before it.
std::optional<uint8_t> ReadComponent(std::string_view text, size_t& pos) {
    while (pos < text.size() && IsBlank(text[pos])) ++pos;
    size_t start = pos;
    unsigned value = 0;
    while (pos < text.size() && std::isdigit(static_cast<unsigned char>(text[pos]))) {
        value = value * 10 + static_cast<unsigned>(text[pos] - '0');
        if (value > 255) return std::nullopt;
        ++pos;
    }
    if (pos == start) return std::nullopt;
    return static_cast<uint8_t>(value);
}

} // namespace

ColorRef DesktopBackgroundColor(const std::optional<std::string>& registryValue) {
    if (!registryValue) return 0;
    std::string_view text = *registryValue;
    size_t pos = 0;
    std::array<uint8_t, 3> rgb{};
    for (size_t i = 0; i < rgb.size(); ++i) {
        // Components are separated by at least one blank.
        if (i > 0 && (pos >= text.size() || !IsBlank(text[pos]))) return 0;
        auto component = ReadComponent(text, pos);
        if (!component) return 0;
        rgb[i] = *component;
    }
    while (pos < text.size() && IsBlank(text[pos])) ++pos;
    if (pos != text.size()) return 0;   // trailing garbage
    return Rgb(rgb[0], rgb[1], rgb[2]);
}

} // namespace showsaver::gfx
