// Wipes and line patterns: the effects that reveal the new picture in place,
// piece by piece, in a fixed geometric order. Nothing moves: every copy takes
// a rectangle of the new picture to the same place on the screen (the rolling
// wipes' mirrored band excepted), clipped to the picture, so the members only
// differ in the order of their pieces and in where they pause.
//
//   7, 8     box rings in / out            57-60  staircases of 8-row bands
//   11, 12   interlaced lines, period 16   61-64  diagonal triangles and bands
//   37-40    straight wipes                67-70  snakes of 8-pixel bands
//   49-52    edges to middle, middle out   75, 76 spirals of 8-pixel bands
//   77, 78   fans from opposite corners    82-87  rolling wipes with a mirrored band

#include "transitions/Families.h"
#include "transitions/RevealedLines.h"

#include <algorithm>
#include <cstdint>
#include <memory>

namespace showsaver {
namespace {

constexpr int kBand = 8;   // width of the snake, spiral and staircase bands

// Row r (w × 1) and column c (1 × h) of the new picture in place; lines
// beyond an edge are clipped away and draw nothing.
void Row(const TransitionFrame& frame, int r) { frame.Block(frame.w, 1, 0, r); }
void Column(const TransitionFrame& frame, int c) { frame.Block(1, frame.h, c, 0); }

enum class Axis { Rows, Columns };

// The lines of one axis, so that one order serves rows and columns alike.
class Lines {
public:
    Lines(const TransitionFrame& frame, Axis axis) : m_frame(frame), m_axis(axis) {}

    int Count() const { return m_axis == Axis::Rows ? m_frame.h : m_frame.w; }
    void Draw(int line) const {
        if (m_axis == Axis::Rows)
            Row(m_frame, line);
        else
            Column(m_frame, line);
    }
    // Line `source` of the new picture drawn at line `line` of the screen.
    void DrawFrom(int source, int line) const {
        if (m_axis == Axis::Rows)
            m_frame.Copy(m_frame.work, m_frame.w, 1, 0, source, 0, line);
        else
            m_frame.Copy(m_frame.work, 1, m_frame.h, source, 0, line, 0);
    }

private:
    const TransitionFrame& m_frame;
    Axis m_axis;
};

// ---------------------------------------------------------------------------
// Straight, interlaced, edges-to-middle and middle-out wipes: one line order
// each, with a standard pause after every line (or pair of lines).

enum class Order { Forward, Backward, Interlaced, EdgesToMiddle, MiddleOut, MiddleOutThenAll };

struct LineWipe {
    int32_t number;
    Axis axis;
    Order order;
};

constexpr LineWipe kLineWipes[] = {
    {11, Axis::Rows, Order::Interlaced},       {12, Axis::Columns, Order::Interlaced},
    {37, Axis::Rows, Order::Forward},          {38, Axis::Rows, Order::Backward},
    {39, Axis::Columns, Order::Backward},      {40, Axis::Columns, Order::Forward},
    {49, Axis::Rows, Order::EdgesToMiddle},    {50, Axis::Rows, Order::MiddleOut},
    {51, Axis::Columns, Order::EdgesToMiddle}, {52, Axis::Columns, Order::MiddleOutThenAll},
};

// Phase p draws lines p, p + 16, p + 32, ...; a slot beyond the last line
// still pauses, so every phase takes the same time.
void Interlace(const Lines& lines, const TransitionFrame& frame) {
    constexpr int kPeriod = 16;
    int n = lines.Count();
    for (int phase = 0; phase < kPeriod; ++phase)
        for (int slot = 0; slot <= n / kPeriod; ++slot) {
            lines.Draw(phase + slot * kPeriod);
            frame.Pause();
        }
}

// Frame i draws line i and, from i = 1 on, line n - i; the two meet in the
// frame where n < 2i + 2 (an odd middle line is drawn twice).
void EdgesToMiddle(const Lines& lines, const TransitionFrame& frame) {
    int n = lines.Count();
    for (int i = 0;; ++i) {
        lines.Draw(i);
        if (i >= 1) lines.Draw(n - i);
        frame.Pause();
        if (n < 2 * i + 2) break;
    }
}

// Frame i draws the lines half - i and half + i, the middle one twice.
void MiddleOut(const Lines& lines, const TransitionFrame& frame) {
    int n = lines.Count();
    int half = n / 2;
    for (int i = 0;; ++i) {
        if (i <= half) lines.Draw(half - i);
        if (half + i < n) lines.Draw(half + i);
        frame.Pause();
        if (n < 2 * i + 2) break;
    }
}

// The column variant: the lower side starts one frame late and the upper one
// stops short of the last column of an odd width. The closing copy of the
// whole picture finds every other column in place already, so only that last
// column is copied.
void MiddleOutThenAll(const Lines& lines, const TransitionFrame& frame) {
    int n = lines.Count();
    int half = n / 2;
    for (int i = 0;; ++i) {
        if (i >= 1) lines.Draw(half - i);
        if (i < half) lines.Draw(half + i);
        frame.Pause();
        if (n < 2 * i + 2) break;
    }
    if (n % 2 == 1) lines.Draw(n - 1);
}

void PlayLineWipe(int32_t number, const TransitionFrame& frame) {
    auto wipe = std::find_if(std::begin(kLineWipes), std::end(kLineWipes),
                             [&](const LineWipe& spec) { return spec.number == number; });
    if (wipe == std::end(kLineWipes)) return;
    Lines lines(frame, wipe->axis);
    int n = lines.Count();
    switch (wipe->order) {
    case Order::Forward:
    case Order::Backward:
        for (int i = 0; i < n; ++i) {
            lines.Draw(wipe->order == Order::Forward ? i : n - 1 - i);
            frame.Pause();
        }
        break;
    case Order::Interlaced: Interlace(lines, frame); break;
    case Order::EdgesToMiddle: EdgesToMiddle(lines, frame); break;
    case Order::MiddleOut: MiddleOut(lines, frame); break;
    case Order::MiddleOutThenAll: MiddleOutThenAll(lines, frame); break;
    }
}

// ---------------------------------------------------------------------------
// Box rings: one-pixel rectangular rings, one ring per frame, with a pause
// between two frames.

// Ring X: top row and left column from (X, X); from X = 1 on also the bottom
// row h - X and the right column w - X.
void BoxIn(const TransitionFrame& frame) {
    int w = frame.w, h = frame.h;
    for (int inset = 0;; ++inset) {
        frame.Block(w - 2 * inset, 1, inset, inset);
        frame.Block(1, h - 2 * inset, inset, inset);
        if (inset >= 1) {
            frame.Block(w - 2 * inset, 1, inset, h - inset);
            frame.Block(1, h - 2 * inset + 1, w - inset, inset);
        }
        if (h - 2 * inset < 1 || w - 2 * inset < 1) break;
        frame.Pause();
    }
}

// Starts at the centre (row h / 2, column w / 2); each inset shrinks on its
// own until both reach 0, so a wide picture's rings keep growing sideways
// after they have reached the top and bottom.
//
// Once the row inset has stayed at 0 for a frame, the ring's top row is in
// place but for its two ends, which the ring's columns draw; likewise, once
// the column inset has stayed at 0, the left column is in place but for the
// rows the ring's rows draw. Those copies are left out.
void BoxOut(const TransitionFrame& frame) {
    int w = frame.w, h = frame.h;
    int row = h / 2, column = w / 2;
    bool rowHeld = false, columnHeld = false;
    for (;;) {
        if (!rowHeld) frame.Block(w - 2 * column, 1, column, row);
        if (row > 0) frame.Block(w - 2 * column, 1, column, h - row);
        if (!columnHeld) frame.Block(1, h - 2 * row, column, row);
        if (column > 0) frame.Block(1, std::min(h - 2 * row + 1, h - row), w - column, row);
        rowHeld = row == 0;
        columnHeld = column == 0;
        if (row == 0 && column == 0) break;
        if (column > 0) --column;
        if (row > 0) --row;
        frame.Pause();
    }
}

void PlayBox(int32_t number, const TransitionFrame& frame) {
    if (number == 7)
        BoxIn(frame);
    else
        BoxOut(frame);
}

// ---------------------------------------------------------------------------
// Snakes (67-70): 8-pixel bands one after another, each wiped pixel line by
// pixel line from alternate ends, the first band from its start; a pause on
// every tenth step. Bands taken from the far edge start one band beyond it
// (clipped away) and end with the partial band at the near edge.
//
// The lines a band gains between two pauses lie side by side, so they are
// copied as one block before the pause: a column band touches each of its
// rows once, a row band each of its rows once per pause, not once per pixel.

void PlaySnake(int32_t number, const TransitionFrame& frame) {
    bool columns = number == 67 || number == 69;
    bool fromFar = number == 69 || number == 70;
    int across = columns ? frame.w : frame.h;   // where the bands lie side by side
    int along = columns ? frame.h : frame.w;    // the direction each band is wiped in
    int bands = across / kBand + (fromFar ? 2 : 1);
    for (int band = 0; band < bands; ++band) {
        int start = fromFar ? across - kBand * band : kBand * band;
        int low = 0, high = -1;   // the lines gained since the last pause, high < low: none
        auto flush = [&] {
            if (high < low) return;
            if (columns)
                frame.Block(kBand, high - low + 1, start, low);
            else
                frame.Block(high - low + 1, kBand, low, start);
            high = low - 1;
        };
        for (int step = 0; step <= along; ++step) {
            int at = band % 2 == 0 ? step : along - step;
            if (high < low) {
                low = high = at;
            } else {
                low = std::min(low, at);
                high = std::max(high, at);
            }
            if (step % 10 == 0) {
                flush();
                frame.Pause();
            }
        }
        flush();
    }
}

// ---------------------------------------------------------------------------
// Spirals (75, 76): rings of 8-pixel bands from the outside in, each band
// drawn as a run of thin blocks; a pause after every block whose running
// index is even.

// Runs `index` from `first` to `last` inclusive through `copy`.
template <class CopyStep>
void Sweep(const TransitionFrame& frame, int first, int last, CopyStep copy) {
    for (int index = first; index <= last; ++index) {
        copy(index);
        if (index % 2 == 0) frame.Pause();
    }
}

void PlaySpiral(int32_t number, const TransitionFrame& frame) {
    int left = 0, top = 0, right = frame.w, bottom = frame.h;
    for (;;) {
        if (number == 75) {   // clockwise: top, right, bottom, left
            Sweep(frame, left, right - 1, [&](int j) { frame.Block(1, kBand, j, top); });
            Sweep(frame, top, bottom, [&](int f) { frame.Block(kBand, 1, right - kBand, f); });
            Sweep(frame, 0, right - left, [&](int i) { frame.Block(1, kBand, right - i, bottom - kBand); });
            Sweep(frame, 0, bottom - top, [&](int i) { frame.Block(kBand, 1, left, bottom - i); });
        } else {   // anticlockwise: left, bottom, right, top
            Sweep(frame, top, bottom, [&](int f) { frame.Block(kBand, 1, left, f); });
            Sweep(frame, left, right - 1, [&](int j) { frame.Block(1, kBand, j, bottom - kBand); });
            Sweep(frame, 0, bottom - top, [&](int i) { frame.Block(kBand, 1, right - kBand, bottom - i); });
            Sweep(frame, 0, right - left, [&](int i) { frame.Block(1, kBand, right - i, top); });
        }
        left += kBand;
        top += kBand;
        right -= kBand;
        bottom -= kBand;
        if (right - left < 0 || bottom - top < 0) break;
    }
}

// ---------------------------------------------------------------------------
// Staircases (57-60): 8-row bands, each revealed 8 pixels behind its
// neighbour; frame Z reveals Z - 8n pixels of band n. A pause after each
// frame.
//
// Band n runs from 0 to V = h / 8 + 1. Counted from the top, band V lies
// below the picture and is clipped away; counted from the bottom
// (y0 = 8 (V - n)), band V is the top band, and the last frame, Z = 8V + w,
// is the one that completes it. A band's revealed part only grows, so each
// frame copies just the column it gained.

void PlayStaircase(int32_t number, const TransitionFrame& frame) {
    int w = frame.w, h = frame.h;
    bool fromRight = number == 57 || number == 58;
    bool bottomFirst = number == 58 || number == 60;
    int bands = h / kBand + 1;
    RevealedLines revealed(frame, bands + 1);
    for (int z = 0; z <= kBand * bands + w; ++z) {
        for (int n = 0; n <= bands; ++n) {
            int width = z - kBand * n;
            if (width <= 0 || width > w) continue;
            int y0 = kBand * (bottomFirst ? bands - n : n);
            int left = fromRight ? w - width : 0;
            // The band's height is cut to the picture by the clipping.
            revealed.Reveal(n, y0, kBand, left, left + width);
        }
        frame.Pause();
    }
}

// ---------------------------------------------------------------------------
// Diagonals (61-64), with the slope R = w / h in single precision.

// 61, 63: two triangles grow from opposite corners, one row pair per step of
// the diagonal; a pause after each frame and a full copy at the end. Every
// row's parts only grow, so a frame copies what each row gained, and the
// closing copy what the triangles left between them.
void DiagonalTriangles(bool bottomLeft, const TransitionFrame& frame) {
    int w = frame.w, h = frame.h;
    float slope = static_cast<float>(w) / static_cast<float>(h);
    RevealedLines revealed(frame, h);
    for (int s = 0; s <= h; ++s) {
        for (int i = 0; i <= s && i < h; ++i) {
            int width = static_cast<int>(static_cast<float>(s - i) * slope);
            int lower = bottomLeft ? 0 : w - width, upper = bottomLeft ? w - width : 0;
            revealed.RevealRow(h - 1 - i, lower, lower + width);
            revealed.RevealRow(i, upper, upper + width);
        }
        frame.Pause();
    }
    for (int row = 0; row < h; ++row) revealed.RevealRow(row, 0, w);
}

// 62, 64: a band Z pixels wide, centred on the diagonal, widens by one pixel
// per frame until it covers the picture; a short pause on every 15th frame.
// Each row's part of the band only grows, so a frame copies its new ends.
void DiagonalBand(bool fromTopLeft, const TransitionFrame& frame) {
    int w = frame.w, h = frame.h;
    float slope = static_cast<float>(w) / static_cast<float>(h);
    float reach = static_cast<float>(fromTopLeft ? h : h + 1) * slope;
    RevealedLines revealed(frame, h);
    for (int z = 0;; ++z) {
        for (int t = 0; t < h; ++t) {
            int i = fromTopLeft ? t : t + 1;   // the other diagonal counts rows from the bottom
            int row = fromTopLeft ? t : h - i;
            int a0 = static_cast<int>(static_cast<float>(i) * slope) - z / 2;
            revealed.RevealRow(row, a0, a0 + std::min(z, w - a0));
        }
        if (z % 15 == 0) frame.pacer.CalibratedWait(static_cast<uint32_t>(frame.speed / 2), frame.total);
        if (!(reach - static_cast<float>(z / 2) > 0.0f || z <= w)) break;
    }
}

void PlayDiagonal(int32_t number, const TransitionFrame& frame) {
    switch (number) {
    case 61: DiagonalTriangles(true, frame); break;
    case 63: DiagonalTriangles(false, frame); break;
    case 62: DiagonalBand(true, frame); break;
    case 64: DiagonalBand(false, frame); break;
    }
}

// ---------------------------------------------------------------------------
// Fans (77, 78): rows grow from two opposite corners, row z of frame s to a
// length of z × s / h; the last frame draws every row to half the width. A
// pause after each frame.
//
// An odd width leaves the middle column to whatever the earlier frames drew,
// which misses the rows near the middle; the column is copied after the
// frames. The 3 × 11 centre block for an odd width and height comes last.

// A row's two parts only grow (the last frame's half widths are in place
// already), so each frame copies what the rows gained.

void PlayFan(int32_t number, const TransitionFrame& frame) {
    int w = frame.w, h = frame.h;
    bool fromTopLeft = number == 77;
    RevealedLines revealed(frame, h);
    for (int s = 0; s <= w; ++s) {
        float ratio = static_cast<float>(s) / static_cast<float>(h);
        for (int z = 0; z <= h; ++z) {
            int length = s == w ? w / 2 : static_cast<int>(static_cast<float>(z) * ratio);
            revealed.RevealRow(fromTopLeft ? z : h - z, 0, length);
            revealed.RevealRow(fromTopLeft ? h - z : z, w - length, w);
        }
        frame.Pause();
    }
    if (w % 2 == 1)
        for (int row = 0; row < h; ++row) revealed.RevealRow(row, w / 2, w / 2 + 1);
    if (w % 2 == 1 && h % 2 == 1)
        for (int row = h / 2 - 5; row < h / 2 + 6; ++row) revealed.RevealRow(row, w / 2 - 1, w / 2 + 2);
}

// ---------------------------------------------------------------------------
// Rolling wipes (82-87): an edge moves across the picture with the new
// picture in place behind it, and before it a band of B = n / 10 lines shows
// the new picture mirrored, as if a sheet were being rolled out.
//
// Line index c counts from the edge the wipe starts at; its screen line is c
// (near side), n - c (far side) or both. In frame f the band's trailing edge
// is m = max(f - B, 0), and the lines from the last one in place up to f - 1
// are drawn: in place up to m, mirrored beyond it while c < limit.
//
//   f:   first .. B + extent + lastOffset
//   c:   last .. f - 1   ->  c <= m: in place       c > m: line m + f - c (near)
//                                                          line n + c - m - f (far)

enum class Side { Near, Far, Both };

struct RollingWipe {
    int32_t number;
    Axis axis;
    Side side;
    int firstFrame;
    int lastOffset;       // the last frame is B + extent + lastOffset
    // A standard pause after every so many copies (pairs of copies for Both),
    // counting each copy made, also a mirrored one whose source line lies
    // beyond the picture near the end and is clipped away; 0: a pause once
    // per frame with the total scaled by k.
    int copiesPerPause;
};

constexpr RollingWipe kRollingWipes[] = {
    {82, Axis::Columns, Side::Near, 1, -1, 75}, {83, Axis::Columns, Side::Far, 1, 0, 75},
    {84, Axis::Rows, Side::Near, 0, -1, 0},     {85, Axis::Rows, Side::Far, 0, 0, 0},
    {86, Axis::Columns, Side::Both, 0, 0, 50},  {87, Axis::Rows, Side::Both, 0, 0, 0},
};

// The new picture mirrored left to right, in a memory context of its own:
// its column w − 1 − s is column s of the new picture, so that a band of
// mirrored columns is one block of it. Null when the work surface's pixels
// cannot be read or the copy cannot be made.
std::unique_ptr<gfx::DeviceContext> MirroredPicture(const TransitionFrame& frame) {
    gfx::Surface* source = frame.work.Target();
    if (!source || source->Width() < frame.w || source->Height() < frame.h) return nullptr;
    auto mirror = gfx::Surface::Create(frame.w, frame.h);
    if (!mirror) return nullptr;
    {
        auto lock = source->LockForReading();
        for (int y = 0; y < frame.h; ++y) {
            const uint32_t* from = source->Row(y);
            uint32_t* to = mirror->Row(y);
            for (int x = 0; x < frame.w; ++x) to[x] = from[frame.w - 1 - x];
        }
    }
    auto context = frame.screen.CreateCompatible();
    context->SelectBitmap(std::move(mirror));
    return context;
}

// The mirrored lines of a frame are drawn as runs: the columns from the band's
// first up to the next pause (or the frame's end) come from the mirrored
// picture in one block, so that a frame touches each row once per run rather
// than once per column. Rows are whole rows already and are drawn one by one.
class Roll {
public:
    Roll(const RollingWipe& spec, const TransitionFrame& frame)
        : m_spec(spec), m_frame(frame), m_lines(frame, spec.axis), m_n(m_lines.Count()),
          m_band(static_cast<int>(m_n * 0.1)),
          m_extent(spec.side == Side::Both ? m_n / 2 : m_n),
          m_limit(spec.side == Side::Both ? m_n / 2 + 1 : m_n) {
        if (spec.axis == Axis::Columns && m_band >= 1) m_mirror = MirroredPicture(frame);
    }

    void Play() {
        int lastFrame = m_band + m_extent + m_spec.lastOffset;
        for (int f = m_spec.firstFrame; f <= lastFrame; ++f) PlayFrame(f);
        // Pictures of fewer than ten lines have no band, and their frames stop
        // one line short of the trailing edge the last frame means to reach:
        // put the lines up to it in place.
        for (int c = m_placed + 1; c <= lastFrame - m_band; ++c) InPlace(c);
    }

private:
    void PlayFrame(int f) {
        int m = std::max(f - m_band, 0);
        m_runFirst = 0;
        m_runLast = -1;
        for (int c = m_last; c < f; ++c) {
            if (c <= m) {
                InPlace(c);
                m_last = m_placed = c;
            } else if (c < m_limit) {
                if (m_mirror) {
                    if (m_runLast < m_runFirst) m_runFirst = c;
                    m_runLast = c;
                } else {
                    Mirrored(c, m, f);
                }
            } else {
                continue;
            }
            if (m_spec.copiesPerPause != 0 && ++m_count % m_spec.copiesPerPause == 0) {
                DrawRun(m, f);
                m_frame.Pause();
            }
        }
        DrawRun(m, f);
        if (m_spec.copiesPerPause == 0)
            m_frame.pacer.CalibratedWait(static_cast<uint32_t>(m_frame.speed), m_frame.total * m_frame.k);
    }

    // Columns m_runFirst … m_runLast of the band, from the mirrored picture:
    // near-side column c shows source column m + f − c, which is mirrored
    // column w − 1 − m − f + c; far-side column w − c shows source column
    // w + c − m − f, mirrored column (w − c) + m + f − w − 1. Sources beyond
    // the picture are clipped away as the single columns' are.
    void DrawRun(int m, int f) {
        if (m_runLast < m_runFirst) return;
        int count = m_runLast - m_runFirst + 1;
        int h = m_frame.h;
        if (m_spec.side != Side::Far)
            m_frame.Copy(*m_mirror, count, h, m_n - 1 - m - f + m_runFirst, 0, m_runFirst, 0);
        if (m_spec.side != Side::Near) {
            int left = m_n - m_runLast;
            m_frame.Copy(*m_mirror, count, h, left + m + f - m_n - 1, 0, left, 0);
        }
        m_runLast = m_runFirst - 1;
    }

    void InPlace(int c) const {
        if (m_spec.side != Side::Far) m_lines.Draw(c);
        if (m_spec.side != Side::Near) m_lines.Draw(m_n - c);
    }
    void Mirrored(int c, int m, int f) const {
        if (m_spec.side != Side::Far) m_lines.DrawFrom(m + f - c, c);
        if (m_spec.side != Side::Near) m_lines.DrawFrom(m_n + c - m - f, m_n - c);
    }

    const RollingWipe& m_spec;
    const TransitionFrame& m_frame;
    Lines m_lines;
    int m_n, m_band, m_extent, m_limit;
    int m_last = 0;     // where the next frame starts: the last line put in place
    int m_placed = -1;  // the highest line put in place so far (none yet)
    int64_t m_count = 0;
    std::unique_ptr<gfx::DeviceContext> m_mirror;   // null: mirrored lines are drawn one by one
    int m_runFirst = 0, m_runLast = -1;             // the mirrored columns not drawn yet
};

void PlayRolling(int32_t number, const TransitionFrame& frame) {
    for (const RollingWipe& spec : kRollingWipes)
        if (spec.number == number) Roll(spec, frame).Play();
}

// ---------------------------------------------------------------------------

struct Member {
    int32_t first, last;
    void (*play)(int32_t number, const TransitionFrame& frame);
};

constexpr Member kMembers[] = {
    {7, 8, PlayBox},          {11, 12, PlayLineWipe},   {37, 40, PlayLineWipe}, {49, 52, PlayLineWipe},
    {57, 60, PlayStaircase},  {61, 64, PlayDiagonal},   {67, 70, PlaySnake},    {75, 76, PlaySpiral},
    {77, 78, PlayFan},        {82, 87, PlayRolling},
};

} // namespace

void PlayWipe(int32_t number, const TransitionFrame& frame) {
    for (const Member& member : kMembers)
        if (number >= member.first && number <= member.last) return member.play(number, frame);
}

} // namespace showsaver
