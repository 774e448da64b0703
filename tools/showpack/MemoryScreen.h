#pragma once
// What a headless play of a show draws into: the fullscreen window's part
// over a memory screen with layers of its own, and message boxes that go to
// a stream.

#include "gfx/DeviceContext.h"
#include "gfx/Layers.h"
#include "platform/ui/MessageBox.h"
#include "show/ScenePlayer.h"

#include <ostream>

namespace showsaver::showpack {

// The fullscreen window's part, over a memory screen.
class MemoryWindow final : public SaverWindowControl {
public:
    MemoryWindow(gfx::DeviceContext& dc, gfx::Surface& screen) : m_dc(dc), m_layers(screen) {}
    void SetBackground(ColorRef color) override {
        m_background = color;
        gfx::Size size = m_dc.ScreenSize();
        m_dc.FillSolid({0, 0, size.width, size.height}, color);
    }
    ColorRef Background() const override { return m_background; }
    void ArmLink(const std::string&, int32_t) override {}
    void DisarmLink() override {}
    bool IsMuted() const override { return true; }
    gfx::LayerHandle AddLayer(const gfx::Rect& area) override { return m_layers.Add(area); }
    const gfx::LayerStack& Layers() const { return m_layers; }

private:
    gfx::DeviceContext& m_dc;
    gfx::LayerStack m_layers;
    ColorRef m_background = 0;
};

// Message boxes go to stderr, answered at once.
class StderrMessages final : public ui::MessageSink {
public:
    explicit StderrMessages(std::ostream& err) : m_err(err) {}
    ui::MessageAnswer Show(std::string_view text, ui::MessageIcon, ui::MessageButtons) override {
        m_err << text << "\n";
        return ui::MessageAnswer::Ok;
    }

private:
    std::ostream& m_err;
};

} // namespace showsaver::showpack
