#pragma once
// The AVM1 actions timeline movies need: Stop, Play, NextFrame, PrevFrame,
// GotoFrame, GotoFrame2 (with Push), GotoLabel, SetTarget and SetTarget2
// for tellTarget, and GetURL's "FSCommand:quit". Around them the stack is
// kept honest: Jump and If branch, comparisons and arithmetic on numbers
// and strings are worked out, a frame's _currentframe, _totalframes and
// _framesloaded can be read, and every other stack action takes and gives
// as many values as it would (undefined for what it gives). Function
// bodies are stepped over, not run; actions we do not know are skipped by
// their length.

#include <cstdint>
#include <span>
#include <vector>

#include "flash/display/Playhead.h"

namespace showsaver::flash {

// What the actions of one step share.
struct ActionResult {
    bool quit = false;     // FSCommand:quit was asked for
    int gotos = 0;         // gotos made in this step; past the limit the rest are ignored
    size_t executed = 0;   // actions run in this step; past the limit the rest are not run
};

struct ActionContext {
    PlayheadRegistry& registry;
    Playhead& root;
    int version;                        // the movie's, for how strings and undefined convert
    std::vector<PendingActions>& more;  // gotos add their target frames' actions here
    ActionResult& result;
};

// Runs one action block of the frame of playhead `owner` (which must be
// alive). A goto may remove playheads, the owner among them: the block
// then runs on without them.
void RunActions(const ActionContext& context, uint64_t owner, std::span<const uint8_t> code);

} // namespace showsaver::flash
