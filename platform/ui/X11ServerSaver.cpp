#include "platform/ui/X11ServerSaver.h"

#include <gdk/gdkx.h>
#include <gtk/gtk.h>

#include <X11/extensions/scrnsaver.h>

namespace showsaver::ui {

void SuspendServerScreenSaver(GtkWidget* widget, bool suspend) {
    GdkDisplay* display = gtk_widget_get_display(widget);
    if (!GDK_IS_X11_DISPLAY(display)) return;
    XScreenSaverSuspend(gdk_x11_display_get_xdisplay(display), suspend ? True : False);
}

} // namespace showsaver::ui
