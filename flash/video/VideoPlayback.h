#pragma once
// One placed video: its decoder and the frame last shown. Asked for a frame
// number (the placement's ratio), it shows the last frame stored at or
// before it, decoding on from where it was, or from the key frame before
// it when the number went back or a key frame lies closer.

#include <atomic>
#include <memory>

#include "flash/characters/Movie.h"
#include "flash/video/VideoDecoder.h"

namespace showsaver::flash {

class VideoPlayback {
public:
    // Null past Limits::kMaxVideoPlaybacks alive at once, or when the codec
    // has no decoder here.
    static std::unique_ptr<VideoPlayback> Make(const VideoCharacter& video);
    ~VideoPlayback();
    VideoPlayback(const VideoPlayback&) = delete;
    VideoPlayback& operator=(const VideoPlayback&) = delete;

    // The picture for `frame`, premultiplied ARGB32; null when no frame at
    // or before it decodes.
    cairo_surface_t* Picture(int frame);
    // Packets decoded so far, for tests of the seeking.
    size_t PacketsDecoded() const { return m_decoded; }

private:
    VideoPlayback(const VideoCharacter& video, std::unique_ptr<VideoDecoder> decoder);
    bool Show(const VideoPicture& picture);

    static std::atomic<int> s_alive;
    const VideoCharacter& m_video;
    std::unique_ptr<VideoDecoder> m_decoder;
    int m_last = -1;   // the stored frame the decoder last took
    CairoSurfacePtr m_surface;
    size_t m_decoded = 0;
};

} // namespace showsaver::flash
