// A placed video: the frame its ratio names, stretched over the stream's
// width and height (a pixel to 20 twips), through the object's colour
// transform; smoothed only when the stream asks for it.

#include "flash/render/Renderer.h"
#include "flash/video/VideoPlayback.h"

namespace showsaver::flash {
namespace {

struct PatternFreer {
    void operator()(cairo_pattern_t* pattern) const { cairo_pattern_destroy(pattern); }
};

} // namespace

void Renderer::DrawVideo(const VideoCharacter& video, const DisplayObject* object, const Matrix& m,
                         const ColorTransform& color) {
    if (!object || video.width <= 0 || video.height <= 0) return;
    if (!object->videoState) object->videoState = std::shared_ptr<VideoPlayback>(VideoPlayback::Make(video));
    auto* playback = static_cast<VideoPlayback*>(object->videoState.get());
    if (!playback) return;
    cairo_surface_t* picture = playback->Picture(object->ratio);
    if (!picture) return;
    BitmapCharacter frame;
    frame.surface.reset(cairo_surface_reference(picture));
    frame.width = cairo_image_surface_get_width(picture);
    frame.height = cairo_image_surface_get_height(picture);
    // VP6 codes whole macroblocks: a larger picture is cropped to the
    // stream's size; any other difference is scaled.
    const bool vp6 = video.codec == VideoCodec::Vp6 || video.codec == VideoCodec::Vp6Alpha;
    int shownWidth = vp6 && frame.width >= video.width ? video.width : frame.width;
    int shownHeight = vp6 && frame.height >= video.height ? video.height : frame.height;
    Matrix pixels = m * Matrix{20.0 * video.width / shownWidth, 0, 0, 20.0 * video.height / shownHeight, 0, 0};
    if (!SetMatrix(pixels)) return;
    std::unique_ptr<cairo_pattern_t, PatternFreer> source(cairo_pattern_create_for_surface(Transformed(frame, color).get()));
    cairo_pattern_set_filter(source.get(), video.smoothing ? CAIRO_FILTER_GOOD : CAIRO_FILTER_NEAREST);
    cairo_pattern_set_extend(source.get(), CAIRO_EXTEND_PAD);
    cairo_set_source(m_cr, source.get());
    cairo_rectangle(m_cr, 0, 0, shownWidth, shownHeight);
    cairo_fill(m_cr);
}

} // namespace showsaver::flash
