// How a picture item redraws itself one step further along a movement.
//
// The two areas of a step, in the frame of their bounding box, for a move
// to the lower right (the other directions mirror it):
//
//   +-------+---+        old: where the picture was, repainted first
//   | old   | c |        new: where it is drawn now, over that
//   |   +---+---+        c:   the two corners that belong to neither; they
//   +---| new   |             are copied from the screen, so the one copy
//   | c |       |             of the whole box changes nothing there
//   +---+-------+
//
// A move to the upper right or lower left leaves the other two corners.

#include "playback/PictureItem.h"

#include "show/ScenePlayer.h"

#include <cstdlib>

namespace showsaver {

namespace {

// The corners of the bounding box (bw × bh) that neither the old nor the
// new w × h area covers, for a step of (dx, dy).
std::array<gfx::Rect, 2> UncoveredCorners(int dx, int dy, int w, int h, int bw, int bh) {
    int adx = std::abs(dx), ady = std::abs(dy);
    if ((dx >= 0) == (dy >= 0))   // towards the lower right or the upper left
        return {gfx::Rect{w, 0, bw, ady}, gfx::Rect{0, h, adx, bh}};
    return {gfx::Rect{0, 0, adx, ady}, gfx::Rect{w, h, bw, bh}};
}

} // namespace

bool PictureItem::MoveTo(gfx::DeviceContext& dc, const PicturePlacement& next, ScenePlayer& player) {
    if (player.IsStopRequested()) return true;
    const int ox = targetPlacement.currentX, oy = targetPlacement.currentY;
    const int w = naturalWidth, h = naturalHeight;
    const int64_t dx64 = int64_t{next.currentX} - ox, dy64 = int64_t{next.currentY} - oy;
    // What the picture leaves is the screen of the start (kept in the
    // snapshot) when the picture lets it show through or the scene asks to
    // keep it; otherwise the window's background.
    bool fromSnapshot = (IsText() && !opaque) || targetPlacement.keepScreenBehind;
    std::unique_ptr<gfx::DeviceContext> snapshot;
    if (fromSnapshot && screenSnapshot) {
        snapshot = dc.CreateCompatible();
        snapshot->SelectBitmap(screenSnapshot);
    }

    bool drawn = false;
    bool overlap = w > 0 && h > 0 && std::llabs(dx64) < w && std::llabs(dy64) < h;
    std::shared_ptr<gfx::Surface> box;
    if (overlap) {
        // Overlapping areas are less than twice the picture's size apart.
        int dx = static_cast<int>(dx64), dy = static_cast<int>(dy64);
        int bw = w + std::abs(dx), bh = h + std::abs(dy);
        box = gfx::Surface::Create(bw, bh);
        if (box) {
            gfx::Point origin{std::min(ox, next.currentX), std::min(oy, next.currentY)};
            gfx::Rect oldArea = gfx::Rect::FromSize(std::max(0, -dx), std::max(0, -dy), w, h);
            gfx::Rect newArea = oldArea.Translated(dx, dy);
            auto memory = dc.CreateCompatible();
            gfx::ScopedSelection select(*memory, box);
            if (snapshot)
                memory->BitBlt(0, 0, bw, bh, *snapshot, origin.x, origin.y);
            else
                memory->FillSolid(oldArea, player.Window().Background());
            drawn = Show(*memory, player, &newArea);
            for (const gfx::Rect& corner : UncoveredCorners(dx, dy, w, h, bw, bh))
                memory->BitBlt(corner.left, corner.top, corner.Width(), corner.Height(), dc,
                               origin.x + corner.left, origin.y + corner.top);
            dc.BitBlt(origin.x, origin.y, bw, bh, *memory, 0, 0);
        }
    }
    if (!box) {
        // Apart (or too large to compose): the old place is repainted, then
        // the picture drawn at its new place. The new place is given
        // explicitly: the target placement still holds the old one.
        if (snapshot) {
            dc.BitBlt(ox, oy, w, h, *snapshot, ox, oy);
            shown = 0;
        } else {
            Erase(dc, player);
        }
        gfx::Rect newArea = gfx::Rect::FromSize(next.currentX, next.currentY, w, h);
        drawn = Show(dc, player, &newArea);
    }
    currentPlacement = targetPlacement;
    targetPlacement = next;
    return drawn;
}

} // namespace showsaver
