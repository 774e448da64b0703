#pragma once
// Keeps a Wayland compositor from going idle (blanking, locking, starting a
// screensaver of its own) while a window of ours is on screen, through the
// idle-inhibit protocol on the window's surface. X11 has its own switch
// (X11ServerSaver.h).

#include <memory>

typedef struct _GtkWidget GtkWidget;

namespace showsaver::ui {

class IdleInhibitor {
public:
    // Inhibits idle while `window` (realized and shown) is visible. Null on
    // X11 and on a compositor without the protocol.
    static std::unique_ptr<IdleInhibitor> ForWindow(GtkWidget* window);
    // Ends the inhibition at once.
    ~IdleInhibitor();
    IdleInhibitor(const IdleInhibitor&) = delete;
    IdleInhibitor& operator=(const IdleInhibitor&) = delete;

    struct Objects;

private:
    explicit IdleInhibitor(std::unique_ptr<Objects> objects);
    std::unique_ptr<Objects> m_objects;
};

} // namespace showsaver::ui
