#include "show/ItemList.h"

#include "links/WebLinkItem.h"
#include "media/LineItem.h"
#include "media/MediaItem.h"
#include "media/MediaPlayItem.h"
#include "playback/PictureItem.h"
#include "playback/PictureScenes.h"
#include "show/ControlItems.h"

namespace showsaver {

namespace {

constexpr std::array<std::string_view, kItemKindCount> kClassNames = {
    "PictureItem",   "ShowPictureItem", "PictureEffectItem", "HidePictureItem", "PauseItem",
    "BackgroundItem", "LoopStartItem",  "LoopEndItem",       "LineItem",        "MediaItem",
    "MediaPlayItem", "MediaStopItem",   "NoteItem",          "WebLinkItem",
};

} // namespace

void ItemList::Clear() {
    for (auto& item : m_items) item.reset();
    m_items.clear();
}

ItemRegistry::ItemRegistry() : m_items(std::make_unique<ItemList>()) {
    m_prototypes = {
        std::make_unique<PictureItem>(),     std::make_unique<ShowPictureItem>(),
        std::make_unique<PictureEffectItem>(), std::make_unique<HidePictureItem>(),
        std::make_unique<PauseItem>(),       std::make_unique<BackgroundItem>(),
        std::make_unique<LoopStartItem>(),   std::make_unique<LoopEndItem>(),
        std::make_unique<LineItem>(),        std::make_unique<MediaItem>(),
        std::make_unique<MediaPlayItem>(),   std::make_unique<MediaStopItem>(),
        std::make_unique<NoteItem>(),        std::make_unique<WebLinkItem>(),
    };
}

ItemRegistry::~ItemRegistry() {
    for (auto& prototype : m_prototypes) prototype.reset();
    m_items.reset();
}

const Item* ItemRegistry::Prototype(int32_t kind) const {
    if (kind < 0 || kind >= kItemKindCount) return nullptr;
    return m_prototypes[static_cast<size_t>(kind)].get();
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
