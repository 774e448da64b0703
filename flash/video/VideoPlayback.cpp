#include "flash/video/VideoPlayback.h"

#include <cstring>

namespace showsaver::flash {

std::atomic<int> VideoPlayback::s_alive{0};

std::unique_ptr<VideoPlayback> VideoPlayback::Make(const VideoCharacter& video) {
    if (s_alive.load() >= Limits::kMaxVideoPlaybacks) return nullptr;
    std::string error;
    auto decoder = MakeVideoDecoder({video.codec, video.deblocking}, error);
    if (!decoder) return nullptr;
    return std::unique_ptr<VideoPlayback>(new VideoPlayback(video, std::move(decoder)));
}

VideoPlayback::VideoPlayback(const VideoCharacter& video, std::unique_ptr<VideoDecoder> decoder)
    : m_video(video), m_decoder(std::move(decoder)) {
    ++s_alive;
}

VideoPlayback::~VideoPlayback() { --s_alive; }

cairo_surface_t* VideoPlayback::Picture(int frame) {
    const auto& frames = m_video.frames;
    auto target = frames.upper_bound(static_cast<uint16_t>(std::clamp(frame, 0, 65535)));
    if (target == frames.begin()) return nullptr;
    --target;
    if (target->first == m_last) return m_surface.get();
    // Where to start: the nearest key frame at or before the target, unless
    // the decoder is already past it on the way there.
    auto start = target;
    while (start != frames.begin() && !IsKeyFrame(m_video.codec, start->second)) --start;
    if (m_last >= 0 && m_last < target->first && start->first <= m_last) {
        start = frames.upper_bound(static_cast<uint16_t>(m_last));
    } else {
        m_decoder->Reset();
    }
    VideoPicture picture;
    bool shown = false;
    for (auto it = start;; ++it) {
        const bool last = it == target;
        ++m_decoded;
        bool made = m_decoder->Decode(it->second, last ? &picture : nullptr);
        if (last) {
            shown = made && Show(picture);
            break;
        }
    }
    m_last = target->first;
    return shown || m_surface ? m_surface.get() : nullptr;
}

bool VideoPlayback::Show(const VideoPicture& picture) {
    if (!m_surface || cairo_image_surface_get_width(m_surface.get()) != picture.width ||
        cairo_image_surface_get_height(m_surface.get()) != picture.height) {
        m_surface.reset(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, picture.width, picture.height));
        if (cairo_surface_status(m_surface.get()) != CAIRO_STATUS_SUCCESS) {
            m_surface.reset();
            return false;
        }
    }
    cairo_surface_flush(m_surface.get());
    unsigned char* data = cairo_image_surface_get_data(m_surface.get());
    const int stride = cairo_image_surface_get_stride(m_surface.get());
    for (int y = 0; y < picture.height; ++y)
        std::memcpy(data + static_cast<ptrdiff_t>(y) * stride, picture.pixels.data() + static_cast<size_t>(y) * picture.width,
                    static_cast<size_t>(picture.width) * 4);
    cairo_surface_mark_dirty(m_surface.get());
    return true;
}

} // namespace showsaver::flash
