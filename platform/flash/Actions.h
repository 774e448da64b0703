#pragma once
// The few AVM1 actions timeline movies need: Stop, Play, NextFrame,
// PrevFrame, GotoFrame, GotoFrame2 (with Push), GotoLabel, SetTarget and
// SetTarget2 for tellTarget, and GetURL's "FSCommand:quit". Every other
// action is skipped by its length.

#include <cstdint>
#include <span>
#include <vector>

#include "platform/flash/Playhead.h"

namespace showsaver::flash {

struct ActionResult {
    bool quit = false;   // FSCommand:quit was asked for
    int gotos = 0;       // gotos made in this step; past the limit the rest are ignored
};

// Runs one action block of `owner`'s frame. Gotos it makes add their target
// frames' actions to `more`.
void RunActions(Playhead& owner, Playhead& root, std::span<const uint8_t> code,
                std::vector<PendingActions>& more, ActionResult& result);

} // namespace showsaver::flash
