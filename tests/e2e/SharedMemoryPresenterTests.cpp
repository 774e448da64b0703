// The shared-memory presenter on a real X server: what the window shows
// after a run of changes (the screen drawn, layers added, painted, moved,
// resized, hidden and removed) is what the memory composer makes of the
// same screen and layers.

#include "app/X11ShmPresenter.h"
#include "gfx/Layers.h"
#include "platform/sys/TempFiles.h"
#include "tests/e2e/XSession.h"
#include "tests/platform/TestSupport.h"

#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace showsaver::e2e {
namespace {

constexpr int kWidth = 320;
constexpr int kHeight = 200;

void Fill(gfx::Surface& surface, uint32_t seed) {
    for (int y = 0; y < surface.Height(); ++y)
        for (int x = 0; x < surface.Width(); ++x)
            surface.Row(y)[x] = ((seed * 2654435761u) ^ static_cast<uint32_t>(x * 7 + y * 131)) & 0xFFFFFFu;
}

// The window's pixels that differ from `expected`, read back from the server.
int Differences(Display* display, Window window, const gfx::Surface& expected) {
    XImage* image = XGetImage(display, window, 0, 0, kWidth, kHeight, AllPlanes, ZPixmap);
    if (!image) return -1;
    int differences = 0;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            if ((XGetPixel(image, x, y) & 0xFFFFFFu) != (expected.Row(y)[x] & 0xFFFFFFu)) ++differences;
    XDestroyImage(image);
    return differences;
}

TEST(SharedMemoryPresenter, ShowsWhatTheMemoryComposerMakesOfTheScreenAndItsLayers) {
    sys::TempDirectory dir(std::filesystem::temp_directory_path());
    VirtualDisplay server((dir.Path() / "xvfb.log").string());
    ASSERT_FALSE(server.Name().empty()) << server.Error();
    Display* display = XOpenDisplay(server.Name().c_str());
    ASSERT_TRUE(display);
    const int screenNumber = DefaultScreen(display);
    auto presenter = X11ShmPresenter::Create(display, XVisualIDFromVisual(DefaultVisual(display, screenNumber)));
    ASSERT_TRUE(presenter) << "Xvfb has MIT-SHM and a 24-bit TrueColor visual";
    Window window = XCreateSimpleWindow(display, RootWindow(display, screenNumber), 0, 0, kWidth, kHeight, 0, 0, 0);
    XMapWindow(display, window);
    XSync(display, False);
    presenter->SetWindow(window);

    auto screen = gfx::Surface::Create(kWidth, kHeight, presenter->Pixels());
    ASSERT_TRUE(screen);
    ASSERT_TRUE(screen->Memory()) << "the screen's pixels are in shared memory";
    gfx::LayerStack layers(*screen, presenter->Pixels());

    auto showAndCompare = [&](const char* step) {
        gfx::Rect dirty = screen->TakeDirty();
        ASSERT_TRUE(presenter->Show(*screen, layers, dirty)) << step;
        XSync(display, False);
        gfx::Surface expected = screen->Clone();
        layers.ComposeOnto(expected, expected.Bounds());
        EXPECT_EQ(Differences(display, window, expected), 0) << step;
    };

    { auto lock = screen->LockForDrawing(screen->Bounds()); Fill(*screen, 1); }
    showAndCompare("the screen alone");

    auto video = layers.Add({40, 30, 200, 150});
    auto movie = layers.Add({150, 100, 350, 260});   // partly off the screen, above the video
    ASSERT_TRUE(video && movie);
    video->Paint([](gfx::Surface& pixels) { Fill(pixels, 2); });
    movie->Paint([](gfx::Surface& pixels) { Fill(pixels, 3); });
    video->SetVisible(true);
    movie->SetVisible(true);
    showAndCompare("two overlapping layers");

    // The screen changes beneath a layer and beside it: only what shows
    // may come through.
    { auto lock = screen->LockForDrawing(screen->Bounds()); Fill(*screen, 4); }
    showAndCompare("a new screen under the layers");

    video->MoveTo({-20, 60});
    movie->SetArea({10, 10, 90, 70});   // a new size: new pixels, new memory
    movie->Paint([](gfx::Surface& pixels) { Fill(pixels, 5); });
    showAndCompare("moved and resized");

    video->SetVisible(false);
    showAndCompare("one hidden");

    for (int i = 0; i < 50; ++i) {   // layers coming and going, each in memory of its own
        auto passing = layers.Add({0, 0, 64, 64});
        passing->Paint([&](gfx::Surface& pixels) { Fill(pixels, 6 + static_cast<uint32_t>(i)); });
        passing->SetVisible(true);
        showAndCompare("a passing layer");
    }
    movie.Reset();
    showAndCompare("a layer removed");

    presenter.reset();
    XDestroyWindow(display, window);
    XCloseDisplay(display);
}

} // namespace
} // namespace showsaver::e2e
