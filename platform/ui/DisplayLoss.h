#pragma once
// What happens when the X server goes away (it ends, or a client such as
// xkill closes our connection): Xlib calls its IO error handler and then
// exits, so no destructor runs. The process's own clean-up runs first.

#include <functional>

namespace showsaver::ui {

// Installs the handler for a lost display connection: `cleanUp` runs once
// (on whichever thread found the connection gone), then the process exits
// with status 1. Call after InitUi, which installs GDK's own handler.
void OnDisplayLost(std::function<void()> cleanUp);

} // namespace showsaver::ui
