#pragma once
// The UI thread: GTK on X11 or Wayland, its main loop, and handing calls to
// it from other threads.

#include <functional>

namespace showsaver::sys { class Event; }

namespace showsaver::ui {

// The display systems GTK may open. X11 alone is the default: the preview
// and the daemons' modes draw into X11 windows of other programs. The show
// and the dialogs take Wayland when the session offers it (WAYLAND_DISPLAY),
// and X11 otherwise.
enum class DisplaySystems { X11, WaylandOrX11 };
// Chooses for the next InitUi; no effect once GTK runs.
void SetDisplaySystems(DisplaySystems systems);

// Starts GTK on the calling thread, which becomes the UI thread.
// False when no display can be opened.
bool InitUi();
// True when GTK runs on a Wayland compositor.
bool IsWayland();
// The screen's size in pixels: the X11 root window's, or on Wayland the
// first output's (a fullscreen window covers one output). 0 x 0 before
// InitUi.
struct ScreenSize {
    int width = 0;
    int height = 0;
};
ScreenSize GetScreenSize();
// Keeps GDK from probing OpenGL, which loads a renderer of tens of
// megabytes we never use: everything is drawn with cairo. Call before
// GTK initialises; InitUi does.
void KeepGdkFromOpenGl();
bool IsUiReady();
bool IsUiThread();

// Runs the main loop until QuitUiLoop.
void RunUiLoop();
// Ends the main loop; callable from any thread.
void QuitUiLoop();

// Runs `call` on the UI thread soon; returns at once.
void PostToUiThread(std::function<void()> call);

// Runs `call` on the UI thread and waits until it has run, or until `stop`
// is set: a caller on another thread never blocks past a stop request, so
// stopping cannot deadlock. Returns true when the call has run. On the UI
// thread itself the call runs at once.
bool CallOnUiThread(std::function<void()> call, const sys::Event* stop = nullptr);

// Turns SIGTERM, SIGINT and SIGHUP into a call of `onSignal` on the UI thread, from
// the main loop (any loop that runs the default main context, dialogs
// included). The handler only writes a byte to a pipe that the loop watches;
// a signal that arrives before a loop runs waits in the pipe. Installing
// again replaces the call.
void WatchTerminationSignals(std::function<void()> onSignal);
// The pipe's reading end, for a loop of its own that cannot run the main
// context (poll it for reading); -1 before WatchTerminationSignals.
int TerminationSignalFd();
// True once one of those signals has arrived after WatchTerminationSignals.
bool TerminationSignalled();

} // namespace showsaver::ui
