// Slides, uncovers and pushes: the effects in which pictures move.
//
// Slides bring the new picture in over the old one and need only the work
// surface. Uncovers move the old picture away from the new one lying in
// place, and pushes move both; these take a snapshot of the old picture when
// they start and draw it from there at moving positions.
//
// Every frame is a short list of rectangle copies whose sizes and positions
// are small linear expressions of the frame's counter and the picture's
// size. TransitionFrame::Copy clips each copy to the picture, so a copy that
// reaches past an edge draws only its inside part and one of no size draws
// nothing.
//
//   straight (21-24, 29-32, 41-44, 53-56):
//       for j = first … last:  pieces(j); pause          [full copy]
//   diagonal (9, 10, 25-28, 33-36, 45-48), offsets u and v stepping by A, B:
//       loop: pieces(U, V); stop when both passed; step u, v; pause
//       full copy
//   bands (15, 16): for Z = 0 … length: every 8-pixel band Z in; pause
//   strips (71-74): for each 8-pixel strip: for Z = 0 … length:
//       new Z in, old pushed Z out; pause when Z is a multiple of the period

#include "transitions/Families.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace showsaver {
namespace {

// A linear expression of the frame's counters (j; U and V) and the picture's
// size (w, h and their halves w / 2, h / 2).
struct Expr {
    enum Term { kJ, kU, kV, kW, kH, kHalfW, kHalfH, kOne, kTerms };
    std::array<int, kTerms> coefficient{};

    constexpr Expr(int constant = 0) { coefficient[kOne] = constant; }
    static constexpr Expr Of(Term term) {
        Expr expr;
        expr.coefficient[term] = 1;
        return expr;
    }
};

constexpr Expr operator+(Expr a, Expr b) {
    for (int i = 0; i < Expr::kTerms; ++i) a.coefficient[i] += b.coefficient[i];
    return a;
}
constexpr Expr operator-(Expr a, Expr b) {
    for (int i = 0; i < Expr::kTerms; ++i) a.coefficient[i] -= b.coefficient[i];
    return a;
}
constexpr Expr operator*(int n, Expr a) {
    for (int& c : a.coefficient) c *= n;
    return a;
}

constexpr Expr J = Expr::Of(Expr::kJ);
constexpr Expr U = Expr::Of(Expr::kU);
constexpr Expr V = Expr::Of(Expr::kV);
constexpr Expr W = Expr::Of(Expr::kW);
constexpr Expr H = Expr::Of(Expr::kH);
constexpr Expr W2 = Expr::Of(Expr::kHalfW);   // w / 2, rounded down
constexpr Expr H2 = Expr::Of(Expr::kHalfH);   // h / 2, rounded down

// The values of the terms in one frame.
class Values {
public:
    explicit Values(const TransitionFrame& frame) {
        m_value[Expr::kW] = frame.w;
        m_value[Expr::kH] = frame.h;
        m_value[Expr::kHalfW] = frame.w / 2;
        m_value[Expr::kHalfH] = frame.h / 2;
        m_value[Expr::kOne] = 1;
    }
    void Set(Expr::Term term, int value) { m_value[term] = value; }
    int operator()(const Expr& expr) const {
        int sum = 0;
        for (int i = 0; i < Expr::kTerms; ++i) sum += expr.coefficient[i] * m_value[i];
        return sum;
    }

private:
    std::array<int, Expr::kTerms> m_value{};
};

enum class Source { None, New, Old };
using enum Source;

// One copy: width × height from the new picture or the old one's snapshot at
// (sx, sy) to (dx, dy) of the picture's rectangle.
struct Piece {
    Source source = None;
    Expr width, height, sx, sy, dx, dy;
};

bool NeedsOld(std::span<const Piece> pieces) {
    for (const Piece& piece : pieces)
        if (piece.source == Old) return true;
    return false;
}

void Draw(std::span<const Piece> pieces, const Values& at, const TransitionFrame& frame, gfx::DeviceContext* old) {
    for (const Piece& piece : pieces) {
        if (piece.source == None) break;
        gfx::DeviceContext& from = piece.source == New ? frame.work : *old;
        frame.Copy(from, at(piece.width), at(piece.height), at(piece.sx), at(piece.sy), at(piece.dx), at(piece.dy));
    }
}

std::unique_ptr<gfx::DeviceContext> SnapshotIfNeeded(std::span<const Piece> pieces, const TransitionFrame& frame) {
    return NeedsOld(pieces) ? frame.TakeSnapshot() : nullptr;
}

// ---- Straight members: one row or column per frame -----------------------

struct StraightSlide {
    int32_t number;
    int first;                  // the counter j runs first … last
    Expr last;
    std::array<Piece, 4> pieces;
    bool fullCopyAtEnd;
};

// Effects 54 and 56 split the old picture after row (column) half + 1. Their
// lower (right) half moves only while j + half + 1 ≤ h (w), which is exactly
// while its copies lie inside the picture, so the clipping stands in for
// that test.
constexpr StraightSlide kStraight[] = {
    {21, 0, H, {{{New, W, J, 0, H - J, 0, 0}}}, false},
    {22, 0, H, {{{New, W, J, 0, 0, 0, H - J}}}, false},
    {23, 0, W, {{{New, J, H, 0, 0, W - J, 0}}}, false},
    {24, 0, W, {{{New, J, H, W - J, 0, 0, 0}}}, false},
    {29, 1, H, {{{Old, W, H - J, 0, 0, 0, J}, {New, W, 1, 0, J - 1, 0, J - 1}}}, false},
    {30, 1, H, {{{Old, W, H - J, 0, J, 0, 0}, {New, W, 1, 0, H - J, 0, H - J}}}, false},
    {31, 1, W, {{{Old, W - J, H, J, 0, 0, 0}, {New, 1, H, W - J, 0, W - J, 0}}}, false},
    {32, 1, W, {{{Old, W - J, H, 0, 0, J, 0}, {New, 1, H, J - 1, 0, J - 1, 0}}}, false},
    {41, 0, H, {{{New, W, J, 0, H - J, 0, 0}, {Old, W, H - J, 0, 0, 0, J}}}, false},
    {42, 0, H, {{{New, W, J, 0, 0, 0, H - J}, {Old, W, H - J, 0, J, 0, 0}}}, false},
    {43, 0, W, {{{New, J, H, 0, 0, W - J, 0}, {Old, W - J, H, J, 0, 0, 0}}}, false},
    {44, 0, W, {{{New, J, H, W - J, 0, 0, 0}, {Old, W - J, H, 0, 0, J, 0}}}, false},
    {53, 0, H2 + 1, {{{New, W, J, 0, H2 - J, 0, 0}, {New, W, J, 0, H2, 0, H - J}}}, true},
    {55, 0, W2 + 1, {{{New, J, H, W2 - J, 0, 0, 0}, {New, J, H, W2, 0, W - J, 0}}}, true},
    {54, 0, H2 + 1,
     {{{Old, W, H2 + 1 - J, 0, J, 0, 0},
       {New, W, 1, 0, H2 + 1 - J, 0, H2 + 1 - J},
       {Old, W, H - J - (H2 + 1), 0, H2 + 1, 0, J + H2 + 1},
       {New, W, 1, 0, J + H2, 0, J + H2}}},
     false},
    {56, 0, W2 + 1,
     {{{Old, W2 + 1 - J, H, J, 0, 0, 0},
       {New, 1, H, W2 + 1 - J, 0, W2 + 1 - J, 0},
       {Old, W - J - (W2 + 1), H, W2 + 1, 0, J + W2 + 1, 0},
       {New, 1, H, J + W2, 0, J + W2, 0}}},
     false},
};

void PlayStraight(const StraightSlide& slide, const TransitionFrame& frame) {
    auto old = SnapshotIfNeeded(slide.pieces, frame);
    Values at(frame);
    int last = at(slide.last);
    for (int j = slide.first; j <= last; ++j) {
        at.Set(Expr::kJ, j);
        Draw(slide.pieces, at, frame, old.get());
        frame.Pause();
    }
    if (slide.fullCopyAtEnd) frame.CopyAll();
}

// ---- Diagonal members: two offsets stepping at the picture's aspect ------

// How an offset runs and when it has passed its far end: counting up, once
// above the end (Above) or at it (Reach); counting down, once below the end
// (Below) or at it, then held there (HeldAt); counting up to the end and set
// to it once its pixel count gets there (Clamped).
enum class Finish { Above, Reach, Below, HeldAt, Clamped };

struct Course {
    Expr start, end;
    Finish finish;
};

constexpr Course UpPast(Expr end) { return {0, end, Finish::Above}; }
constexpr Course UpTo(Expr end) { return {0, end, Finish::Reach}; }
constexpr Course DownPast0(Expr start) { return {start, 0, Finish::Below}; }
constexpr Course DownTo0(Expr start) { return {start, 0, Finish::HeldAt}; }
constexpr Course UpClamped(Expr end) { return {0, end, Finish::Clamped}; }

// One offset of the diagonal stepping. Single precision; its pixel offset is
// the value truncated towards zero.
class Offset {
public:
    Offset(const Course& course, float step, const Values& at)
        : m_value(static_cast<float>(at(course.start))), m_step(step), m_end(at(course.end)),
          m_finish(course.finish) {}

    int Pixels() const { return static_cast<int>(m_value); }

    bool Passed() const {
        switch (m_finish) {
        case Finish::Above: return m_value > static_cast<float>(m_end);
        case Finish::Reach: return m_value >= static_cast<float>(m_end);
        case Finish::Below: return m_value < static_cast<float>(m_end);
        case Finish::HeldAt: return m_value <= static_cast<float>(m_end);
        case Finish::Clamped: return Pixels() >= m_end;
        }
        return true;
    }

    void Advance() {
        if (Passed()) return;
        bool down = m_finish == Finish::Below || m_finish == Finish::HeldAt;
        m_value += down ? -m_step : m_step;
        bool held = m_finish == Finish::HeldAt || m_finish == Finish::Clamped;
        if (held && Passed()) m_value = static_cast<float>(m_end);
    }

private:
    float m_value;
    float m_step;
    int m_end;
    Finish m_finish;
};

struct DiagonalSlide {
    int32_t number;
    Course u, v;
    std::array<Piece, 12> pieces;
};

constexpr DiagonalSlide kDiagonal[] = {
    // The four quarters of the new picture slide in from the corners.
    {9, UpClamped(W2), UpClamped(H2),
     {{{New, U, V, W2 - U, H2 - V, 0, 0},
       {New, U, V, W2, H2 - V, 2 * W2 - U, 0},
       {New, U, V, W2 - U, H2, 0, H - V},
       {New, U, V, W2, H2, W - U, H - V}}}},
    // The four quarters of the old picture slide out to the corners, each
    // clipped to its own quadrant; the new picture fills the rest in place.
    {10, UpClamped(W2), UpClamped(H2),
     {{{Old, W2 - U, H2 - V, U, V, 0, 0},
       {New, U, H2, W2 - U, 0, W2 - U, 0},
       {New, W2 - U, V, 0, H2 - V, 0, H2 - V},
       {Old, W - W2 - U, H2 - V, W2, V, W2 + U, 0},
       {New, U, H2, W2, 0, W2, 0},
       {New, W - W2 - U, V, W2 + U, H2 - V, W2 + U, H2 - V},
       {Old, W2 - U, H - H2 - V, U, H2, 0, H2 + V},
       {New, U, H - H2, W2 - U, H2, W2 - U, H2},
       {New, W2 - U, V, 0, H2, 0, H2},
       {Old, W - W2 - U, H - H2 - V, W2, H2, W2 + U, H2 + V},
       {New, U, H - H2, W2, H2, W2, H2},
       {New, W - W2 - U, V, W2 + U, H2, W2 + U, H2}}}},
    {25, DownPast0(W), UpPast(H), {{{New, W - U, V, 0, H - V, U, 0}}}},
    {26, DownPast0(W), DownPast0(H), {{{New, W - U, H - V, 0, 0, U, V}}}},
    {27, UpPast(W), UpPast(H), {{{New, U, V, W - U, H - V, 0, 0}}}},
    {28, UpTo(W), DownPast0(H), {{{New, U, H - V, W - U, 0, 0, V}}}},
    {33, UpTo(W), DownPast0(H),
     {{{Old, W - U, V, U, 0, 0, H - V}, {New, W, H - V, 0, 0, 0, 0}, {New, U, V, W - U, H - V, W - U, H - V}}}},
    {34, UpTo(W), DownPast0(H),
     {{{Old, W - U, V, U, H - V, 0, 0}, {New, U, H, W - U, 0, W - U, 0}, {New, W - U, H - V, 0, V, 0, V}}}},
    {35, UpTo(W), UpTo(H),
     {{{Old, W - U, H - V, 0, 0, U, V}, {New, W, V, 0, 0, 0, 0}, {New, U, H - V, 0, V, 0, V}}}},
    {36, UpTo(W), DownPast0(H),
     {{{Old, W - U, V, 0, H - V, U, 0}, {New, W, H - V, 0, V, 0, V}, {New, U, V, 0, 0, 0, 0}}}},
    // The pushes fill the corners that neither picture covers with parts of
    // the old one.
    {45, UpTo(W), DownPast0(H),
     {{{New, U, H - V, 0, V, W - U, 0},
       {Old, W - U, H - V, U, 0, 0, 0},
       {Old, U, V, W - U, 0, W - U, H - V},
       {Old, W - U, V, U, 0, 0, H - V}}}},
    {46, UpTo(W), DownTo0(H),
     {{{New, U, H - V, 0, 0, W - U, V},
       {Old, W - U, V, U, H - V, 0, 0},
       {Old, W - U, H - V, U, V, 0, V},
       {Old, U, V, W - U, H - V, W - U, 0}}}},
    {47, UpPast(W), UpPast(H),
     {{{New, U, V, W - U, H - V, 0, 0},
       {Old, W - U, H - V, 0, 0, U, V},
       {Old, W - U, V, 0, 0, U, 0},
       {Old, U, H - V, 0, 0, 0, V}}}},
    {48, UpTo(W), UpTo(H),
     {{{New, U, V, W - U, 0, 0, H - V},
       {Old, W - U, H - V, 0, V, U, 0},
       {Old, U, H - V, 0, V, 0, 0},
       {Old, W - U, V, 0, H - V, U, H - V}}}},
};

// The part of the picture's rectangle a piece writes, clipped as
// TransitionFrame::Copy clips it; empty when it draws nothing.
gfx::Rect Written(const Piece& piece, const Values& at, const TransitionFrame& frame) {
    int size[2] = {at(piece.width), at(piece.height)};
    int source[2] = {at(piece.sx), at(piece.sy)};
    int destination[2] = {at(piece.dx), at(piece.dy)};
    int limit[2] = {frame.w, frame.h};
    for (int axis = 0; axis < 2; ++axis) {
        int lead = std::max({0, -source[axis], -destination[axis]});
        source[axis] += lead;
        destination[axis] += lead;
        size[axis] = std::min({size[axis] - lead, limit[axis] - source[axis], limit[axis] - destination[axis]});
    }
    if (size[0] <= 0 || size[1] <= 0) return {};
    return gfx::Rect::FromSize(destination[0], destination[1], size[0], size[1]);
}

// The uncovers (10, 33-36) draw the old picture's moving parts and fill the
// rest of the rectangle with the new picture in place, every frame. Where
// the new picture already showed in the frame before, copying it again
// changes nothing: a frame copies only the new picture's parts that the old
// one covered in the frame before. This holds while a frame's pieces tile
// the rectangle (no gap, no overlap), which each frame checks; a frame that
// does not is drawn as it stands, and so are all after it.
class Uncover {
public:
    Uncover(std::span<const Piece> pieces, const TransitionFrame& frame)
        : m_pieces(pieces), m_frame(frame), m_covered{gfx::Rect::FromSize(0, 0, frame.w, frame.h)} {
        bool moving = false, hasOld = false;
        for (const Piece& piece : pieces) {
            hasOld = hasOld || piece.source == Old;
            // In place whatever the offsets: the same expression for source and destination.
            if (piece.source == New &&
                (piece.sx.coefficient != piece.dx.coefficient || piece.sy.coefficient != piece.dy.coefficient))
                moving = true;
        }
        m_active = hasOld && !moving;
    }

    void Draw(const Values& at, gfx::DeviceContext* old) {
        if (!m_active || !Tiles(at)) {
            m_active = false;
            showsaver::Draw(m_pieces, at, m_frame, old);
            return;
        }
        std::vector<gfx::Rect> covered;
        for (const Piece& piece : m_pieces) {
            if (piece.source == None) break;
            gfx::Rect written = Written(piece, at, m_frame);
            if (piece.source == Old) {
                m_frame.Copy(*old, at(piece.width), at(piece.height), at(piece.sx), at(piece.sy), at(piece.dx),
                             at(piece.dy));
                if (!written.IsEmpty()) covered.push_back(written);
            } else {
                for (const gfx::Rect& before : m_covered) Reveal(written.Intersected(before));
            }
        }
        m_covered = std::move(covered);
    }

    // The closing copy of the whole new picture.
    void Finish() {
        if (!m_active) return m_frame.CopyAll();
        for (const gfx::Rect& before : m_covered) Reveal(before);
    }

private:
    void Reveal(const gfx::Rect& r) {
        if (!r.IsEmpty()) m_frame.Block(r.Width(), r.Height(), r.left, r.top);
    }
    // True when the frame's pieces cover the rectangle once each.
    bool Tiles(const Values& at) const {
        std::vector<gfx::Rect> written;
        int64_t area = 0;
        for (const Piece& piece : m_pieces) {
            if (piece.source == None) break;
            gfx::Rect r = Written(piece, at, m_frame);
            if (r.IsEmpty()) continue;
            for (const gfx::Rect& other : written)
                if (!r.Intersected(other).IsEmpty()) return false;
            area += int64_t{r.Width()} * r.Height();
            written.push_back(r);
        }
        return area == int64_t{m_frame.w} * m_frame.h;
    }

    std::span<const Piece> m_pieces;
    const TransitionFrame& m_frame;
    std::vector<gfx::Rect> m_covered;   // where the old picture showed after the frame before
    bool m_active = false;
};

// The shorter side advances one pixel per frame and the longer one by the
// aspect ratio, so both reach their ends after about the shorter side's
// length in frames.
void PlayDiagonal(const DiagonalSlide& slide, const TransitionFrame& frame) {
    auto old = SnapshotIfNeeded(slide.pieces, frame);
    float a = 1.0f, b = 1.0f;
    if (frame.h < frame.w)
        a = static_cast<float>(frame.w) / static_cast<float>(frame.h);
    else
        b = static_cast<float>(frame.h) / static_cast<float>(frame.w);
    Values at(frame);
    Offset u(slide.u, a, at), v(slide.v, b, at);
    Uncover uncover(slide.pieces, frame);
    for (;;) {
        at.Set(Expr::kU, u.Pixels());
        at.Set(Expr::kV, v.Pixels());
        uncover.Draw(at, old.get());
        if (u.Passed() && v.Passed()) break;
        u.Advance();
        v.Advance();
        frame.Pause();
    }
    uncover.Finish();
}

// ---- Bands and strips: 8-pixel lanes moving along one axis ---------------

constexpr int kLane = 8;

// The picture seen along a lane's motion: `along` is the coordinate the lanes
// move on (y for columns moving up and down, x for rows moving sideways) and
// `across` the one they are stacked on.
class Lanes {
public:
    Lanes(const TransitionFrame& frame, bool vertical) : m_frame(frame), m_vertical(vertical) {}

    int Length() const { return m_vertical ? m_frame.h : m_frame.w; }
    int Breadth() const { return m_vertical ? m_frame.w : m_frame.h; }

    // The first z pixels of the new lane at `across`, from the start edge
    // (left or top) or from the far edge.
    void Enter(int across, int z, bool fromStart) const {
        if (fromStart)
            Copy(m_frame.work, z, across, Length() - z, 0);
        else
            Copy(m_frame.work, z, across, 0, Length() - z);
    }
    // The old lane at `across`, pushed z pixels on by a lane entering from
    // the start edge or from the far edge.
    void PushOut(gfx::DeviceContext& old, int across, int z, bool fromStart) const {
        if (fromStart)
            Copy(old, Length() - z, across, 0, z);
        else
            Copy(old, Length() - z, across, z, 0);
    }

private:
    void Copy(gfx::DeviceContext& from, int length, int across, int source, int destination) const {
        if (m_vertical)
            m_frame.Copy(from, kLane, length, across, source, across, destination);
        else
            m_frame.Copy(from, length, kLane, source, across, destination, across);
    }

    const TransitionFrame& m_frame;
    bool m_vertical;
};

enum class LaneKind { Bands, Strips };

struct LaneSlide {
    int32_t number;
    LaneKind kind;
    bool vertical;          // the lanes are columns moving up and down
    bool fromFarEdge;       // strips taken from the right or bottom edge
    int pausePeriod;        // strips pause when Z is a multiple of this
};

constexpr LaneSlide kLaneSlides[] = {
    {15, LaneKind::Bands, false, false, 1},  {16, LaneKind::Bands, true, false, 1},
    {71, LaneKind::Strips, true, false, 10}, {72, LaneKind::Strips, false, false, 10},
    {73, LaneKind::Strips, true, true, 9},   {74, LaneKind::Strips, false, true, 10},
};

// All bands move at once, alternately from the start and the far edge. The
// band counter reaches one band past the last whole one; clipped, it draws
// the remainder or nothing.
void PlayBands(const Lanes& lanes, const TransitionFrame& frame) {
    int bands = lanes.Breadth() / kLane;
    for (int z = 0; z <= lanes.Length(); ++z) {
        for (int k = 0; k <= bands; ++k) lanes.Enter(k * kLane, z, k % 2 == 0);
        frame.Pause();
    }
}

// One strip after the other, each pushing its old strip out, alternately
// from the start and the far edge. Taken from the far edge the first strip
// lies beyond the picture and draws nothing, but it still takes its pauses.
//
// Every step redraws the whole strip, and only every so many steps pause: a
// step followed by another one without a pause between them is overdrawn
// entirely before anyone could see it, so only the steps that a pause or the
// strip's end follows are drawn.
void PlayStrips(const LaneSlide& slide, const Lanes& lanes, const TransitionFrame& frame) {
    auto old = frame.TakeSnapshot();
    int breadth = lanes.Breadth();
    int last = breadth / kLane + (slide.fromFarEdge ? 1 : 0);
    int length = lanes.Length();
    for (int c = 0; c <= last; ++c) {
        int across = slide.fromFarEdge ? breadth - c * kLane : c * kLane;
        bool fromStart = c % 2 == 0;
        for (int z = 0; z <= length; ++z) {
            bool pause = z % slide.pausePeriod == 0;
            if (pause || z == length) {
                lanes.Enter(across, z, fromStart);
                lanes.PushOut(*old, across, z, fromStart);
            }
            if (pause) frame.Pause();
        }
    }
}

template <class Table>
const auto* Find(const Table& table, int32_t number) {
    for (const auto& entry : table)
        if (entry.number == number) return &entry;
    return static_cast<decltype(&table[0])>(nullptr);
}

} // namespace

void PlaySlide(int32_t number, const TransitionFrame& frame) {
    if (const auto* slide = Find(kStraight, number)) return PlayStraight(*slide, frame);
    if (const auto* slide = Find(kDiagonal, number)) return PlayDiagonal(*slide, frame);
    if (const auto* slide = Find(kLaneSlides, number)) {
        Lanes lanes(frame, slide->vertical);
        if (slide->kind == LaneKind::Bands) return PlayBands(lanes, frame);
        return PlayStrips(*slide, lanes, frame);
    }
}

} // namespace showsaver
