#include "tools/showpack/FriendlyDump.h"

#include "tools/showpack/FieldMeanings.h"
#include "tools/showpack/FriendlyValues.h"

namespace showsaver::showpack {

namespace {

using NameOf = std::function<std::optional<std::string>(int64_t)>;

Json FriendlyValue(const std::string& path, const Json& value) {
    switch (MeaningOf(path)) {
    case FieldMeaning::Colour:
        if (value.is_number_unsigned() && value.get<uint64_t>() <= UINT32_MAX)
            if (auto text = ColourText(value.get<uint32_t>())) return *text;
        break;
    case FieldMeaning::Duration:
        if (value.is_number_integer() && value.get<int64_t>() >= 0 && value.get<int64_t>() <= INT32_MAX)
            if (auto text = DurationText(value.get<int32_t>())) return *text;
        break;
    case FieldMeaning::Effect:
        if (value.is_number_integer() && value.get<int64_t>() >= 0 && value.get<int64_t>() < kEffectCount)
            return std::string(EffectNames()[static_cast<size_t>(value.get<int64_t>())]);
        break;
    case FieldMeaning::Plain: break;
    }
    return value;
}

void FriendlyFields(const Json& raw, const Json* defaults, const std::string& prefix, const NameOf& nameOf,
                    Json& out) {
    for (const auto& [key, value] : raw.items()) {
        if (defaults && defaults->is_object()) {
            auto fallback = defaults->find(key);
            if (fallback != defaults->end() && *fallback == value) continue;
        }
        std::string path = prefix + key;
        if (key == "file") {
            out[key] = value;
        } else if (value.is_object()) {
            Json inner = Json::object();
            const Json* innerDefaults = nullptr;
            if (defaults && defaults->is_object() && defaults->contains(key)) innerDefaults = &(*defaults)[key];
            FriendlyFields(value, innerDefaults, path + ".", nameOf, inner);
            if (!inner.empty()) out[key] = std::move(inner);
        } else if (prefix.empty() && (key == "picture" || key == "media") && value.is_number_integer()) {
            auto name = nameOf(value.get<int64_t>());
            out[key] = name ? Json(*name) : value;
        } else {
            std::string_view friendlyKey = FriendlyKey(path);
            out[friendlyKey.empty() ? key : std::string(friendlyKey)] = FriendlyValue(path, value);
        }
    }
}

} // namespace

Json FriendlyEntry(const Json& raw, const Json& defaults, const NameOf& nameOf) {
    Json out = Json::object();
    out["class"] = raw.at("class");
    out["name"] = raw.at("name");
    Json fields = Json::object();
    for (const auto& [key, value] : raw.items())
        if (key != "index" && key != "kind" && key != "class" && key != "name" && key != "users") fields[key] = value;
    Json fieldDefaults = defaults;
    fieldDefaults["tag"] = 0;
    fieldDefaults["disabled"] = 0;
    FriendlyFields(fields, &fieldDefaults, "", nameOf, out);
    return out;
}

} // namespace showsaver::showpack
