#pragma once
// What the video players need from the window they play in: a layer for the
// pictures, a sink for the sound, and (for the panel) a way to run its
// commands on the thread that owns it.

#include "gfx/Geometry.h"
#include "platform/video/VideoFile.h"
#include "platform/video/VideoOutput.h"
#include "show/EmbeddedFile.h"

#include <functional>
#include <memory>

namespace showsaver::media {

// Opens the video a player is to play, from wherever it is kept; null when
// it cannot be opened.
using VideoOpener = std::function<std::unique_ptr<video::VideoFile>()>;

// Opens a show's video where the show keeps it (in memory, or in the show's
// file), read as it plays: it is never copied first. The opener owns what it
// reads from, so it may run, and the video play, after the item has gone.
inline VideoOpener EmbeddedVideo(const EmbeddedFile& file) {
    return [size = file.Size(), read = file.Reader()] { return video::VideoFile::OpenReader(size, read); };
}

// Makes the layer a video draws into: a pixel rectangle of `size` with its
// top-left corner at `topLeft` in the screensaver window, composed above the
// screen. The layer goes when the returned target is destroyed.
class VideoLayerFactory {
public:
    virtual ~VideoLayerFactory() = default;
    virtual std::unique_ptr<video::FrameTarget> CreateLayer(gfx::Point topLeft, gfx::Size size) = 0;
};

// Makes a sink for a video's sound; null when no sound can be played.
class AudioSinkFactory {
public:
    virtual ~AudioSinkFactory() = default;
    virtual std::unique_ptr<video::AudioSink> CreateSink() = 0;
};

// The thread that owns a video panel. Invoke runs `call` on that thread and
// returns once it has run, or as soon as the show is being stopped (false),
// so that a command sent from another thread can never deadlock. A call that
// was not run by then may run later or never; it must own what it uses.
class OwnerThread {
public:
    virtual ~OwnerThread() = default;
    virtual bool Invoke(std::function<void()> call) = 0;
};

} // namespace showsaver::media
