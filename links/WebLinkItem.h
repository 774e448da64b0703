#pragma once
// Arms or disarms the web link (kind 13) that the viewer can open with a
// key when the screensaver ends.

#include "show/Item.h"

namespace showsaver {

class WebLinkItem final : public Item {
public:
    WebLinkItem() : Item(ItemKind::WebLink) { address.text = "http://"; }
    void CopyFrom(const Item& other) override;
    void Load(ShowReader& reader) override;
    void Save(ShowWriter& writer) const override;
    bool Validate(ValidationContext& context) override;
    int Play(gfx::DeviceContext& dc, int& index, ScenePlayer& player) override;
    std::unique_ptr<Item> Clone() const override { return std::make_unique<WebLinkItem>(); }
    void Describe(FieldVisitor& visitor) override;

    int32_t clear = 0;
    int32_t keyMode = -1;   // 0 Enter, 1 F12, 2 Space, 3 any of the three
    TextProperty address;
};

} // namespace showsaver
