#pragma once
// Show texts are Windows-1252 bytes. The model keeps those bytes; these
// conversions are used only where a text is shown, printed or typed.

#include <optional>
#include <string>
#include <string_view>

namespace showsaver {

// Every byte maps to one code point. The five bytes that Windows-1252 leaves
// undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the C1 controls of the same
// value, as Windows itself does, so any byte string round-trips.
char32_t Cp1252ToCodePoint(unsigned char byte);

// The byte for a code point, or nothing when Windows-1252 cannot hold it.
std::optional<unsigned char> CodePointToCp1252(char32_t codePoint);

std::string Cp1252ToUtf8(std::string_view cp1252);

// Converts UTF-8 to Windows-1252. Characters that have no byte (and invalid
// UTF-8 sequences) become `replacement`; `lossless` tells whether any did.
std::string Utf8ToCp1252(std::string_view utf8, char replacement = '?', bool* lossless = nullptr);

} // namespace showsaver
