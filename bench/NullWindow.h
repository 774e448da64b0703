#pragma once
// The fullscreen window's part for benchmarks that play into a memory
// screen: it keeps nothing, is muted and has no layers.

#include "show/ScenePlayer.h"

namespace showsaver::bench {

class NullWindow final : public SaverWindowControl {
public:
    void SetBackground(ColorRef) override {}
    ColorRef Background() const override { return 0; }
    void ArmLink(const std::string&, int32_t) override {}
    void DisarmLink() override {}
    bool IsMuted() const override { return true; }
    gfx::LayerHandle AddLayer(const gfx::Rect&) override { return {}; }
};

} // namespace showsaver::bench
