// showpack render: plays a show without a display into a memory screen.

#include "tools/showpack/Render.h"

#include "tools/showpack/MemoryScreen.h"
#include "tools/showpack/RenderMedia.h"

#include "app/ItemKinds.h"
#include "gfx/SurfaceContext.h"
#include "platform/ui/MessageBox.h"
#include "playback/SceneThread.h"
#include "show/ItemList.h"
#include "show/ShowLoader.h"

#include <cairo.h>

#include <chrono>
#include <ostream>

namespace showsaver::showpack {

namespace {

// Writes what the screen would show: the screen with its layers over it.
bool WritePng(const gfx::Surface& screen, const gfx::LayerStack& layers, const std::filesystem::path& path) {
    gfx::Surface shown = screen.Clone();
    layers.ComposeOnto(shown, shown.Bounds());
    auto cairo = shown.CreateCairoSurface();
    return cairo && cairo_surface_write_to_png(cairo.get(), path.c_str()) == CAIRO_STATUS_SUCCESS;
}

} // namespace

int Render(const RenderOptions& options, std::ostream& err) {
    StderrMessages messages(err);
    ShowItemRegistry registry;
    ShowInfo info;
    int status = 0;
    auto screen = LoadToPlay(options.file, options.width, options.height, registry, info, messages, err, status);
    if (!screen) return status;
    std::error_code ec;
    std::filesystem::create_directories(options.outDir, ec);
    auto dc = gfx::SurfaceContext::ForScreen(screen);
    MemoryWindow window(*dc, *screen);
    uint32_t times = options.times;
    bool written = true;

    CSceneThread::Setup setup;
    setup.window = &window;
    setup.dc = dc.get();
    setup.items = &registry.Items();
    setup.times = &times;
    setup.messages = &messages;
    setup.pacing = options.fast ? CSceneThread::Pacing::Virtual : CSceneThread::Pacing::Real;
    auto media = std::make_unique<RenderMedia>();
    RenderMedia& shownMedia = *media;
    setup.media = std::move(media);
    if (options.eachItem)
        setup.afterItem = [&](int index) {
            shownMedia.CatchUp();
            written &= WritePng(*screen, window.Layers(), options.outDir / (std::to_string(index) + ".png"));
        };
    CSceneThread player(std::move(setup), CSceneThread::Mode::Play);
    player.Resume();
    while (!player.WaitForExit(std::chrono::hours(1))) {
    }
    written &= WritePng(*screen, window.Layers(), options.outDir / "final.png");
    if (!written) {
        err << "showpack: cannot write the pictures into " << options.outDir.string() << "\n";
        return 1;
    }
    return 0;
}

} // namespace showsaver::showpack
