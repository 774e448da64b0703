#include "transitions/Families.h"

namespace showsaver {

// FIXME: stand-in until the family is built: one full copy.
void PlayFade(int32_t, const TransitionFrame& frame) { frame.CopyAll(); }

// FIXME: stand-in until the family is built: one full copy.
void PlayMorph(int32_t, const TransitionFrame& frame) { frame.CopyAll(); }

} // namespace showsaver
