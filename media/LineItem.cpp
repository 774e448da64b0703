#include "media/LineItem.h"

#include "gfx/DeviceContext.h"
#include "show/ScenePlayer.h"
#include "show/ShowReader.h"
#include "show/ShowWriter.h"

namespace showsaver {

void LineItem::CopyFrom(const Item& other) {
    Item::CopyFrom(other);
    auto& o = static_cast<const LineItem&>(other);
    color.Assign(o.color);
    const auto seed = placement.randomSeed;
    placement = o.placement;
    placement.randomSeed = seed;
    penStyle = o.penStyle;
    penWidth = o.penWidth;
}

void LineItem::Load(ShowReader& reader) {
    Item::Load(reader);
    color.Load(reader);
    placement.Load(reader);
    penStyle = reader.ReadInt32();
    penWidth = reader.ReadInt32();
}

void LineItem::Save(ShowWriter& writer) const {
    Item::Save(writer);
    color.Save(writer);
    placement.Save(writer);
    writer.WriteInt32(penStyle);
    writer.WriteInt32(penWidth);
}

bool LineItem::Validate(ValidationContext& context) {
    return IsDisabled() || (Item::Validate(context) && color.Validate());
}

// The ends are placed like the path of a picture without size: each at 0,
// centred, at the far edge, at random or as stored. The pen keeps the
// stored style and width (an unknown style draws solid).
int LineItem::Play(gfx::DeviceContext& dc, int&, ScenePlayer& player) {
    gfx::Size screen = dc.ScreenSize();
    placement.ComputePath(0, 0, screen.width, screen.height, player.SettingsTimes());
    color.ApplyRandomColor(player.SettingsTimes());
    gfx::ScopedSelection pen(dc, gfx::Pen::FromStored(penStyle, penWidth, color.color));
    dc.MoveTo(placement.startX, placement.startY);
    dc.LineTo(placement.endX, placement.endY);
    return 1;
}

void LineItem::Describe(FieldVisitor& v) {
    v.Group("color", [this](FieldVisitor& g) { color.Describe(g); });
    v.Group("placement", [this](FieldVisitor& g) { placement.Describe(g); });
    v.Int("penStyle", penStyle);
    v.Int("penWidth", penWidth);
}

} // namespace showsaver
