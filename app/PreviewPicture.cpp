#include "app/PreviewPicture.h"

#include "gfx/SurfaceContext.h"

namespace showsaver {

// A night sky over a small screen showing a sunrise: what a show looks like,
// in a few strokes.
gfx::Surface MakePreviewPicture() {
    auto picture = gfx::Surface::Create(kPreviewPictureWidth, kPreviewPictureHeight);
    if (!picture) return gfx::Surface();
    auto dc = gfx::SurfaceContext::ForMemory({kPreviewPictureWidth, kPreviewPictureHeight});
    gfx::ScopedSelection bitmap(*dc, picture);
    for (int y = 0; y < kPreviewPictureHeight; ++y) {
        auto shade = static_cast<uint8_t>(16 + y * 60 / kPreviewPictureHeight);
        dc->FillSolid({0, y, kPreviewPictureWidth, y + 1}, gfx::Rgb(shade / 3, shade / 2, shade + 30));
    }
    // A few stars, always in the same places.
    uint32_t seed = 12345;
    for (int i = 0; i < 40; ++i) {
        seed = seed * 1103515245u + 12345u;
        int x = static_cast<int>((seed >> 8) % kPreviewPictureWidth);
        int y = static_cast<int>((seed >> 20) % 52);
        dc->FillSolid({x, y, x + 1, y + 1}, gfx::Rgb(230, 230, 255));
    }
    // The screen: a frame, a sunrise inside, a stand.
    gfx::Rect frame{14, 56, 82, 98};
    dc->FillSolid(frame, gfx::Rgb(200, 200, 210));
    gfx::Rect glass{17, 59, 79, 92};
    for (int y = glass.top; y < glass.bottom; ++y) {
        int t = (y - glass.top) * 255 / glass.Height();
        dc->FillSolid({glass.left, y, glass.right, y + 1},
                      gfx::Rgb(static_cast<uint8_t>(40 + t * 3 / 4), static_cast<uint8_t>(30 + t / 3), 90));
    }
    dc->SelectPen(gfx::Pen{gfx::PenStyle::Solid, 1, gfx::Rgb(255, 210, 80)});
    for (int r = 0; r < 9; ++r) {
        dc->MoveTo(48 - r, 92 - (r < 7 ? r : 7));
        dc->LineTo(49 + r, 92 - (r < 7 ? r : 7));
    }
    dc->FillSolid({44, 98, 52, 104}, gfx::Rgb(160, 160, 170));
    dc->FillSolid({34, 104, 62, 107}, gfx::Rgb(160, 160, 170));
    return std::move(*picture);
}

} // namespace showsaver
