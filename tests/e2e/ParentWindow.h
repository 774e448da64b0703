#pragma once
// A plain X window of the test's own, standing in for the settings panel's
// preview area. Xlib stays inside its .cpp (its macros clash with gtest).

struct _XDisplay;

namespace showsaver::e2e {

class ParentWindow {
public:
    // A mapped white window at (x, y) of the root window; Id() is 0 when
    // there is no display.
    ParentWindow(int x, int y, int width, int height);
    ~ParentWindow();
    ParentWindow(const ParentWindow&) = delete;
    ParentWindow& operator=(const ParentWindow&) = delete;

    unsigned long Id() const { return m_window; }
    // True when this client can take the keyboard and the pointer, that is
    // when no other client holds them; lets them go again at once.
    bool CanGrabInput();
    // Destroys the window now (as the panel does when it closes).
    void Destroy();

private:
    _XDisplay* m_display = nullptr;
    unsigned long m_window = 0;
};

} // namespace showsaver::e2e
