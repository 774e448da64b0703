#include "media/MediaPlayItem.h"

#include "gfx/DeviceContext.h"
#include "media/MediaItem.h"
#include "show/ScenePlayer.h"
#include "show/ShowReader.h"
#include "show/ShowWriter.h"

#include <tuple>

namespace showsaver {

void PlaybackProperty::Assign(const ItemProperty& other) {
    RepeatProperty::Assign(other);
    auto& o = static_cast<const PlaybackProperty&>(other);
    wait = o.wait;
    loop = o.loop;
    fullScreen = o.fullScreen;
    x = o.x;
    y = o.y;
    centreHorizontally = o.centreHorizontally;
    centreVertically = o.centreVertically;
    width = o.width;
    height = o.height;
    timed = o.timed;
    time = o.time;
}

void PlaybackProperty::Load(ShowReader& reader) {
    RepeatProperty::Load(reader);
    float b = reader.SignatureBVersion();
    if (b == 0.0f) {
        for (int32_t* field : {&wait, &loop, &x, &y, &width, &height, &centreHorizontally, &centreVertically,
                               &fullScreen})
            *field = reader.ReadInt32();
        // Widened to double on purpose: a stored 4.11 (4.1100001) counts as above.
        if (static_cast<double>(reader.FormatVersion()) > 4.11) {
            timed = reader.ReadInt32();
            time = reader.ReadInt32();
        }
    } else if (b > 0.0f && b < 2.1f) {
        wait = reader.ReadInt32();
        loop = reader.ReadInt32();
    } else if (b >= 2.1f) {
        for (int32_t* field : {&wait, &loop, &x, &y}) *field = reader.ReadInt32();
    }
}

void PlaybackProperty::Save(ShowWriter& writer) const {
    RepeatProperty::Save(writer);
    for (int32_t field : {wait, loop, x, y, width, height, centreHorizontally, centreVertically, fullScreen, timed,
                          time})
        writer.WriteInt32(field);
}

void MediaPlayItem::CopyFrom(const Item& other) {
    Item::CopyFrom(other);
    auto& o = static_cast<const MediaPlayItem&>(other);
    media.Assign(o.media);
    playback.Assign(o.playback);
}

void MediaPlayItem::Load(ShowReader& reader) {
    Item::Load(reader);
    playback.Load(reader);
}

void MediaPlayItem::Save(ShowWriter& writer) const {
    Item::Save(writer);
    playback.Save(writer);
}

bool MediaPlayItem::Validate(ValidationContext& context) {
    return IsDisabled() || (Item::Validate(context) && media.Validate(context.messages));
}

// FIXME: plays once the media players exist.
gfx::Rect MediaPlayItem::Area(MediaItem& source, gfx::Size screen) {
    PlaybackProperty& p = playback;
    if (source.mediaType != static_cast<int32_t>(MediaType::Flash)) return {p.x, p.y, p.x + p.width, p.y + p.height};
    // A movie of no stored size takes its header's, once; later plays reuse it.
    if (p.width == 0 && p.height == 0) {
        if (auto size = source.MovieSize()) std::tie(p.width, p.height) = *size;
    }
    if (p.fullScreen) return {0, 0, screen.width, screen.height};
    int32_t halfWidth = p.width / 2 ? p.width / 2 : 1;
    int32_t halfHeight = p.height / 2 ? p.height / 2 : 1;
    int32_t left = p.centreHorizontally == 1 ? screen.width / 2 - halfWidth : p.x;
    int32_t top = p.centreVertically == 1 ? screen.height / 2 - halfHeight : p.y;
    return {left, top, left + p.width, top + p.height};
}

int MediaPlayItem::Play(gfx::DeviceContext& dc, int&, ScenePlayer& player) {
    if (!media.source || media.source->Kind() != ItemKind::Media) return 1;
    auto& source = static_cast<MediaItem&>(*media.source);
    const bool flash = source.mediaType == static_cast<int32_t>(MediaType::Flash);
    gfx::Rect area = Area(source, flash ? dc.ScreenSize() : gfx::Size{});
    int32_t timeLimit = playback.timed ? playback.time : -1;
    if (!playback.wait) {
        source.PlayMedia(false, playback.loop != 0, player, area, timeLimit);
        return 1;
    }
    // The repeat count is compared unsigned: a negative count plays for a
    // very long time, as it always has.
    for (uint32_t i = 0; (playback.forever || i < static_cast<uint32_t>(playback.repeatCount)) &&
                         !player.IsStopRequested();
         ++i) {
        source.PlayMedia(true, false, player, area, timeLimit);
        // A timed movie plays once.
        if (flash && playback.timed) break;
    }
    return 1;
}

void MediaPlayItem::Describe(FieldVisitor& v) {
    v.Reference("media", media.source);
    v.Int("repeatCount", playback.repeatCount);
    v.Int("forever", playback.forever);
    v.Int("wait", playback.wait);
    v.Int("loop", playback.loop);
    v.Int("fullScreen", playback.fullScreen);
    v.Int("x", playback.x);
    v.Int("y", playback.y);
    v.Int("centreHorizontally", playback.centreHorizontally);
    v.Int("centreVertically", playback.centreVertically);
    v.Int("width", playback.width);
    v.Int("height", playback.height);
    v.Int("timed", playback.timed);
    v.Int("time", playback.time);
}

} // namespace showsaver
