#include "show/ItemList.h"

namespace showsaver {

namespace {

constexpr std::array<std::string_view, kItemKindCount> kClassNames = {
    "PictureItem",   "ShowPictureItem", "PictureEffectItem", "HidePictureItem", "PauseItem",
    "BackgroundItem", "LoopStartItem",  "LoopEndItem",       "LineItem",        "MediaItem",
    "MediaPlayItem", "MediaStopItem",   "NoteItem",          "WebLinkItem",
};

} // namespace

void ItemList::Clear() {
    for (Entry& entry : m_items) {
        if (entry.inArena)
            entry.item->~Item();
        else
            delete entry.item;
    }
    m_items.clear();
    m_arena.Release();
}

ItemRegistry::ItemRegistry() : m_items(std::make_unique<ItemList>()) {}

ItemRegistry::~ItemRegistry() {
    for (auto& prototype : m_prototypes) prototype.reset();
    m_items.reset();
}

size_t ItemRegistry::ObjectSize(int32_t kind) const {
    const ItemFactory* factory = Factory(kind);
    return factory ? factory->size : 0;
}

std::string_view ItemClassName(int32_t kind) {
    if (kind < 0 || kind >= kItemKindCount) return {};
    return kClassNames[static_cast<size_t>(kind)];
}

int32_t ItemKindOfClass(std::string_view className) {
    for (size_t i = 0; i < kClassNames.size(); ++i)
        if (kClassNames[i] == className) return static_cast<int32_t>(i);
    return -1;
}

} // namespace showsaver
