#pragma once
// Plays its media item (kind 10) with its own settings: wait or not, loop,
// repeat count, placement and, for Flash movies, full screen and a time
// limit.

#include "gfx/Geometry.h"
#include "show/Item.h"

namespace showsaver {

class MediaItem;

class PlaybackProperty : public RepeatProperty {
public:
    void Assign(const ItemProperty& other) override;
    // The layout depends on the show's versions; unread fields keep defaults.
    void Load(ShowReader& reader) override;
    void Save(ShowWriter& writer) const override;

    int32_t wait = 0;
    int32_t loop = 0;
    int32_t fullScreen = 0;
    int32_t x = 0, y = 0;
    int32_t centreHorizontally = 0, centreVertically = 0;
    int32_t width = 0, height = 0;
    int32_t timed = 0;
    int32_t time = 1000;
};

class MediaPlayItem final : public Item {
public:
    MediaPlayItem() : Item(ItemKind::MediaPlay) {}
    void CopyFrom(const Item& other) override;
    void Load(ShowReader& reader) override;
    void Save(ShowWriter& writer) const override;
    bool Validate(ValidationContext& context) override;
    int Play(gfx::DeviceContext& dc, int& index, ScenePlayer& player) override;
    std::unique_ptr<Item> Clone() const override { return std::make_unique<MediaPlayItem>(); }
    void SetSource(Item* source) override { media.source = source; }
    void Describe(FieldVisitor& visitor) override;

    MediaRefProperty media;
    PlaybackProperty playback;

private:
    // Where the media plays: for a Flash movie full screen, centred or at
    // (x, y) with its size (taken from the movie once when none is stored);
    // for the others at (x, y) with the stored size.
    gfx::Rect Area(MediaItem& source, gfx::Size screen);
};

} // namespace showsaver
