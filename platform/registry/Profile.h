#pragma once

#include "platform/registry/Store.h"

#include <span>
#include <string>
#include <utility>
#include <string_view>

namespace showsaver::registry {

// The application profile: values under
// HKEY_CURRENT_USER\Software\<registry key>\<application name>\<section>.
// Reads fall back to the caller's default when the value is missing or of the wrong kind.
class Profile {
public:
    // `registryKey` is usually "<company>\\<product>", e.g. "Tarvanix\\Screen Saver".
    // The store must outlive the profile.
    Profile(Store& store, std::string registryKey, std::string applicationName);

    // A dword value (read as a signed int); a string value holding a decimal number also reads.
    int GetInt(std::string_view section, std::string_view entry, int defaultValue) const;
    std::string GetString(std::string_view section, std::string_view entry, std::string_view defaultValue) const;
    // Stored as a dword; negative numbers keep their two's complement bits.
    bool WriteInt(std::string_view section, std::string_view entry, int value);
    bool WriteString(std::string_view section, std::string_view entry, std::string_view value);
    // Writes several dwords of one section in one atomic write: all or none.
    using NamedInt = std::pair<std::string_view, int>;
    Status<> WriteInts(std::string_view section, std::span<const NamedInt> values);

    // "Software\\<registry key>\\<application name>\\<section>"
    std::string SectionKey(std::string_view section) const;

private:
    Store& m_store;
    std::string m_registryKey;
    std::string m_applicationName;
};

}
