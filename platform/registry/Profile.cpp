#include "platform/registry/Profile.h"

#include <vector>

#include <charconv>
#include <optional>

namespace showsaver::registry {

namespace {

// A whole decimal number, optionally signed and padded with spaces; nothing otherwise
// (including numbers that do not fit an int).
std::optional<int> ParseDecimal(std::string_view text)
{
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ')
        text.remove_suffix(1);
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    int number = 0;
    auto [end, status] = std::from_chars(text.data(), text.data() + text.size(), number, 10);
    if (text.empty() || status != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return number;
}

}

Profile::Profile(Store& store, std::string registryKey, std::string applicationName)
    : m_store(store)
    , m_registryKey(std::move(registryKey))
    , m_applicationName(std::move(applicationName))
{
}

std::string Profile::SectionKey(std::string_view section) const
{
    std::string key = "Software";
    for (std::string_view part : { std::string_view(m_registryKey), std::string_view(m_applicationName), section }) {
        if (!part.empty()) {
            key += '\\';
            key += part;
        }
    }
    return key;
}

int Profile::GetInt(std::string_view section, std::string_view entry, int defaultValue) const
{
    auto value = m_store.Get(Hive::CurrentUser, SectionKey(section), entry);
    if (!value)
        return defaultValue;
    if (auto* number = std::get_if<uint32_t>(&*value))
        return static_cast<int>(*number);
    return ParseDecimal(std::get<std::string>(*value)).value_or(defaultValue);
}

std::string Profile::GetString(std::string_view section, std::string_view entry, std::string_view defaultValue) const
{
    auto text = m_store.GetString(Hive::CurrentUser, SectionKey(section), entry);
    return text ? std::move(*text) : std::string(defaultValue);
}

bool Profile::WriteInt(std::string_view section, std::string_view entry, int value)
{
    return m_store.Set(Hive::CurrentUser, SectionKey(section), entry, static_cast<uint32_t>(value));
}

Status<> Profile::WriteInts(std::string_view section, std::span<const NamedInt> values)
{
    std::vector<Store::NamedValue> stored;
    stored.reserve(values.size());
    for (const auto& [entry, value] : values)
        stored.emplace_back(entry, static_cast<uint32_t>(value));
    return m_store.SetValues(Hive::CurrentUser, SectionKey(section), stored);
}

bool Profile::WriteString(std::string_view section, std::string_view entry, std::string_view value)
{
    return m_store.Set(Hive::CurrentUser, SectionKey(section), entry, std::string(value));
}

}
