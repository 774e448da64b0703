#pragma once
// Text as scripts count it. From version 6 on a movie's strings are
// Unicode: kept as UTF-8 and counted, indexed and cut in UTF-16 units, as
// Flash Player does. Before, a string is bytes in the system's code page,
// each byte one character (taken as Latin-1).

#include <cstdint>
#include <string>
#include <string_view>

namespace showsaver::flash::script {

// A string's units, decoded once. A byte that starts no valid UTF-8
// sequence is one unit of its own value (Latin-1), as the player reads it.
inline std::u16string ToUnits(std::string_view s, bool unicode) {
    std::u16string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size();) {
        auto b = static_cast<unsigned char>(s[i]);
        if (!unicode || b < 0x80) {
            out.push_back(b), ++i;
            continue;
        }
        size_t n = b >= 0xF0 && b < 0xF5 ? 4 : b >= 0xE0 ? 3 : b >= 0xC2 && b < 0xE0 ? 2 : 0;
        uint32_t c = n == 4 ? b & 0x07u : n == 3 ? b & 0x0Fu : b & 0x1Fu;
        bool ok = n && i + n <= s.size();
        for (size_t k = 1; ok && k < n; ++k) {
            auto t = static_cast<unsigned char>(s[i + k]);
            ok = (t & 0xC0) == 0x80;
            c = c << 6 | (t & 0x3Fu);
        }
        if (ok && ((n == 3 && c < 0x800) || (n == 4 && (c < 0x10000 || c > 0x10FFFF)))) ok = false;
        if (!ok) {
            out.push_back(b), ++i;
            continue;
        }
        if (c >= 0x10000) {
            c -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 | (c >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 | (c & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(c));   // a lone surrogate comes back as it went
        }
        i += n;
    }
    return out;
}

// Units back to a string: UTF-8 (a surrogate pair as its character, a lone
// surrogate as its own three bytes), or one byte each before version 6.
inline std::string FromUnits(std::u16string_view u, bool unicode) {
    std::string out;
    out.reserve(u.size());
    for (size_t i = 0; i < u.size(); ++i) {
        uint32_t c = u[i];
        if (!unicode) {
            out.push_back(static_cast<char>(c & 0xFF));
            continue;
        }
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < u.size() && u[i + 1] >= 0xDC00 && u[i + 1] < 0xE000)
            c = 0x10000 + ((c - 0xD800) << 10) + (u[++i] - 0xDC00u);
        if (c == 0) continue;   // a script's string ends at a NUL
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (c >> 18)));
            out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

// How many units a string has; no copy for text that is all ASCII.
inline size_t UnitCount(std::string_view s, bool unicode) {
    if (!unicode) return s.size();
    for (unsigned char c : s)
        if (c >= 0x80) return ToUnits(s, true).size();
    return s.size();
}

} // namespace showsaver::flash::script
