#include "media/LineItem.h"

#include "show/ShowReader.h"
#include "show/ShowWriter.h"

namespace showsaver {

void LineItem::CopyFrom(const Item& other) {
    Item::CopyFrom(other);
    auto& o = static_cast<const LineItem&>(other);
    color.Assign(o.color);
    int32_t seed = placement.randomSeed;
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

// FIXME: draws once the drawing layer exists.
int LineItem::Play(gfx::DeviceContext&, int&, ScenePlayer&) { return 1; }

void LineItem::Describe(FieldVisitor& v) {
    v.Group("color", [this](FieldVisitor& g) { color.Describe(g); });
    v.Group("placement", [this](FieldVisitor& g) { placement.Describe(g); });
    v.Int("penStyle", penStyle);
    v.Int("penWidth", penWidth);
}

} // namespace showsaver
