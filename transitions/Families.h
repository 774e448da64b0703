#pragma once
// The effect families and which numbers each one plays. Each family lives in
// a file of its own; FamilyPlayer dispatches an effect number to it.

#include "transitions/TransitionEffect.h"

namespace showsaver {

// The player of an effect number from 4 to 87; null outside.
EffectPlayer FamilyPlayer(int32_t number);

// Random dissolves of blocks, rows and columns: 5, 6, 13, 14.
void PlayDissolve(int32_t number, const TransitionFrame& frame);
// Fades in from and out to black: 4, 65.
void PlayFade(int32_t number, const TransitionFrame& frame);
// Colour morph from the old picture to the new one: 66.
void PlayMorph(int32_t number, const TransitionFrame& frame);
// Slides, uncovers and pushes: 9, 10, 15, 16, 21-36, 41-48, 53-56, 71-74.
void PlaySlide(int32_t number, const TransitionFrame& frame);
// Wipes and line patterns: 7, 8, 11, 12, 37-40, 49-52, 57-64, 67-70, 75-78, 82-87.
void PlayWipe(int32_t number, const TransitionFrame& frame);
// Cell grids: 17-20, 79-81.
void PlayCellGrid(int32_t number, const TransitionFrame& frame);

} // namespace showsaver
