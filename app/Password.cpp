#include "app/Password.h"

#include "platform/registry/Profile.h"
#include "platform/registry/Store.h"
#include "show/Random.h"
#include "show/Windows1252.h"

#include <array>
#include <variant>

namespace showsaver {

namespace {

constexpr std::string_view kPasswordSection = "Password";
constexpr std::string_view kEncryptValue = "Encrypt";
constexpr std::string_view kDesktopKey = "Control Panel\\Desktop";
constexpr std::string_view kSwitchValue = "ScreenSaveUsePassword";

constexpr uint32_t kEncodingSeed = 5183;
constexpr std::size_t kLastPosition = 51;

} // namespace

// The encoded text is a 52-byte buffer: position 0 holds 'x', and positions
// 51 down to 1 are filled in that order. With n characters and k = 51 / n,
// each position that is a multiple of k takes the next password character
// (the first character at the highest such position) times 4, modulo 256,
// until the characters run out; every other position takes a filler,
// rand() % 94 + 32, from a generator seeded with 5183 for each call.
//
// A filler is drawn only for a position that gets a filler: positions that
// take a password character draw no random number. So a password of 51
// characters contains no filler at all, and the fillers of a shorter one are
// the generator's first outputs, in order from position 51 down.
//
// The text ends at its first zero byte, so a character of code 64, 128 or 192
// (times 4 is 0 modulo 256) cuts it there and the positions above it are lost.
std::string EncodePassword(std::string_view cp1252Password) {
    std::string_view password = cp1252Password.substr(0, kMaxPasswordLength);
    if (password.empty()) return {};

    CRand rand(kEncodingSeed);
    std::array<unsigned char, kLastPosition + 1> buffer{};
    buffer[0] = 'x';
    const std::size_t step = kLastPosition / password.size();
    std::size_t next = 0;
    for (std::size_t position = kLastPosition; position >= 1; --position) {
        if (position % step == 0 && next < password.size())
            buffer[position] = static_cast<unsigned char>(static_cast<unsigned char>(password[next++]) * 4u);
        else
            buffer[position] = static_cast<unsigned char>(rand.Next() % 94 + 32);
    }

    std::string encoded;
    for (unsigned char byte : buffer) {
        if (byte == 0) break;
        encoded.push_back(static_cast<char>(byte));
    }
    return encoded;
}

std::string EncodeTypedPassword(std::string_view utf8Password) {
    return Cp1252ToUtf8(EncodePassword(Utf8ToCp1252(utf8Password)));
}

std::string ReadStoredPassword(const registry::Profile& profile) {
    return profile.GetString(kPasswordSection, kEncryptValue, "");
}

bool WriteStoredPassword(registry::Profile& profile, std::string_view encodedUtf8) {
    return profile.WriteString(kPasswordSection, kEncryptValue, encodedUtf8);
}

uint32_t ReadPasswordSwitch(const registry::Store& store) {
    auto value = store.Get(registry::Hive::CurrentUser, kDesktopKey, kSwitchValue);
    if (!value) return 0;
    if (auto* number = std::get_if<uint32_t>(&*value)) return *number;
    // A text value read into four bytes: its characters, then its terminating
    // zero, little-endian. So "1" and also "0" read as nonzero.
    const std::string& text = std::get<std::string>(*value);
    uint32_t result = 0;
    for (std::size_t i = 0; i < 4 && i < text.size(); ++i)
        result |= static_cast<uint32_t>(static_cast<unsigned char>(text[i])) << (8 * i);
    return result;
}

} // namespace showsaver
