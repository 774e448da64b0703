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

template <typename T> void ItemRegistry::Register() {
    auto prototype = std::make_unique<T>();
    auto kind = static_cast<size_t>(prototype->Kind());
    m_objectSizes[kind] = sizeof(T);
    m_prototypes[kind] = std::move(prototype);
}

ItemRegistry::ItemRegistry() : m_items(std::make_unique<ItemList>()) {
    Register<PictureItem>();
    Register<ShowPictureItem>();
    Register<PictureEffectItem>();
    Register<HidePictureItem>();
    Register<PauseItem>();
    Register<BackgroundItem>();
    Register<LoopStartItem>();
    Register<LoopEndItem>();
    Register<LineItem>();
    Register<MediaItem>();
    Register<MediaPlayItem>();
    Register<MediaStopItem>();
    Register<NoteItem>();
    Register<WebLinkItem>();
}

ItemRegistry::~ItemRegistry() {
    for (auto& prototype : m_prototypes) prototype.reset();
    m_items.reset();
}

const Item* ItemRegistry::Prototype(int32_t kind) const {
    if (kind < 0 || kind >= kItemKindCount) return nullptr;
    return m_prototypes[static_cast<size_t>(kind)].get();
}

size_t ItemRegistry::ObjectSize(int32_t kind) const {
    if (kind < 0 || kind >= kItemKindCount) return 0;
    return m_objectSizes[static_cast<size_t>(kind)];
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
