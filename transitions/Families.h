#pragma once
// The effect families and which numbers each one plays.

#include "transitions/TransitionEffect.h"

namespace showsaver {

// The player of an effect number from 4 to 87.
EffectPlayer FamilyPlayer(int32_t number);

// Shows the new picture with one full copy: the stand-in for numbers whose
// family is not built yet.
void PlayWholeCopy(int32_t number, const TransitionFrame& frame);

} // namespace showsaver
