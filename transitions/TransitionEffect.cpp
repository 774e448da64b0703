#include "transitions/TransitionEffect.h"

#include "platform/sys/Clock.h"
#include "show/Random.h"
#include "transitions/Families.h"

#include <algorithm>
#include <array>

namespace showsaver {

void TransitionEffect::SetTarget(const gfx::Rect* rectangle, std::optional<gfx::ColorRef> background) {
    m_rectangle = rectangle;
    m_background = background;
}

void TransitionEffect::SetSurfaces(gfx::DeviceContext* work, gfx::DeviceContext* picture) {
    m_work = work;
    m_picture = picture;
}

void TransitionEffect::ComposeFrame(int xOffset, int yOffset) {
    if (!m_work || !m_picture || !m_rectangle) return;
    int w = m_rectangle->Width();
    int h = m_rectangle->Height();
    if (m_background) m_work->FillSolid({0, 0, w, h}, *m_background);
    m_work->BitBlt(0, 0, w, h, *m_picture, xOffset, yOffset);
}

void TransitionEffect::PlayTransition(gfx::DeviceContext& dc, TransitionPacer& pacer, gfx::Point& position,
                                      int32_t speed, int xOffset, int yOffset) {
    ComposeFrame(xOffset, yOffset);
    if (!m_work || !m_rectangle) return;
    // A picture cut at the screen's left or top edge starts at 0 there; the
    // caller's stored position learns it too.
    if (xOffset != 0) position.x = 0;
    if (yOffset != 0) position.y = 0;
    EffectPlayer player = PlayerFor(m_effectNumber);
    // An empty picture has nothing to bring in; the families rely on a
    // size of at least 1 × 1 (their steps divide by it).
    if (!player || m_rectangle->Width() <= 0 || m_rectangle->Height() <= 0) return;
    TransitionFrame frame{
        dc, *m_work, pacer, position.x, position.y, m_rectangle->Width(), m_rectangle->Height(), speed, 1000.0,
        (1100 - speed) / 1000 + 2, 2 * speed, m_fadeBitmap, xOffset, yOffset,
    };
    player(m_effectNumber, frame);
}

void TransitionFrame::Copy(gfx::DeviceContext& from, int W, int H, int sx, int sy, int dx, int dy) const {
    // Trims one axis: the leading part where the source or the destination
    // lies before 0, and the trailing part beyond the picture's size.
    auto trim = [](int& length, int& source, int& destination, int limit) {
        int lead = std::max({0, -source, -destination});
        source += lead;
        destination += lead;
        length = std::min({length - lead, limit - source, limit - destination});
    };
    trim(W, sx, dx, w);
    trim(H, sy, dy, h);
    if (W <= 0 || H <= 0) return;
    screen.BitBlt(x + dx, y + dy, W, H, from, sx, sy);
}

std::unique_ptr<gfx::DeviceContext> TransitionFrame::TakeSnapshot() const {
    auto snapshot = screen.CreateCompatible();
    // A bitmap that cannot be made leaves the default one: copies from the
    // snapshot then draw nothing useful, and the new picture still arrives.
    if (auto bitmap = gfx::Surface::Create(w, h)) snapshot->SelectBitmap(std::move(bitmap));
    snapshot->BitBlt(0, 0, w, h, screen, x, y);
    return snapshot;
}

int32_t TransitionEffect::PickRandomEffect(int32_t stored) {
    if (stored != kRandomEffect) return stored;
    RangeRandom random;
    auto now = sys::LocalSystemTime();
    random.Seed(static_cast<int32_t>(((sys::TickCount() & 0xFFFF) << 16) |
                                     (static_cast<uint32_t>(now.milliseconds) & 0xFFFF)));
    random.SetRange(3, 88);
    int32_t number;
    do {
        number = random.Next();
    } while (number < kFirstEffect || number > kLastEffect);
    return number;
}

EffectPlayer TransitionEffect::PlayerFor(int32_t number) {
    if (number < kFirstEffect || number > kLastEffect) return nullptr;
    return FamilyPlayer(number);
}

} // namespace showsaver
