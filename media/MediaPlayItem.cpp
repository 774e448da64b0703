#include "media/MediaPlayItem.h"

#include "show/ShowReader.h"
#include "show/ShowWriter.h"

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
int MediaPlayItem::Play(gfx::DeviceContext&, int&, ScenePlayer&) { return 1; }

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
