#include "transitions/Families.h"

namespace showsaver {

// FIXME: stand-in until the family is built: one full copy.
void PlaySlide(int32_t, const TransitionFrame& frame) { frame.CopyAll(); }

} // namespace showsaver
