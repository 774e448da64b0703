#include "platform/video/VideoFile.h"

#include "platform/video/AviHeader.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <mutex>
#include <vector>

namespace showsaver::video {

namespace {

// The longest block of sound one decoded frame may give, in stereo frames
// (about 24 seconds); anything longer is skipped, not allocated.
constexpr int kMaxSoundFrames = 1 << 20;
constexpr int kIoBufferSize = 32 * 1024;
// Sound outside these is not played (the pictures still are).
constexpr int kMinSoundRate = 4000;
constexpr int kMaxSoundRate = 192000;
constexpr int kMaxSoundChannels = 8;
// Pictures from this size on are decoded with threads (a quarter of 720p).
constexpr int64_t kThreadedPixels = 640 * 360;
// Enough to find the streams of any AVI; a hostile file is not read further.
constexpr int64_t kProbeBytes = 1 << 20;

std::string AvErrorText(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    Av().av_strerror(code, text, sizeof text);
    return text;
}

void SetError(std::string* error, std::string text) {
    if (error) *error = std::move(text);
}

bool WithinLimits(int width, int height, VideoLimits limits) {
    return width > 0 && height > 0 && width <= limits.maxSide && height <= limits.maxSide &&
           int64_t{width} * height <= limits.maxPixels;
}

AvCodecPtr OpenDecoder(const AVStream& stream, int64_t maxPixels) {
    const AVCodec* codec = Av().avcodec_find_decoder(stream.codecpar->codec_id);
    if (!codec) return nullptr;
    AvCodecPtr context(Av().avcodec_alloc_context3(codec));
    if (!context || Av().avcodec_parameters_to_context(context.get(), stream.codecpar) < 0) return nullptr;
    // As many threads as the codec can use (frames or slices), one per core,
    // for pictures large enough to gain from them. A small one decodes in a
    // fraction of a frame's time on one core, and each decoding thread would
    // hold a set of pictures of its own.
    const AVCodecParameters& parameters = *stream.codecpar;
    context->thread_count = int64_t{parameters.width} * parameters.height >= kThreadedPixels ? 0 : 1;
    context->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
    context->max_pixels = maxPixels;
    if (Av().avcodec_open2(context.get(), codec, nullptr) < 0) return nullptr;
    return context;
}

// The YUVJ formats are the plain ones at full range; swscale wants them so.
AVPixelFormat WithoutJpegRange(AVPixelFormat format, bool& fullRange) {
    switch (format) {
    case AV_PIX_FMT_YUVJ420P: fullRange = true; return AV_PIX_FMT_YUV420P;
    case AV_PIX_FMT_YUVJ422P: fullRange = true; return AV_PIX_FMT_YUV422P;
    case AV_PIX_FMT_YUVJ444P: fullRange = true; return AV_PIX_FMT_YUV444P;
    case AV_PIX_FMT_YUVJ440P: fullRange = true; return AV_PIX_FMT_YUV440P;
    case AV_PIX_FMT_YUVJ411P: fullRange = true; return AV_PIX_FMT_YUV411P;
    default: return format;
    }
}

// The resampler's filters grow with the ratio of the two rates: a rate of a
// few hertz in a hostile header would have it allocate hundreds of megabytes.
bool SoundFormatWithinLimits(const AVCodecContext& sound) {
    return sound.sample_rate >= kMinSoundRate && sound.sample_rate <= kMaxSoundRate &&
           sound.ch_layout.nb_channels >= 1 && sound.ch_layout.nb_channels <= kMaxSoundChannels;
}

// The sizes in the file's header, checked before anything is decoded.
bool HeaderSizesWithinLimits(const AVFormatContext& format, VideoLimits limits) {
    for (unsigned i = 0; i < format.nb_streams; ++i) {
        const AVCodecParameters& parameters = *format.streams[i]->codecpar;
        if (parameters.codec_type != AVMEDIA_TYPE_VIDEO) continue;
        if (parameters.width > limits.maxSide || parameters.height > limits.maxSide) return false;
        if (int64_t{parameters.width} * parameters.height > limits.maxPixels) return false;
    }
    return true;
}

// Probes the streams with the decoders held to the same pixel limit, so a
// picture whose own header is larger than the file's is refused there too.
bool FindStreamInfo(AVFormatContext& format, VideoLimits limits) {
    std::vector<AVDictionary*> options(format.nb_streams, nullptr);
    for (auto& dictionary : options) Av().av_dict_set_int(&dictionary, "max_pixels", limits.maxPixels, 0);
    const int found = Av().avformat_find_stream_info(&format, options.data());
    for (auto& dictionary : options) Av().av_dict_free(&dictionary);
    return found >= 0;
}

} // namespace

struct VideoFile::RangeReader {
    ReadBytesAt read;
    uint64_t size = 0;
    uint64_t position = 0;

    static int Read(void* opaque, uint8_t* buffer, int size) {
        auto& reader = *static_cast<RangeReader*>(opaque);
        const auto count = static_cast<size_t>(std::min<uint64_t>(static_cast<uint64_t>(size),
                                                                  reader.size - reader.position));
        if (count == 0) return AVERROR_EOF;
        if (!reader.read(reader.position, {buffer, count})) return AVERROR(EIO);
        reader.position += count;
        return static_cast<int>(count);
    }

    static int64_t Seek(void* opaque, int64_t offset, int whence) {
        auto& reader = *static_cast<RangeReader*>(opaque);
        const auto size = static_cast<int64_t>(reader.size);
        if ((whence & ~AVSEEK_FORCE) == AVSEEK_SIZE) return size;
        int64_t base = 0;
        switch (whence & ~AVSEEK_FORCE) {
        case SEEK_SET: base = 0; break;
        case SEEK_CUR: base = static_cast<int64_t>(reader.position); break;
        case SEEK_END: base = size; break;
        default: return AVERROR(EINVAL);
        }
        if (offset < -base || offset > size - base) return AVERROR(EINVAL);
        reader.position = static_cast<uint64_t>(base + offset);
        return base + offset;
    }
};

VideoFile::~VideoFile() = default;

std::unique_ptr<VideoFile> VideoFile::Open(const std::filesystem::path& path, std::string* error, VideoLimits limits) {
    uint64_t fileSize = 0;
    const auto head = ReadAviHead(path, fileSize);
    if (!AviHeaderFits(head, fileSize)) return SetError(error, "not an AVI file, or its header does not fit"), nullptr;
    if (auto loaded = ffmpeg::Load(); !loaded) return SetError(error, loaded.Error().what), nullptr;
    return OpenWith(std::unique_ptr<VideoFile>(new VideoFile), path.c_str(), error, limits);
}

std::unique_ptr<VideoFile> VideoFile::OpenReader(uint64_t size, ReadBytesAt read, std::string* error,
                                                 VideoLimits limits) {
    if (size > static_cast<uint64_t>(std::numeric_limits<int64_t>::max()))
        return SetError(error, "not an AVI file, or its header does not fit"), nullptr;
    std::vector<uint8_t> head(static_cast<size_t>(std::min<uint64_t>(size, kAviHeadBytes)));
    if (!head.empty() && !read(0, head)) return SetError(error, "the video cannot be read"), nullptr;
    if (!AviHeaderFits(head, size)) return SetError(error, "not an AVI file, or its header does not fit"), nullptr;
    head = {};
    if (auto loaded = ffmpeg::Load(); !loaded) return SetError(error, loaded.Error().what), nullptr;
    std::unique_ptr<VideoFile> file(new VideoFile);
    file->m_reader = std::make_unique<RangeReader>(RangeReader{std::move(read), size});
    auto* buffer = static_cast<uint8_t*>(Av().av_malloc(kIoBufferSize));
    if (!buffer) return SetError(error, "out of memory"), nullptr;
    file->m_io.reset(Av().avio_alloc_context(buffer, kIoBufferSize, 0, file->m_reader.get(), &RangeReader::Read,
                                             nullptr, &RangeReader::Seek));
    if (!file->m_io) {
        Av().av_free(buffer);
        return SetError(error, "out of memory"), nullptr;
    }
    return OpenWith(std::move(file), nullptr, error, limits);
}

std::unique_ptr<VideoFile> VideoFile::OpenMemory(std::span<const uint8_t> bytes, std::string* error,
                                                 VideoLimits limits) {
    auto read = [bytes](uint64_t offset, std::span<uint8_t> out) {
        std::memcpy(out.data(), bytes.data() + offset, out.size());
        return true;
    };
    return OpenReader(bytes.size(), std::move(read), error, limits);
}

std::unique_ptr<VideoFile> VideoFile::OpenWith(std::unique_ptr<VideoFile> file, const char* url, std::string* error,
                                               VideoLimits limits) {
    // A screensaver has no one to read FFmpeg's remarks on damaged frames;
    // what fails is reported through `error`.
    static std::once_flag quiet;
    std::call_once(quiet, [] { Av().av_log_set_level(AV_LOG_QUIET); });
    AVFormatContext* format = Av().avformat_alloc_context();
    if (!format) return SetError(error, "out of memory"), nullptr;
    format->pb = file->m_io.get();   // null for a file: the demuxer opens the url
    format->probesize = kProbeBytes;
    format->max_streams = 16;
    const int opened = Av().avformat_open_input(&format, url, Av().av_find_input_format("avi"), nullptr);
    if (opened < 0) return SetError(error, "not an AVI file: " + AvErrorText(opened)), nullptr;
    file->m_format.reset(format);
    if (!HeaderSizesWithinLimits(*format, limits)) return SetError(error, "a picture size is out of bounds"), nullptr;
    if (!FindStreamInfo(*format, limits)) return SetError(error, "no streams found"), nullptr;
    if (!file->OpenPictureStream(limits, error)) return nullptr;
    file->OpenSoundStream();
    file->m_packet.reset(Av().av_packet_alloc());
    file->m_frame.reset(Av().av_frame_alloc());
    if (!file->m_packet || !file->m_frame) return SetError(error, "out of memory"), nullptr;
    return file;
}

bool VideoFile::OpenPictureStream(VideoLimits limits, std::string* error) {
    m_videoStream = Av().av_find_best_stream(m_format.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (m_videoStream < 0) return SetError(error, "no video stream"), false;
    AVStream& stream = *m_format->streams[m_videoStream];
    const AVCodecParameters& parameters = *stream.codecpar;
    if (!WithinLimits(parameters.width, parameters.height, limits))
        return SetError(error, "picture size " + std::to_string(parameters.width) + " x " +
                                   std::to_string(parameters.height) + " is out of bounds"), false;
    m_video = OpenDecoder(stream, limits.maxPixels);
    if (!m_video) return SetError(error, "no decoder for the video's codec"), false;
    m_size = {parameters.width, parameters.height};
    m_videoTimeBase = av_q2d(stream.time_base);
    const AVRational rate = Av().av_guess_frame_rate(m_format.get(), &stream, nullptr);
    const double fps = rate.num > 0 && rate.den > 0 ? av_q2d(rate) : 0;
    if (fps >= 1 && fps <= 240) m_framePeriod = 1 / fps;
    return true;
}

void VideoFile::OpenSoundStream() {
    m_audioStream = Av().av_find_best_stream(m_format.get(), AVMEDIA_TYPE_AUDIO, -1, m_videoStream, nullptr, 0);
    if (m_audioStream < 0) return;
    m_audio = OpenDecoder(*m_format->streams[m_audioStream], 0);
    if (!m_audio) return;
    if (!SoundFormatWithinLimits(*m_audio)) return SwitchSoundOff();
    AVChannelLayout input {};
    if (m_audio->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC || Av().av_channel_layout_check(&m_audio->ch_layout) == 0)
        Av().av_channel_layout_default(&input, m_audio->ch_layout.nb_channels);
    else
        Av().av_channel_layout_copy(&input, &m_audio->ch_layout);
    AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
    SwrContext* resampler = nullptr;
    const int made = Av().swr_alloc_set_opts2(&resampler, &stereo, AV_SAMPLE_FMT_S16, 44100, &input,
                                         m_audio->sample_fmt, m_audio->sample_rate, 0, nullptr);
    Av().av_channel_layout_uninit(&input);
    m_resampler.reset(resampler);
    if (made < 0 || Av().swr_init(resampler) < 0) SwitchSoundOff();
}

void VideoFile::SwitchSoundOff() {
    m_audio.reset();
    m_resampler.reset();
    m_audioPending = false;
    m_sound.clear();
}

VideoFile::Step VideoFile::Next() {
    for (;;) {
        if (ReceivePicture()) return Step::Picture;
        if (ReceiveSound()) return Step::Sound;
        if (m_draining && !m_videoPending && !m_audioPending) return Step::End;
        if (!m_draining && !ReadPacket()) Drain();
    }
}

bool VideoFile::ReadPacket() {
    if (Av().av_read_frame(m_format.get(), m_packet.get()) < 0) return false;
    AVPacket* packet = m_packet.get();
    if (packet->stream_index == m_videoStream) {
        Av().avcodec_send_packet(m_video.get(), packet);   // a packet that does not decode is skipped
        m_videoPending = true;
    } else if (m_audio && packet->stream_index == m_audioStream) {
        Av().avcodec_send_packet(m_audio.get(), packet);
        m_audioPending = true;
    }
    Av().av_packet_unref(packet);
    return true;
}

void VideoFile::Drain() {
    m_draining = true;
    Av().avcodec_send_packet(m_video.get(), nullptr);
    m_videoPending = true;
    if (m_audio) {
        Av().avcodec_send_packet(m_audio.get(), nullptr);
        m_audioPending = true;
    }
}

bool VideoFile::ReceivePicture() {
    while (m_videoPending) {
        const int received = Av().avcodec_receive_frame(m_video.get(), m_frame.get());
        if (received < 0) {
            // EAGAIN wants the next packet; EOF ends the stream; anything else
            // is a frame that did not decode, and with it the decoder's turn.
            m_videoPending = false;
            break;
        }
        if (m_frame->width == m_size.width && m_frame->height == m_size.height) {
            const int64_t stamp = m_frame->best_effort_timestamp;
            m_pictureTime.reset();
            if (stamp != AV_NOPTS_VALUE) m_pictureTime = static_cast<double>(stamp) * m_videoTimeBase;
            return true;
        }
        Av().av_frame_unref(m_frame.get());   // a picture of another size than the header's is not shown
    }
    return false;
}

bool VideoFile::ReceiveSound() {
    while (m_audioPending && m_audio) {
        if (Av().avcodec_receive_frame(m_audio.get(), m_frame.get()) < 0) {
            m_audioPending = false;
            break;
        }
        const bool converted = ResampleSound(const_cast<const uint8_t**>(m_frame->extended_data), m_frame->nb_samples);
        Av().av_frame_unref(m_frame.get());
        if (converted) return true;
    }
    return false;
}

bool VideoFile::ResampleSound(const uint8_t** input, int samples) {
    const int room = Av().swr_get_out_samples(m_resampler.get(), samples);
    if (room <= 0 || room > kMaxSoundFrames) return false;
    m_sound.resize(static_cast<size_t>(room) * 2);
    auto* output = reinterpret_cast<uint8_t*>(m_sound.data());
    const int made = Av().swr_convert(m_resampler.get(), &output, room, input, samples);
    if (made <= 0) return false;
    m_sound.resize(static_cast<size_t>(made) * 2);
    return true;
}

bool VideoFile::ConvertPicture() {
    if (m_pixels.empty()) {
        m_stride = ffmpeg::PaddedScaleRow(m_size.width);
        m_pixels.assign(m_stride * static_cast<size_t>(m_size.height), 0);
    }
    return ConvertPictureInto(m_pixels.data(), Stride());
}

bool VideoFile::ConvertPictureInto(uint32_t* xrgb, size_t stride) {
    if (stride > static_cast<size_t>(std::numeric_limits<int>::max()) || stride < size_t(m_size.width) * 4) {
        Av().av_frame_unref(m_frame.get());
        return false;
    }
    bool fullRange = m_frame->color_range == AVCOL_RANGE_JPEG;
    const AVPixelFormat format = WithoutJpegRange(static_cast<AVPixelFormat>(m_frame->format), fullRange);
    m_scaler.reset(Av().sws_getCachedContext(m_scaler.release(), m_size.width, m_size.height, format, m_size.width,
                                        m_size.height, AV_PIX_FMT_0RGB32, SWS_POINT, nullptr, nullptr, nullptr));
    if (!m_scaler) return false;
    const int* coefficients = Av().sws_getCoefficients(SWS_CS_DEFAULT);
    Av().sws_setColorspaceDetails(m_scaler.get(), coefficients, fullRange ? 1 : 0, coefficients, 1, 0, 1 << 16,
                                  1 << 16);
    uint8_t* rows[1] = {reinterpret_cast<uint8_t*>(xrgb)};
    const int strides[1] = {static_cast<int>(stride)};
    const int made = Av().sws_scale(m_scaler.get(), m_frame->data, m_frame->linesize, 0, m_size.height, rows, strides);
    Av().av_frame_unref(m_frame.get());
    return made == m_size.height;
}

bool VideoFile::Rewind() {
    if (Av().av_seek_frame(m_format.get(), m_videoStream, 0, AVSEEK_FLAG_BACKWARD) < 0) return false;
    Av().avcodec_flush_buffers(m_video.get());
    if (m_audio) Av().avcodec_flush_buffers(m_audio.get());
    m_videoPending = m_audioPending = m_draining = false;
    return true;
}

} // namespace showsaver::video
