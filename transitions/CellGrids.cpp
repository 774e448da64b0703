// Cell grids: the picture is cut into square cells (16 or 40 pixels) and
// every cell is revealed at the same time with the same small pattern.
//
//   for pass p:                       (two passes for 16-pixel cells, else one)
//     for step s:                     (offset within the cell, or frame)
//       for cell j (checkerboards: j mod 2 = p only):
//         the member's copies for (cell, p, s)
//         16-pixel cells: standard pause
//       40-pixel cells: the frame's pauses
//
// The grid has cols = ceil(w ⁄ C) and rows = ceil(h ⁄ C); when the count the
// cells are numbered by (cols, or rows for 18) is even, both grow by one so
// that even and odd numbers form a checkerboard. The extra column and row
// lie beyond the picture and every copy is clipped to it. No member ends
// with a full copy: the last step completes every cell.

#include "transitions/Families.h"

#include <algorithm>
#include <array>

namespace showsaver {
namespace {

struct Cell {
    int col, row;
    int left, top;   // C × col, C × row
};

// The copies one member makes for one cell at one step of one pass.
using CellCopies = void (*)(const TransitionFrame& frame, const Cell& cell, int pass, int step);

enum class Pacing {
    PerCell,         // a standard pause after every cell visited
    FivePerFrame,    // five pauses with elapsed = 2 × speed and total = 3000
    ThreePerFrame,   // three standard pauses
};

struct GridSpec {
    int32_t number;
    int cell;                       // C
    bool byColumns;                 // cells numbered column by column (rows is the odd count)
    int passes;
    int first, last, by;            // the steps: first, first + by, … last
    bool checkerboard;              // a pass visits only the cells with j mod 2 = pass
    Pacing pacing;
    CellCopies copies;
};

// 17: the cell's column `step`, top to bottom.
void CheckerColumn(const TransitionFrame& f, const Cell& c, int, int step) { f.Block(1, 16, c.left + step, c.top); }
// 18: the cell's row `step`.
void CheckerRow(const TransitionFrame& f, const Cell& c, int, int step) { f.Block(16, 1, c.left, c.top + step); }
// 19: every second column, shifted by one in every second cell row.
void StippleColumn(const TransitionFrame& f, const Cell& c, int pass, int step) {
    int shift = c.row % 2 == 0 ? pass : 1 - pass;
    f.Block(1, 16, c.left + step + shift, c.top);
}
// 20: every second row, shifted by one in every second cell of the checkerboard.
void StippleRow(const TransitionFrame& f, const Cell& c, int pass, int step) {
    int shift = (c.row + c.col) % 2 == 0 ? pass : 1 - pass;
    f.Block(16, 1, c.left, c.top + step + shift);
}
// 79: a square of side 2j around the cell's centre. The square of the frame
// before is in place already, so only the ring around it is copied.
void GrowingSquare(const TransitionFrame& f, const Cell& c, int, int j) {
    if (j <= 0) return;
    int a = c.left + 20 - j, b = c.top + 20 - j, side = 2 * j;
    f.Block(side, 1, a, b);
    f.Block(side, 1, a, b + side - 1);
    f.Block(1, side - 2, a, b + 1);
    f.Block(1, side - 2, a + side - 1, b + 1);
}
// 80: the outline of the square of side 2d around the cell's centre.
void ClosingOutline(const TransitionFrame& f, const Cell& c, int, int d) {
    int a = c.left + 20 - d, b = c.top + 20 - d;
    f.Block(2 * d, 1, a, b);
    f.Block(2 * d, 1, a, b + 2 * d);
    f.Block(1, 2 * d, a, b);
    f.Block(1, 2 * d + 1, a + 2 * d, b);
}
// 81: rows 0 … Z − 1 of the cell, each min(Z − i, 40) long: a diagonal edge.
// Rows past 40 fall on the first row of the cell below, which that cell's
// own first row covers in the same frame (or which lies below the picture).
// A row is one pixel longer than in the frame before until it is whole, so
// that pixel is all a frame copies of it.
void DiagonalEdge(const TransitionFrame& f, const Cell& c, int, int z) {
    for (int i = std::max(0, z - 40); i < std::min(z, 40); ++i) f.Block(1, 1, c.left + z - i - 1, c.top + i);
}

constexpr std::array<GridSpec, 7> kGrids{{
    {17, 16, false, 2, 0, 15, 1, true, Pacing::PerCell, CheckerColumn},
    {18, 16, true, 2, 0, 15, 1, true, Pacing::PerCell, CheckerRow},
    {19, 16, false, 2, 0, 14, 2, false, Pacing::PerCell, StippleColumn},
    {20, 16, false, 2, 0, 14, 2, false, Pacing::PerCell, StippleRow},
    {79, 40, false, 1, 0, 20, 1, false, Pacing::FivePerFrame, GrowingSquare},
    {80, 40, false, 1, 20, 0, -1, false, Pacing::FivePerFrame, ClosingOutline},
    {81, 40, false, 1, 0, 80, 1, false, Pacing::ThreePerFrame, DiagonalEdge},
}};

struct Grid {
    int size, cols, rows;
    bool byColumns;

    Grid(const GridSpec& spec, int w, int h)
        : size(spec.cell), cols((w + size - 1) / size), rows((h + size - 1) / size), byColumns(spec.byColumns) {
        if ((byColumns ? rows : cols) % 2 == 0) {
            ++cols;
            ++rows;
        }
    }
    int Count() const { return cols * rows; }
    Cell At(int j) const {
        int col = byColumns ? j / rows : j % cols;
        int row = byColumns ? j % rows : j / cols;
        return {col, row, size * col, size * row};
    }
};

void FramePauses(const GridSpec& spec, const TransitionFrame& frame) {
    if (spec.pacing == Pacing::FivePerFrame)
        for (int i = 0; i < 5; ++i) frame.pacer.CalibratedWait(static_cast<uint32_t>(frame.s2), 3000.0);
    else if (spec.pacing == Pacing::ThreePerFrame)
        for (int i = 0; i < 3; ++i) frame.Pause();
}

void PlayGrid(const GridSpec& spec, const TransitionFrame& frame) {
    Grid grid(spec, frame.w, frame.h);
    for (int pass = 0; pass < spec.passes; ++pass)
        for (int step = spec.first; step != spec.last + spec.by; step += spec.by) {
            for (int j = 0; j < grid.Count(); ++j) {
                if (spec.checkerboard && j % 2 != pass) continue;
                spec.copies(frame, grid.At(j), pass, step);
                if (spec.pacing == Pacing::PerCell) frame.Pause();
            }
            FramePauses(spec, frame);
        }
}

} // namespace

void PlayCellGrid(int32_t number, const TransitionFrame& frame) {
    for (const GridSpec& spec : kGrids)
        if (spec.number == number) return PlayGrid(spec, frame);
}

} // namespace showsaver
