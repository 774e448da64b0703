#pragma once
// Reads a show: its signature and version, the item records, the reference
// blocks that link scenes and players to their pictures and media, then
// numbers and validates the items.
//
// Layout: header word (uint32), signature (text), version (float32), item
// count (int32), the records (int32 kind + the kind's record), then one
// reference block (int32 n + n item indices) for every picture and media
// item in list order. Anything after the last block is ignored.

#include "platform/sys/Result.h"
#include "show/ShowReader.h"

#include <cstdint>
#include <filesystem>

namespace showsaver {

namespace ui { class MessageSink; }
class ItemList;
class ItemRegistry;

// Where the show starts in a packed screensaver: the engine's size.
inline constexpr uint64_t kShowOffset = 581632;
// The newest version this engine reads.
inline constexpr double kMaxShowVersion = 4.51;

struct ShowInfo {
    uint32_t headerWord = 0;
    char signature = 0;           // 'A' or 'B'
    float formatVersion = 0;
    float signatureBVersion = 0;  // the version for signature B, else 0
};

// Reads the item count, the records and the reference blocks.
Status<LoadError> LoadItems(ShowReader& reader, const ItemRegistry& registry, ItemList& items);

// Reads everything after the header word. With `messages` the items are
// then validated (a refusing item shows its own message); without, they are
// only numbered, which is what inspecting tools want. Items read before a
// failure stay in the list.
Status<LoadError> LoadShow(ShowReader& reader, const ItemRegistry& registry, ItemList& items, ShowInfo& info,
                           ui::MessageSink* messages);

// Validates the items of a show loaded without messages, as LoadShow does with
// them; `endOffset` (where the show's bytes ended) goes into the error.
Status<LoadError> ValidateShow(ItemList& items, ui::MessageSink& messages, uint64_t endOffset);

// Opens `path`, reads the header word at `offset`, then the show.
Status<LoadError> LoadShowFile(const std::filesystem::path& path, uint64_t offset, const ItemRegistry& registry,
                               ItemList& items, ShowInfo& info, ui::MessageSink* messages);

// Decides where the show in FILE starts: at kShowOffset in a packed
// screensaver, at 0 in a bare show file (whose signature follows the header
// word).
Result<uint64_t> FindShowOffset(const std::filesystem::path& path);

} // namespace showsaver
