#pragma once
// Builds show files byte by byte for the loader tests.

#include "app/ItemKinds.h"
#include "resources/StringTable.h"
#include "show/Item.h"
#include "show/ItemList.h"
#include "show/ShowLoader.h"
#include "show/ShowSaver.h"
#include "show/ShowWriter.h"

#include <memory>
#include <vector>

namespace showsaver::testing {

// The header of a bare show: header word, signature and version.
inline ShowWriter ShowHeader(char signature = 'A', float version = 4.5f, uint32_t headerWord = 0x1234) {
    ShowWriter writer;
    writer.WriteUInt32(headerWord);
    writer.WriteText(strings::Load(signature == 'A' ? strings::kSignatureA : strings::kSignatureB));
    writer.WriteFloat(version);
    return writer;
}

// A whole show of the given items (each saved in the current layout), with
// the reference blocks from their users lists.
inline std::vector<uint8_t> ShowOf(const std::vector<Item*>& items, char signature = 'A', float version = 4.5f) {
    std::vector<const Item*> list(items.begin(), items.end());
    return SaveShow(std::span<const Item* const>(list), ShowInfo{0x1234, signature, version, 0.0f});
}

struct Loaded {
    std::unique_ptr<ItemRegistry> registry = std::make_unique<ShowItemRegistry>();
    ShowInfo info;
    std::optional<LoadError> error;
    ItemList& Items() { return registry->Items(); }
};

// Loads a bare show from memory; validates with `messages` when given.
inline Loaded LoadBytes(const std::vector<uint8_t>& bytes, ui::MessageSink* messages = nullptr) {
    Loaded loaded;
    ShowReader reader(bytes);
    loaded.info.headerWord = reader.ReadUInt32();
    auto status = reader.Failed() ? Status<LoadError>(reader.Error())
                                  : LoadShow(reader, *loaded.registry, loaded.registry->Items(), loaded.info, messages);
    if (!status) loaded.error = status.Error();
    return loaded;
}

} // namespace showsaver::testing
