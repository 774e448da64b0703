#include "media/MediaStopItem.h"

#include "media/MediaItem.h"

namespace showsaver {

void MediaStopItem::CopyFrom(const Item& other) {
    Item::CopyFrom(other);
    media.Assign(static_cast<const MediaStopItem&>(other).media);
}

bool MediaStopItem::Validate(ValidationContext& context) {
    return IsDisabled() || (Item::Validate(context) && media.Validate(context.messages));
}

int MediaStopItem::Play(gfx::DeviceContext&, int&, ScenePlayer& player) {
    if (media.source && media.source->Kind() == ItemKind::Media)
        static_cast<MediaItem*>(media.source)->StopMedia(player);
    return 0;
}

void MediaStopItem::Describe(FieldVisitor& visitor) { visitor.Reference("media", media.source); }

} // namespace showsaver
