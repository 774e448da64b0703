#include "links/WebLinkItem.h"

#include "show/ScenePlayer.h"
#include "show/ShowReader.h"
#include "show/ShowWriter.h"

namespace showsaver {

void WebLinkItem::CopyFrom(const Item& other) {
    Item::CopyFrom(other);
    auto& o = static_cast<const WebLinkItem&>(other);
    clear = o.clear;
    keyMode = o.keyMode;
    address.Assign(o.address);
}

void WebLinkItem::Load(ShowReader& reader) {
    Item::Load(reader);
    clear = reader.ReadInt32();
    keyMode = reader.ReadInt32();
    address.Load(reader);
}

void WebLinkItem::Save(ShowWriter& writer) const {
    Item::Save(writer);
    writer.WriteInt32(clear);
    writer.WriteInt32(keyMode);
    address.Save(writer);
}

bool WebLinkItem::Validate(ValidationContext& context) { return IsDisabled() || Item::Validate(context); }

int WebLinkItem::Play(gfx::DeviceContext&, int&, ScenePlayer& player) {
    if (clear)
        player.Window().DisarmLink();
    else
        player.Window().ArmLink(address.text, keyMode);
    return 1;
}

void WebLinkItem::Describe(FieldVisitor& v) {
    v.Int("clear", clear);
    v.Int("keyMode", keyMode);
    v.Text("address", address.text);
}

} // namespace showsaver
