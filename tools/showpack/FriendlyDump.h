#pragma once
// The friendly form of a dumped item: what a person would write in a
// description. Fields at their defaults are left out, colours, durations and
// effects are words, and references name their item when its name is its
// own among the items of its kind. It builds back to the same record.

#include "tools/showpack/JsonFields.h"

#include <functional>
#include <optional>
#include <string>

namespace showsaver::showpack {

// `raw` is the item as `dump --json --raw` writes it, `defaults` a new item
// of the same class written the same way. `nameOf` gives the name a
// reference to the item at an index may use, or nothing.
Json FriendlyEntry(const Json& raw, const Json& defaults,
                   const std::function<std::optional<std::string>(int64_t)>& nameOf);

} // namespace showsaver::showpack
