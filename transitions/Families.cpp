#include "transitions/Families.h"

namespace showsaver {

void PlayWholeCopy(int32_t, const TransitionFrame& frame) { frame.CopyAll(); }

EffectPlayer FamilyPlayer(int32_t) {
    // FIXME: the dissolves, fades, slides, wipes and cell grids each get a
    // player of their own.
    return PlayWholeCopy;
}

} // namespace showsaver
