#pragma once
// The show's captures taken beside the UI thread on X11: the desktop is read
// over a connection of its own to the X server and written, then the
// wallpaper, all on a thread of its own, while the UI thread makes the
// show's window. The window maps once the desktop has been read.

#include "codec/RgbImage.h"
#include "playback/Captures.h"
#include "platform/sys/Event.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>

typedef struct _XDisplay Display;

namespace showsaver {

namespace registry { class Store; }

class CaptureThread {
public:
    struct Files {
        std::filesystem::path desktop;
        std::filesystem::path wallpaper;
    };
    // Runs on the thread at its end: whether both files were written, and
    // the wallpaper's style.
    using Done = std::function<void(bool written, WallpaperStyle style)>;

    // Null when the X server `displayName` cannot be reached on a second
    // connection: the captures are then the UI thread's.
    static std::unique_ptr<CaptureThread> Start(const std::string& displayName, Files files,
                                                const registry::Store& store, Done done);
    // Joins, as Join does.
    ~CaptureThread();
    CaptureThread(const CaptureThread&) = delete;
    CaptureThread& operator=(const CaptureThread&) = delete;

    // Returns once the desktop's pixels have been read (or could not be).
    void WaitForDesktop();
    // Returns once the thread has ended, running the UI loop's calls
    // meanwhile: a message box of the wallpaper waits for them.
    void Join();

private:
    CaptureThread() = default;
    void Run(Display* x, Files files, const registry::Store& store, Done done);

    sys::Event m_desktopRead;
    sys::Event m_ended;
    std::thread m_thread;
};

} // namespace showsaver
