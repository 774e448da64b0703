#pragma once
// The screensaver password: how a typed password is encoded, where the
// encoded text is kept, and the system switch that makes closing the
// screensaver ask for it.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace showsaver {

namespace registry { class Profile; class Store; }

// The password edits take at most this many characters, and only this many
// count when encoding.
inline constexpr std::size_t kMaxPasswordLength = 51;

// Encodes a Windows-1252 password into the Windows-1252 text kept in the
// profile. The same password always gives the same text, so existing
// installations keep their passwords. An empty password gives an empty text;
// characters after the 51st are ignored.
std::string EncodePassword(std::string_view cp1252Password);

// The encoding of a password as typed (UTF-8), in the UTF-8 form the profile
// holds. Characters that Windows-1252 lacks count as '?'.
std::string EncodeTypedPassword(std::string_view utf8Password);

// The stored encoded password (UTF-8); empty when none is set.
std::string ReadStoredPassword(const registry::Profile& profile);
// Stores an encoded password as EncodeTypedPassword gives it; an empty text
// removes the protection. False when the store cannot be written.
bool WriteStoredPassword(registry::Profile& profile, std::string_view encodedUtf8);

// "ScreenSaveUsePassword" of HKEY_CURRENT_USER\Control Panel\Desktop as a
// 4-byte integer: a dword as it is, a text by its first four bytes (its
// terminating zero included), 0 when absent. Nonzero means closing the
// screensaver asks for the stored password.
uint32_t ReadPasswordSwitch(const registry::Store& store);

} // namespace showsaver
