#include "playback/PictureScenes.h"

#include "playback/PictureItem.h"

namespace showsaver {

void PictureSceneItem::CopyFrom(const Item& other) {
    Item::CopyFrom(other);
    picture.Assign(static_cast<const PictureSceneItem&>(other).picture);
}

void PictureSceneItem::Load(ShowReader& reader) {
    Item::Load(reader);
    picture.Load(reader);
}

void PictureSceneItem::Save(ShowWriter& writer) const {
    Item::Save(writer);
    picture.Save(writer);
}

bool PictureSceneItem::Validate(ValidationContext& context) {
    return IsDisabled() || (Item::Validate(context) && picture.Validate(context.messages));
}

PictureItem& PictureSceneItem::Picture() const { return *static_cast<PictureItem*>(picture.source); }

// FIXME: the scenes draw once the drawing layer and the transition engine
// exist; until then they leave the screen as it is.
int ShowPictureItem::Play(gfx::DeviceContext&, int&, ScenePlayer&) { return 1; }

int PictureEffectItem::Play(gfx::DeviceContext&, int&, ScenePlayer&) { return 1; }

int HidePictureItem::Play(gfx::DeviceContext&, int&, ScenePlayer&) { return 1; }

} // namespace showsaver
