#pragma once
// Colours as the show stores them (0x00BBGGRR) and as surfaces hold them
// (xRGB, 0x00RRGGBB in a native-endian 32-bit word, cairo's RGB24).

#include <cstdint>
#include <optional>
#include <string>

namespace showsaver::gfx {

// Same type as showsaver::ColorRef of the show model.
using ColorRef = uint32_t;   // 0x00BBGGRR

inline constexpr ColorRef kWindowColor = 0xFFFFFF;       // the system window colour: white
inline constexpr ColorRef kWindowTextColor = 0x000000;   // the system window-text colour: black

constexpr ColorRef Rgb(uint8_t r, uint8_t g, uint8_t b) {
    return ColorRef{r} | (ColorRef{g} << 8) | (ColorRef{b} << 16);
}
constexpr uint8_t RedOf(ColorRef c) { return static_cast<uint8_t>(c & 0xFF); }
constexpr uint8_t GreenOf(ColorRef c) { return static_cast<uint8_t>((c >> 8) & 0xFF); }
constexpr uint8_t BlueOf(ColorRef c) { return static_cast<uint8_t>((c >> 16) & 0xFF); }

// The high byte of a ColorRef (palette flags in GDI) is ignored; the unused
// high byte of an xRGB pixel is written as 0 and ignored when read.
constexpr uint32_t ToXrgb(ColorRef c) {
    return (uint32_t{RedOf(c)} << 16) | (uint32_t{GreenOf(c)} << 8) | BlueOf(c);
}
constexpr ColorRef ToColorRef(uint32_t xrgb) {
    return Rgb(static_cast<uint8_t>(xrgb >> 16), static_cast<uint8_t>(xrgb >> 8),
               static_cast<uint8_t>(xrgb));
}

// The desktop colour from the "Background" value of the user's colour
// settings ("R G B", three decimal numbers 0..255 separated by blanks).
// The caller reads the store; an absent or malformed value gives black.
ColorRef DesktopBackgroundColor(const std::optional<std::string>& registryValue);

} // namespace showsaver::gfx
