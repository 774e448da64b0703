#pragma once
// Presents on an X11 window through shared-memory images (MIT-SHM): the
// screen surface and the layers keep their pixels in System V segments the
// X server reads directly, so a present is one request per rectangle and no
// copy on our side. The screen beneath an opaque layer is not sent.
//
// Every Xlib call runs on the UI thread. Segments are made on any thread
// (a player resizing its layer); they are attached on the UI thread when
// first shown, and a segment that goes is detached there by the next
// present, after the requests that still read it.

#include "app/FramePresenter.h"

#include <memory>

// Xlib's types, without its macros.
typedef struct _XDisplay Display;
typedef unsigned long XID;
typedef struct _GdkDisplay GdkDisplay;
typedef struct _GdkWindow GdkWindow;

namespace showsaver {

class X11ShmPresenter final : public FramePresenter {
public:
    // For windows of the visual `visualId` of the display's default screen.
    // Null when the display has no MIT-SHM or the visual's pixels are not
    // our xRGB words.
    static std::unique_ptr<X11ShmPresenter> Create(Display* display, unsigned long visualId);
    // The same for GDK's display and its default screen's system visual;
    // null on a display that is not X11.
    static std::unique_ptr<X11ShmPresenter> ForGdkDisplay(GdkDisplay* display);
    ~X11ShmPresenter() override;

    // Shows into `window` when it has the visual this presenter is for;
    // false otherwise.
    bool SetGdkWindow(GdkWindow* window);

    // The window to show into; until it is set, Show returns false.
    void SetWindow(XID window);

    gfx::PixelSource Pixels() override;
    bool Show(const gfx::Surface& screen, const gfx::LayerStack& layers, const gfx::Rect& dirty) override;

    class Book;
private:
    explicit X11ShmPresenter(std::shared_ptr<Book> book);
    std::shared_ptr<Book> m_book;
};

} // namespace showsaver
