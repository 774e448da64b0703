#pragma once
// The X server's own screen saver: suspended while our show runs, so that
// it neither blanks the screen nor takes over from us.

typedef struct _GtkWidget GtkWidget;

namespace showsaver::ui {

// Suspends (true) or resumes (false) the screen saver of the X server that
// `widget` is on.
void SuspendServerScreenSaver(GtkWidget* widget, bool suspend);

} // namespace showsaver::ui
