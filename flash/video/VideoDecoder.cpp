// The embedded video codecs through FFmpeg's decoders, one codec context
// per placed video, pictures converted to premultiplied ARGB by swscale.

#include "flash/video/VideoDecoder.h"

#include "platform/ffmpeg/Ffmpeg.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <optional>
#include <cstring>
#include <mutex>
#include <vector>

namespace showsaver::flash {
namespace {

using ffmpeg::Av;

struct AvCodecFreer {
    void operator()(AVCodecContext* context) const { Av().avcodec_free_context(&context); }
};
struct AvFrameFreer {
    void operator()(AVFrame* frame) const { Av().av_frame_free(&frame); }
};
struct AvPacketFreer {
    void operator()(AVPacket* packet) const { Av().av_packet_free(&packet); }
};
struct SwsFreer {
    void operator()(SwsContext* context) const { Av().sws_freeContext(context); }
};

AVCodecID CodecId(VideoCodec codec) {
    switch (codec) {
    case VideoCodec::H263: return AV_CODEC_ID_FLV1;
    case VideoCodec::ScreenVideo: return AV_CODEC_ID_FLASHSV;
    case VideoCodec::Vp6: return AV_CODEC_ID_VP6F;
    case VideoCodec::Vp6Alpha: return AV_CODEC_ID_VP6A;
    case VideoCodec::ScreenVideo2: return AV_CODEC_ID_FLASHSV2;
    }
    return AV_CODEC_ID_NONE;
}

// Most significant bit first, zero past the end.
class BitReader {
public:
    explicit BitReader(std::span<const uint8_t> data) : m_data(data) {}
    uint32_t Get(int count) {
        uint32_t value = 0;
        for (int i = 0; i < count; ++i, ++m_bit) {
            size_t byte = m_bit / 8;
            int bit = byte < m_data.size() ? (m_data[byte] >> (7 - m_bit % 8)) & 1 : 0;
            value = value << 1 | static_cast<uint32_t>(bit);
        }
        return value;
    }
    bool Past() const { return m_bit > m_data.size() * 8; }

private:
    std::span<const uint8_t> m_data;
    size_t m_bit = 0;
};

// The picture header: start code, version, temporal reference, the size
// (custom sizes in 8 or 16 bits), the picture type (0 for intra), the
// deblocking flag and the quantiser.
struct H263Header {
    bool intra = false, deblocking = false;
    int quantiser = 0;
};
std::optional<H263Header> ReadH263Header(std::span<const uint8_t> packet) {
    BitReader bits(packet);
    if (bits.Get(17) != 1) return std::nullopt;
    bits.Get(5 + 8);
    uint32_t size = bits.Get(3);
    if (size == 0) bits.Get(16);
    if (size == 1) bits.Get(32);
    H263Header header;
    header.intra = bits.Get(2) == 0;
    header.deblocking = bits.Get(1) != 0;
    header.quantiser = static_cast<int>(bits.Get(5));
    if (bits.Past()) return std::nullopt;
    return header;
}

bool H263KeyFrame(std::span<const uint8_t> packet) {
    auto header = ReadH263Header(packet);
    return header && header->intra;
}

// The H.263 deblocking filter (its Annex J), run over a decoded picture's
// planes after decoding, across each 8-pixel block edge: A B | C D become
// A-d2 B+d1 | C-d1 D+d2, d1 ramping down past a strength the quantiser
// gives, so that real edges in the picture stay.
int Ramp(int x, int strength) {
    int magnitude = std::max(0, std::abs(x) - std::max(0, 2 * (std::abs(x) - strength)));
    return x < 0 ? -magnitude : magnitude;
}

void DeblockEdge(uint8_t* a, uint8_t* b, uint8_t* c, uint8_t* d, int strength) {
    int d1 = Ramp((*a - 4 * *b + 4 * *c - *d) / 8, strength);
    int limit = std::abs(d1 / 2);
    int d2 = std::clamp((*a - *d) / 4, -limit, limit);
    *b = static_cast<uint8_t>(std::clamp(*b + d1, 0, 255));
    *c = static_cast<uint8_t>(std::clamp(*c - d1, 0, 255));
    *a = static_cast<uint8_t>(*a - d2);
    *d = static_cast<uint8_t>(*d + d2);
}

void DeblockPlane(uint8_t* plane, int stride, int width, int height, int strength) {
    for (int y = 0; y < height; ++y) {
        uint8_t* row = plane + static_cast<ptrdiff_t>(y) * stride;
        for (int x = 8; x + 1 < width; x += 8) DeblockEdge(row + x - 2, row + x - 1, row + x, row + x + 1, strength);
    }
    for (int y = 8; y + 1 < height; y += 8) {
        auto row = [&](int r) { return plane + static_cast<ptrdiff_t>(r) * stride; };
        for (int x = 0; x < width; ++x) DeblockEdge(row(y - 2) + x, row(y - 1) + x, row(y) + x, row(y + 1) + x, strength);
    }
}

int DeblockStrength(int quantiser) {
    static constexpr int kStrength[32] = {0, 1, 1, 2, 2, 3, 3, 4, 4, 4, 5, 5, 6, 6, 7, 7,
                                          7, 8, 8, 8, 9, 9, 9, 10, 10, 10, 11, 11, 11, 12, 12, 12};
    return kStrength[std::clamp(quantiser, 0, 31)];
}

// Block and image sizes, then each block's length (big-endian u16) and
// data; an inter frame leaves blocks that did not change empty. Screen
// Video 2 adds a flags byte after the sizes (an image or a palette that we
// do not take for a key frame) and one at the start of each block's data:
// a block coded as a change (diff) or against the previous frame's block
// (zlib primed from it) needs the frame before.
bool ScreenVideoKeyFrame(std::span<const uint8_t> packet, bool version2) {
    const size_t header = version2 ? 5 : 4;
    if (packet.size() < header || (version2 && (packet[4] & 0x03))) return false;
    int blockWidth = ((packet[0] >> 4) + 1) * 16, width = (packet[0] & 0x0F) << 8 | packet[1];
    int blockHeight = ((packet[2] >> 4) + 1) * 16, height = (packet[2] & 0x0F) << 8 | packet[3];
    size_t blocks = static_cast<size_t>((width + blockWidth - 1) / blockWidth) * ((height + blockHeight - 1) / blockHeight);
    size_t at = header;
    for (size_t i = 0; i < blocks; ++i) {
        if (at + 2 > packet.size()) return false;
        size_t length = size_t{packet[at]} << 8 | packet[at + 1];
        if (length == 0) return false;
        if (version2 && (at + 3 > packet.size() || (packet[at + 2] & 0x05))) return false;
        at += 2 + length;
    }
    return blocks > 0;
}

class FfmpegVideoDecoder final : public VideoDecoder {
public:
    bool Open(const VideoFormat& format, std::string& error) {
        // A screensaver has no one to read the decoders' remarks on damaged
        // packets; a packet that does not decode shows the frame before.
        static std::once_flag quiet;
        std::call_once(quiet, [] { Av().av_log_set_level(AV_LOG_QUIET); });
        m_codec = format.codec;
        m_deblocking = format.deblocking;
        const AVCodec* codec = Av().avcodec_find_decoder(CodecId(format.codec));
        if (!codec) {
            error = "no decoder for video codec " + std::to_string(static_cast<int>(format.codec));
            return false;
        }
        m_context.reset(Av().avcodec_alloc_context3(codec));
        m_frame.reset(Av().av_frame_alloc());
        m_packet.reset(Av().av_packet_alloc());
        if (!m_context || !m_frame || !m_packet) {
            error = "no memory for a video decoder";
            return false;
        }
        // The decoder refuses a picture larger than we would draw, before
        // it allocates for it.
        m_context->max_pixels = Limits::kMaxVideoPixels;
        m_context->thread_count = 1;
        if (format.deblocking == 1) m_context->skip_loop_filter = AVDISCARD_ALL;
        if (format.deblocking >= 2) m_context->flags |= AV_CODEC_FLAG_LOOP_FILTER;
        if (Av().avcodec_open2(m_context.get(), codec, nullptr) < 0) {
            error = "the video decoder does not open";
            return false;
        }
        return true;
    }

    bool Decode(std::span<const uint8_t> packet, VideoPicture* picture) override {
        if (packet.empty() || packet.size() > INT_MAX / 2) return false;
        Av().av_packet_unref(m_packet.get());
        if (Av().av_new_packet(m_packet.get(), static_cast<int>(packet.size())) < 0) return false;
        std::memcpy(m_packet->data, packet.data(), packet.size());
        // The container's key frame flag, which some decoders (Screen
        // Video 2) need: the packet's own header, or the first after a reset.
        if (m_fresh || IsKeyFrame(m_codec, packet)) m_packet->flags |= AV_PKT_FLAG_KEY;
        m_fresh = false;
        if (Av().avcodec_send_packet(m_context.get(), m_packet.get()) < 0) return false;
        bool made = false;
        while (Av().avcodec_receive_frame(m_context.get(), m_frame.get()) >= 0) {
            if (picture) Deblock(packet);
            made = !picture || Convert(*picture);
            Av().av_frame_unref(m_frame.get());
        }
        return made;
    }

    void Reset() override {
        Av().avcodec_flush_buffers(m_context.get());
        m_fresh = true;
    }

private:
    // Sorenson H.263 is deblocked after decoding when the stream says so,
    // or leaves it to each packet and the packet says so. The picture is
    // copied first: the decoder predicts the next frame from its own.
    void Deblock(std::span<const uint8_t> packet) {
        if (m_codec != VideoCodec::H263 || m_deblocking == 1 || m_frame->format != AV_PIX_FMT_YUV420P) return;
        auto header = ReadH263Header(packet);
        if (!header || (m_deblocking == 0 && !header->deblocking)) return;
        if (Av().av_frame_make_writable(m_frame.get()) < 0) return;
        const int strength = DeblockStrength(header->quantiser);
        for (int plane = 0; plane < 3; ++plane) {
            int w = plane ? (m_frame->width + 1) / 2 : m_frame->width, h = plane ? (m_frame->height + 1) / 2 : m_frame->height;
            DeblockPlane(m_frame->data[plane], m_frame->linesize[plane], w, h, strength);
        }
    }

    // Into BGRA (cairo's ARGB32 in memory), in rows padded for the scaler,
    // then premultiplied on their way into the picture.
    bool Convert(VideoPicture& picture) {
        const int w = m_frame->width, h = m_frame->height;
        if (w <= 0 || h <= 0 || w > Limits::kMaxVideoSide || h > Limits::kMaxVideoSide ||
            int64_t{w} * h > Limits::kMaxVideoPixels)
            return false;
        auto format = static_cast<AVPixelFormat>(m_frame->format);
        m_scaler.reset(Av().sws_getCachedContext(m_scaler.release(), w, h, format, w, h, AV_PIX_FMT_BGRA, SWS_BICUBIC,
                                            nullptr, nullptr, nullptr));
        if (!m_scaler) return false;
        const size_t stride = ffmpeg::PaddedScaleRow(w);
        m_scaled.resize(stride * static_cast<size_t>(h));
        uint8_t* rows[4] = {reinterpret_cast<uint8_t*>(m_scaled.data()), nullptr, nullptr, nullptr};
        int strides[4] = {static_cast<int>(stride * 4), 0, 0, 0};
        if (Av().sws_scale(m_scaler.get(), m_frame->data, m_frame->linesize, 0, h, rows, strides) != h) return false;
        picture.width = w;
        picture.height = h;
        picture.pixels.resize(static_cast<size_t>(w) * h);
        for (size_t y = 0; y < static_cast<size_t>(h); ++y) {
            const uint32_t* from = m_scaled.data() + y * stride;
            uint32_t* to = picture.pixels.data() + y * static_cast<size_t>(w);
            for (int x = 0; x < w; ++x) {
                const uint32_t p = from[x], a = p >> 24;
                auto mul = [a](uint32_t c) { return (c * a + 127) / 255; };
                to[x] = a == 255 ? p : a << 24 | mul(p >> 16 & 0xFF) << 16 | mul(p >> 8 & 0xFF) << 8 | mul(p & 0xFF);
            }
        }
        return true;
    }

    std::unique_ptr<AVCodecContext, AvCodecFreer> m_context;
    std::unique_ptr<AVFrame, AvFrameFreer> m_frame;
    std::unique_ptr<AVPacket, AvPacketFreer> m_packet;
    std::unique_ptr<SwsContext, SwsFreer> m_scaler;
    std::vector<uint32_t> m_scaled;   // the scaler's output, rows padded to its blocks
    VideoCodec m_codec = VideoCodec::H263;
    uint8_t m_deblocking = 0;
    bool m_fresh = true;
};

} // namespace

std::unique_ptr<VideoDecoder> MakeVideoDecoder(const VideoFormat& format, std::string& error) {
    if (auto loaded = ffmpeg::Load(); !loaded) {
        error = loaded.Error().what;
        return nullptr;
    }
    auto decoder = std::make_unique<FfmpegVideoDecoder>();
    if (!decoder->Open(format, error)) return nullptr;
    return decoder;
}

bool IsKeyFrame(VideoCodec codec, std::span<const uint8_t> packet) {
    switch (codec) {
    case VideoCodec::H263: return H263KeyFrame(packet);
    case VideoCodec::ScreenVideo: return ScreenVideoKeyFrame(packet, false);
    // VP6: the first bit of the frame is 0 for an intra frame; with alpha,
    // the frame follows a 24-bit offset to the alpha plane.
    case VideoCodec::Vp6: return !packet.empty() && (packet[0] & 0x80) == 0;
    case VideoCodec::Vp6Alpha: return packet.size() > 3 && (packet[3] & 0x80) == 0;
    case VideoCodec::ScreenVideo2: return ScreenVideoKeyFrame(packet, true);
    }
    return false;
}

} // namespace showsaver::flash
