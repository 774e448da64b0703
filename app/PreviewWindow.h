#pragma once
// The preview of mode p: a child window inside another program's X window
// (the settings panel's preview area), showing our preview picture on black
// and, beside it, the screensaver's name scrolling upwards one character per
// line. It runs until its parent goes away.
//
// Plain Xlib: the preview needs no toolkit, and the scroller draws from its
// own thread through its own display connection.

#include "gfx/Surface.h"
#include "platform/sys/Event.h"
#include "platform/sys/Thread.h"

#include <atomic>
#include <memory>
#include <string>

struct _XDisplay;

namespace showsaver {

class PreviewWindow {
public:
    // The drawing area of the preview picture.
    static constexpr int kPictureWidth = 97;
    static constexpr int kPictureHeight = 112;

    // Creates the child window at the parent's client rectangle. Null when
    // there is no display or `parent` is not an existing window.
    static std::unique_ptr<PreviewWindow> Create(unsigned long parent, const std::string& name);
    PreviewWindow(const PreviewWindow&) = delete;
    PreviewWindow& operator=(const PreviewWindow&) = delete;
    // Stops and joins the scroller, then closes the window.
    ~PreviewWindow();

    // Handles the window's events until it is destroyed (with its parent).
    void Run();

    unsigned long Handle() const { return m_window; }

private:
    PreviewWindow(_XDisplay* display, unsigned long window, int width, int height, std::string name);
    void Paint();
    void Scroll();

    _XDisplay* m_display;
    unsigned long m_window;   // an X window id
    std::atomic<int> m_width, m_height;   // read by the scroller
    std::string m_name;
    gfx::Surface m_picture;
    sys::Event m_stop;
    sys::SuspendedThread m_scroller;
};

// The strip of the scroller: each character of `name` on its own line in
// bold Arial, height -11, colour 0x00FFFFDC, on black.
gfx::Surface MakeNameStrip(const std::string& name);

} // namespace showsaver
