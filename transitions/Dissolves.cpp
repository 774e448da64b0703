// Random dissolves: the picture is cut into pieces (blocks, rows or
// columns), listed column by column, and the pieces are copied in random
// order until none is left.
//
//   list: piece 0 … n − 1      repeat: v = random 0 … n − 1 (32768 → 0)
//                                      copy the v-th pending piece, remove it
//                                      5: stop test, ends early | others: pause
//
// A piece of cell size cw × ch at list position i lies at
// (cw × (i div rows), ch × (i mod rows)), rows = ceil(h ⁄ ch); pieces cut by
// the right or bottom edge are clipped by the copy.

#include "show/Random.h"
#include "transitions/Families.h"
#include "transitions/PendingList.h"

#include <array>

namespace showsaver {
namespace {

struct DissolveSpec {
    int32_t number;
    int cellWidth;    // 0: the picture's width (one row per piece)
    int cellHeight;   // 0: the picture's height (one column per piece)
    bool paced;       // standard pause after each piece; otherwise unpaced with a stop test
};

constexpr std::array<DissolveSpec, 4> kDissolves{{
    {5, 4, 4, false},
    {6, 8, 8, true},
    {13, 0, 1, true},
    {14, 1, 0, true},
}};

int CeilDiv(int a, int b) { return (a + b - 1) / b; }

void Dissolve(const DissolveSpec& spec, const TransitionFrame& frame) {
    int cw = spec.cellWidth ? spec.cellWidth : frame.w;
    int ch = spec.cellHeight ? spec.cellHeight : frame.h;
    uint32_t rows = static_cast<uint32_t>(CeilDiv(frame.h, ch));
    PendingList pending(static_cast<uint32_t>(CeilDiv(frame.w, cw)) * rows);
    RangeRandom random;
    random.Seed(0);
    while (!pending.Empty()) {
        auto last = static_cast<int32_t>(pending.Size() - 1);
        random.SetRange(0, last);
        int32_t v = random.Next();
        if (v > last || v < 0) v = 0;
        uint32_t piece = pending.TakeAt(static_cast<uint32_t>(v));
        frame.Block(cw, ch, cw * static_cast<int>(piece / rows), ch * static_cast<int>(piece % rows));
        if (pending.Empty()) break;
        if (spec.paced) {
            frame.Pause();
        } else if (frame.pacer.IsStopRequested()) {
            pending.Clear();
        }
    }
}

} // namespace

void PlayDissolve(int32_t number, const TransitionFrame& frame) {
    for (const DissolveSpec& spec : kDissolves)
        if (spec.number == number) return Dissolve(spec, frame);
}

} // namespace showsaver
