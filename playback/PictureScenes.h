#pragma once
// The picture scenes: show (kind 1), move (kind 2) and hide (kind 3) a
// picture item. All three carry the same record: a placement and a
// background colour, with the picture linked by the loader.

#include "playback/PicturePlacement.h"
#include "show/Item.h"

namespace showsaver {

class PictureItem;

class PictureSceneItem : public Item {
public:
    explicit PictureSceneItem(ItemKind kind) : Item(kind) {}
    void CopyFrom(const Item& other) override;
    void Load(ShowReader& reader) override;
    void Save(ShowWriter& writer) const override;
    bool Validate(ValidationContext& context) override;
    void SetSource(Item* source) override { picture.source = source; }
    void Describe(FieldVisitor& visitor) override { picture.Describe(visitor); }

    // The linked picture; only valid after validation succeeded.
    PictureItem& Picture() const;

    PictureRefProperty picture;
};

class ShowPictureItem final : public PictureSceneItem {
public:
    ShowPictureItem() : PictureSceneItem(ItemKind::ShowPicture) {}
    int Play(gfx::DeviceContext& dc, int& index, ScenePlayer& player) override;
    std::unique_ptr<Item> Clone() const override { return std::make_unique<ShowPictureItem>(); }
};

class PictureEffectItem final : public PictureSceneItem {
public:
    PictureEffectItem() : PictureSceneItem(ItemKind::PictureEffect) {}
    int Play(gfx::DeviceContext& dc, int& index, ScenePlayer& player) override;
    std::unique_ptr<Item> Clone() const override { return std::make_unique<PictureEffectItem>(); }
};

class HidePictureItem final : public PictureSceneItem {
public:
    HidePictureItem() : PictureSceneItem(ItemKind::HidePicture) {}
    int Play(gfx::DeviceContext& dc, int& index, ScenePlayer& player) override;
    std::unique_ptr<Item> Clone() const override { return std::make_unique<HidePictureItem>(); }
};

} // namespace showsaver
