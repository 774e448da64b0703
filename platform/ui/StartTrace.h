#pragma once
// Marks on the road from the process's start to its first picture, written
// to stderr when SHOWSAVER_TRACE_START=1: the milliseconds since the process
// started (read from the kernel), since the first mark, the process's CPU
// time so far, and the monotonic clock itself, so that a program that spawned us can line them up with its
// own clock. Each mark is written the first time it is reached only, so
// that marks may sit on paths that run again. Costs a flag's test when off.

namespace showsaver::ui {

// `what` is a string literal: marks are told apart by its address.
void TraceStart(const char* what);

} // namespace showsaver::ui
