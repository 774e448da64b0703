#include "tools/showpack/FriendlyValues.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <vector>

namespace showsaver::showpack {

namespace {

// docs/EFFECTS.md lists the same names with what each effect looks like.
constexpr std::array<std::string_view, kEffectCount> kEffectNames = {
    "place", "tile", "stretch", "random",
    "fade-in", "dissolve-fine", "dissolve", "box-in", "box-out", "quarters-in", "quarters-out",
    "interlace-rows", "interlace-columns", "random-rows", "random-columns", "bands-across", "bands-down",
    "checker-across", "checker-down", "cells-columns", "cells-rows",
    "slide-from-top", "slide-from-bottom", "slide-from-right", "slide-from-left",
    "slide-from-top-right", "slide-from-bottom-right", "slide-from-top-left", "slide-from-bottom-left",
    "uncover-down", "uncover-up", "uncover-left", "uncover-right",
    "uncover-down-left", "uncover-up-left", "uncover-down-right", "uncover-up-right",
    "wipe-down", "wipe-up", "wipe-left", "wipe-right",
    "push-from-top", "push-from-bottom", "push-from-right", "push-from-left",
    "push-from-top-right", "push-from-bottom-right", "push-from-top-left", "push-from-bottom-left",
    "rows-to-middle", "rows-from-middle", "columns-to-middle", "columns-from-middle",
    "meet-from-top-bottom", "split-up-down", "meet-from-left-right", "split-left-right",
    "stairs-right-upper", "stairs-right-lower", "stairs-left-upper", "stairs-left-lower",
    "triangles-bottom-left", "band-down-diagonal", "triangles-bottom-right", "band-up-diagonal",
    "fade-out", "morph",
    "zigzag-columns", "zigzag-rows", "zigzag-columns-from-right", "zigzag-rows-from-bottom",
    "push-columns", "push-rows", "push-columns-from-right", "push-rows-from-bottom",
    "spiral-clockwise", "spiral-anticlockwise", "fans-top-left", "fans-bottom-left",
    "grid-grow", "grid-close", "grid-diagonal",
    "roll-right", "roll-left", "roll-down", "roll-up", "roll-to-middle-across", "roll-to-middle-down",
};

struct NamedColour {
    std::string_view name;
    uint32_t rgb;   // 0xRRGGBB
};
constexpr std::array<NamedColour, 16> kColours = {{
    {"black", 0x000000}, {"silver", 0xC0C0C0}, {"gray", 0x808080}, {"white", 0xFFFFFF},
    {"maroon", 0x800000}, {"red", 0xFF0000}, {"purple", 0x800080}, {"fuchsia", 0xFF00FF},
    {"green", 0x008000}, {"lime", 0x00FF00}, {"olive", 0x808000}, {"yellow", 0xFFFF00},
    {"navy", 0x000080}, {"blue", 0x0000FF}, {"teal", 0x008080}, {"aqua", 0x00FFFF},
}};
constexpr std::array<std::string_view, 16> kColourNames = {
    "black", "silver", "gray", "white", "maroon", "red", "purple", "fuchsia",
    "green", "lime", "olive", "yellow", "navy", "blue", "teal", "aqua",
};

uint32_t RgbToColorref(uint32_t rgb) { return ((rgb & 0xFF) << 16) | (rgb & 0xFF00) | ((rgb >> 16) & 0xFF); }

std::string Lower(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower;
}

size_t EditDistance(std::string_view a, std::string_view b) {
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

} // namespace

std::span<const std::string_view> EffectNames() { return kEffectNames; }

std::optional<int32_t> EffectByName(std::string_view name) {
    auto found = std::find(kEffectNames.begin(), kEffectNames.end(), Lower(name));
    if (found == kEffectNames.end()) return std::nullopt;
    return static_cast<int32_t>(found - kEffectNames.begin());
}

std::span<const std::string_view> ColourNames() { return kColourNames; }

std::optional<uint32_t> ColourByText(std::string_view text) {
    if (text.size() == 7 && text[0] == '#') {
        uint32_t rgb = 0;
        auto [end, ec] = std::from_chars(text.data() + 1, text.data() + 7, rgb, 16);
        if (ec != std::errc() || end != text.data() + 7) return std::nullopt;
        return RgbToColorref(rgb);
    }
    std::string lower = Lower(text);
    for (const auto& colour : kColours)
        if (colour.name == lower) return RgbToColorref(colour.rgb);
    return std::nullopt;
}

std::optional<std::string> ColourText(uint32_t colorref) {
    if (colorref > 0xFFFFFF) return std::nullopt;
    uint32_t rgb = RgbToColorref(colorref);   // the swap is its own inverse
    for (const auto& colour : kColours)
        if (colour.rgb == rgb) return std::string(colour.name);
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text = "#";
    for (int shift = 20; shift >= 0; shift -= 4) text += kDigits[(rgb >> shift) & 0xF];
    return text;
}

Result<int32_t> DurationByText(std::string_view text) {
    constexpr const char* kForm = "expected a duration such as \"1.5s\" or \"200ms\"";
    int64_t scale = 0;
    std::string_view number;
    if (text.size() > 2 && text.substr(text.size() - 2) == "ms") {
        number = text.substr(0, text.size() - 2), scale = 1;
    } else if (text.size() > 1 && text.back() == 's') {
        number = text.substr(0, text.size() - 1), scale = 1000;
    } else {
        return Error{kForm};
    }
    // Whole part and fraction in decimal, so that "0.1s" is exactly 100 ms.
    size_t point = number.find('.');
    std::string_view whole = number.substr(0, point);
    std::string_view fraction = point == std::string_view::npos ? std::string_view{} : number.substr(point + 1);
    auto digits = [](std::string_view part) {
        return std::all_of(part.begin(), part.end(), [](char c) { return c >= '0' && c <= '9'; });
    };
    if (whole.empty() || !digits(whole) || !digits(fraction) || (point != std::string_view::npos && fraction.empty()) ||
        whole.size() > 10)
        return Error{kForm};
    int64_t value = 0;
    std::from_chars(whole.data(), whole.data() + whole.size(), value);
    value *= scale;
    int64_t unit = scale;
    for (char c : fraction) {
        unit /= 10;
        if (unit == 0) {
            if (c != '0') return Error{"\"" + std::string(text) + "\" is not a whole number of milliseconds"};
            continue;
        }
        value += (c - '0') * unit;
    }
    if (value > INT32_MAX) return Error{"\"" + std::string(text) + "\" is longer than 2147483647 ms"};
    return static_cast<int32_t>(value);
}

std::optional<std::string> DurationText(int32_t milliseconds) {
    if (milliseconds < 0) return std::nullopt;
    if (milliseconds < 1000 || milliseconds % 100 != 0) return std::to_string(milliseconds) + "ms";
    std::string text = std::to_string(milliseconds / 1000);
    if (milliseconds % 1000 != 0) text += "." + std::to_string(milliseconds % 1000 / 100);
    return text + "s";
}

std::optional<std::string> Nearest(std::string_view word, std::span<const std::string> candidates) {
    std::string lower = Lower(word);
    size_t allowed = lower.size() <= 4 ? 1 : lower.size() <= 8 ? 2 : 3;
    std::optional<std::string> best;
    size_t bestDistance = allowed + 1;
    for (const auto& candidate : candidates) {
        size_t distance = EditDistance(lower, Lower(candidate));
        if (distance < bestDistance) bestDistance = distance, best = candidate;
    }
    return best;
}

std::string Suggestion(std::string_view word, std::span<const std::string> candidates) {
    auto nearest = Nearest(word, candidates);
    return nearest ? " (did you mean \"" + *nearest + "\"?)" : std::string();
}

} // namespace showsaver::showpack
