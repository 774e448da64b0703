#include "media/VideoOutputs.h"

#include "platform/audio/Streams.h"

#include <algorithm>

namespace showsaver::media {
namespace {

class LayerTarget final : public video::FrameTarget {
public:
    explicit LayerTarget(gfx::LayerHandle layer) : m_layer(std::move(layer)) { m_layer->SetVisible(true); }

    void ShowFrame(const uint32_t* xrgb, int width, int height, size_t stride) override {
        m_layer->Paint([&](gfx::Surface& pixels) {
            const int w = std::min(width, pixels.Width());
            const int h = std::min(height, pixels.Height());
            const auto* row = reinterpret_cast<const uint8_t*>(xrgb);
            for (int y = 0; y < h; ++y, row += stride)
                std::copy_n(reinterpret_cast<const uint32_t*>(row), w, pixels.Row(y));
        });
    }

    bool WriteFrame(int width, int height, const std::function<bool(uint32_t*, size_t)>& write) override {
        bool fits = false;
        m_layer->Paint([&](gfx::Surface& pixels) {
            fits = pixels.Width() == width && pixels.Height() == height;
            if (fits) write(pixels.Row(0), static_cast<size_t>(pixels.Stride()));
        });
        return fits;
    }

private:
    gfx::LayerHandle m_layer;
};

// A video's sound as a queue in the mixer. The player keeps at most a
// second ahead; the queue holds four.
class MixerSink final : public video::AudioSink {
public:
    explicit MixerSink(std::shared_ptr<audio::Output> output) : m_queue(std::move(output), 4 * kRate) {}

    void Queue(const int16_t* frames, size_t count) override { m_queue.Push({frames, count * kChannels}); }
    uint64_t PlayedFrames() const override { return m_queue.Consumed(); }
    void Clear() override { m_queue.Clear(); }

private:
    audio::FrameQueue m_queue;
};

} // namespace

std::unique_ptr<video::FrameTarget> WindowVideoLayers::CreateLayer(gfx::Point topLeft, gfx::Size size) {
    SaverWindowControl* window = m_window.load();
    if (!window) return nullptr;
    auto layer = window->AddLayer({topLeft.x, topLeft.y, topLeft.x + size.width, topLeft.y + size.height});
    if (!layer) return nullptr;
    return std::make_unique<LayerTarget>(std::move(layer));
}

std::unique_ptr<video::AudioSink> MixerSoundSinks::CreateSink() {
    auto output = m_output.Get();
    if (!output) return nullptr;
    return std::make_unique<MixerSink>(std::move(output));
}

} // namespace showsaver::media
