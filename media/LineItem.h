#pragma once
// Draws one straight line (kind 8) whose ends are placed like a picture's
// path, in a fixed or random colour, with a stored pen style and width.

#include "playback/PicturePlacement.h"
#include "show/Item.h"

namespace showsaver {

class LineItem final : public Item {
public:
    LineItem() : Item(ItemKind::Line) {}
    void CopyFrom(const Item& other) override;
    void Load(ShowReader& reader) override;
    void Save(ShowWriter& writer) const override;
    bool Validate(ValidationContext& context) override;
    int Play(gfx::DeviceContext& dc, int& index, ScenePlayer& player) override;
    std::unique_ptr<Item> Clone() const override { return std::make_unique<LineItem>(); }
    void Describe(FieldVisitor& visitor) override;

    ColorProperty color;
    PicturePlacement placement;
    int32_t penStyle = 0;
    int32_t penWidth = 1;
};

} // namespace showsaver
