#include "tests/e2e/ParentWindow.h"

#include <X11/Xlib.h>

namespace showsaver::e2e {

ParentWindow::ParentWindow(int x, int y, int width, int height) {
    m_display = XOpenDisplay(nullptr);
    if (!m_display) return;
    int screen = DefaultScreen(m_display);
    m_window = XCreateSimpleWindow(m_display, DefaultRootWindow(m_display), x, y, static_cast<unsigned>(width),
                                   static_cast<unsigned>(height), 0, BlackPixel(m_display, screen),
                                   WhitePixel(m_display, screen));
    XMapWindow(m_display, m_window);
    XSync(m_display, False);
}

ParentWindow::~ParentWindow() {
    Destroy();
    if (m_display) XCloseDisplay(m_display);
}

bool ParentWindow::CanGrabInput() {
    if (!m_display || !m_window) return false;
    bool keyboard = XGrabKeyboard(m_display, m_window, False, GrabModeAsync, GrabModeAsync, CurrentTime) == GrabSuccess;
    bool pointer = XGrabPointer(m_display, m_window, False, ButtonPressMask, GrabModeAsync, GrabModeAsync, None, None,
                                CurrentTime) == GrabSuccess;
    XUngrabKeyboard(m_display, CurrentTime);
    XUngrabPointer(m_display, CurrentTime);
    XSync(m_display, False);
    return keyboard && pointer;
}

void ParentWindow::Destroy() {
    if (!m_display || !m_window) return;
    XDestroyWindow(m_display, m_window);
    XSync(m_display, False);
    m_window = 0;
}

} // namespace showsaver::e2e
