#pragma once
// The words a person writes in a show description for the values a show
// stores as numbers: effects by name, colours as "#rrggbb" or one of the
// sixteen HTML basic colour names, durations as "1.5s" or "200ms". Each
// reading has its writing, so a dump reads back to the same number.

#include "platform/sys/Result.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace showsaver::showpack {

// Effect numbers 0 to 87: 0 at its position, 1 tiled, 2 stretched, 3 a
// random transition, 4 to 87 the transitions.
inline constexpr int kEffectCount = 88;
std::span<const std::string_view> EffectNames();
std::optional<int32_t> EffectByName(std::string_view name);

// A COLORREF (0x00BBGGRR) from "#rrggbb" or a basic colour name (any case).
std::optional<uint32_t> ColourByText(std::string_view text);
// The basic name when there is one, else "#rrggbb"; nothing for a value
// with its top byte set, which only a number can say.
std::optional<std::string> ColourText(uint32_t colorref);
std::span<const std::string_view> ColourNames();

// Milliseconds from "1.5s" or "200ms"; an error says what is wrong.
Result<int32_t> DurationByText(std::string_view text);
// "2s", "1.5s" or "250ms"; nothing for a negative value.
std::optional<std::string> DurationText(int32_t milliseconds);

// The candidate nearest to `word` by edit distance, when it is near enough
// to be a slip of the fingers.
std::optional<std::string> Nearest(std::string_view word, std::span<const std::string> candidates);

// " (did you mean "x"?)" or nothing.
std::string Suggestion(std::string_view word, std::span<const std::string> candidates);

} // namespace showsaver::showpack
