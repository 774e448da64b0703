#pragma once
// Kind 11: stops the playback of the media item it refers to.

#include "show/Item.h"
#include "show/ItemProperty.h"

namespace showsaver {

class MediaStopItem final : public Item {
public:
    MediaStopItem() : Item(ItemKind::MediaStop) {}
    void CopyFrom(const Item& other) override;
    bool Validate(ValidationContext& context) override;
    int Play(gfx::DeviceContext& dc, int& index, ScenePlayer& player) override;
    std::unique_ptr<Item> Clone() const override { return std::make_unique<MediaStopItem>(); }
    void SetSource(Item* source) override { media.source = source; }
    void Describe(FieldVisitor& visitor) override;

    MediaRefProperty media;
};

} // namespace showsaver
