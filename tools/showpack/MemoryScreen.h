#pragma once
// What a headless play of a show draws into: the fullscreen window's part
// over a memory screen with layers of its own, and message boxes that go to
// a stream.

#include "app/ItemKinds.h"
#include "gfx/DeviceContext.h"
#include "gfx/Layers.h"
#include "gfx/Surface.h"
#include "platform/ui/MessageBox.h"
#include "show/ScenePlayer.h"
#include "show/ShowLoader.h"

#include <filesystem>
#include <memory>
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

// Loads the show of a bare show or any packed saver into `registry` and
// makes the memory screen it plays on. Null after saying why on `err`, with
// the command's status in `status` (1 for a show that cannot be loaded, 2
// for a screen that cannot be made).
inline std::shared_ptr<gfx::Surface> LoadToPlay(const std::filesystem::path& file, int width, int height,
                                                ShowItemRegistry& registry, ShowInfo& info,
                                                ui::MessageSink& messages, std::ostream& err, int& status) {
    status = 1;
    auto offset = FindShowOffset(file);
    if (!offset) {
        err << "showpack: " << offset.Error().what << "\n";
        return nullptr;
    }
    if (auto loaded = LoadShowFile(file, *offset, registry, registry.Items(), info, &messages); !loaded) {
        err << "showpack: " << file.string() << ": " << loaded.Error().what << " (at byte "
            << loaded.Error().offset << ")\n";
        return nullptr;
    }
    auto screen = gfx::Surface::Create(width, height);
    if (!screen) {
        err << "showpack: cannot make a screen of " << width << " x " << height << "\n";
        status = 2;
        return nullptr;
    }
    status = 0;
    return screen;
}

} // namespace showsaver::showpack
