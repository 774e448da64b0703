#pragma once
// What happens when the display goes away: the X server ends, or a client
// such as xkill closes our connection (Xlib calls its IO error handler and
// then exits, so no destructor runs), or the Wayland compositor ends (GDK
// would exit at once). The process's own clean-up runs first.

#include <functional>

namespace showsaver::ui {

// Installs the handlers for a lost connection to the display GDK opened:
// `cleanUp` runs once (on whichever thread found the connection gone), then
// the process exits with status 1. Call after InitUi, which installs GDK's
// own handler.
void OnDisplayLost(std::function<void()> cleanUp);

} // namespace showsaver::ui
