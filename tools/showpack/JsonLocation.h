#pragma once
// Where a value sits in the text of a JSON document, for error messages
// that name a line. The document has already been parsed, so the text is
// valid JSON; the walk only skims it.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace showsaver::showpack {

// One step down: a key of an object or an index of an array.
struct JsonStep {
    std::string key;
    size_t index = 0;
    bool isIndex = false;
};

// "items", 12, "placement", "effect" from ("items", 12, "placement.effect").
std::vector<JsonStep> JsonPath(size_t itemIndex, std::string_view fieldPath);
// items[12].placement.effect
std::string JsonPathText(const std::vector<JsonStep>& path);

// The 1-based line of the deepest step of `path` found in `text` (the key's
// line for an object member); 1 when nothing of it is found.
int LineOfPath(std::string_view text, const std::vector<JsonStep>& path);

// The 1-based line and column of byte `offset`.
struct TextPosition {
    int line = 1, column = 1;
};
TextPosition PositionOf(std::string_view text, size_t offset);

} // namespace showsaver::showpack
