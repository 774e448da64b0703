#include "tools/showpack/FilmWriter.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cctype>
#include <optional>
#include <vector>

namespace showsaver::showpack {

namespace {

constexpr int kSoundRate = 44100;

std::string AvError(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

struct Choice {
    const char* container;
    std::vector<const char*> video, audio;
};

// Encoders by name, in order of preference, for each kind of file.
std::optional<Choice> ChoiceFor(const std::filesystem::path& file) {
    std::string extension = file.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(), [](unsigned char c) { return std::tolower(c); });
    if (extension == ".mp4") return Choice{"mp4", {"libx264", "h264", "mpeg4"}, {"aac"}};
    if (extension == ".mkv") return Choice{"matroska", {"libx264", "h264", "mpeg4"}, {"aac", "libvorbis"}};
    if (extension == ".webm") return Choice{"webm", {"libvpx-vp9", "libvpx"}, {"libopus", "libvorbis"}};
    return std::nullopt;
}

const AVCodec* FirstEncoder(const std::vector<const char*>& names) {
    for (const char* name : names) {
        if (const AVCodec* codec = avcodec_find_encoder_by_name(name)) return codec;
        // A codec's name ("h264") finds whatever encoder of it there is.
        if (const AVCodecDescriptor* descriptor = avcodec_descriptor_get_by_name(name))
            if (const AVCodec* codec = avcodec_find_encoder(descriptor->id)) return codec;
    }
    return nullptr;
}

} // namespace

struct FilmWriter::State {
    AVFormatContext* format = nullptr;
    AVCodecContext* video = nullptr;
    AVCodecContext* audio = nullptr;
    AVStream* videoStream = nullptr;
    AVStream* audioStream = nullptr;
    SwsContext* scale = nullptr;
    SwrContext* resample = nullptr;
    AVAudioFifo* fifo = nullptr;
    AVFrame* picture = nullptr;
    AVFrame* sound = nullptr;
    AVPacket* packet = nullptr;
    int64_t pictures = 0;
    int64_t samples = 0;   // at the audio encoder's rate
    bool opened = false;
    bool finished = false;

    ~State() {
        if (format && opened && !finished) av_write_trailer(format);
        av_packet_free(&packet);
        av_frame_free(&picture);
        av_frame_free(&sound);
        if (fifo) av_audio_fifo_free(fifo);
        swr_free(&resample);
        sws_freeContext(scale);
        avcodec_free_context(&video);
        avcodec_free_context(&audio);
        if (format) {
            if (format->pb) avio_closep(&format->pb);
            avformat_free_context(format);
        }
    }

    // Sends a frame (null: drain) and writes every packet that comes out.
    Status<> Encode(AVCodecContext* codec, AVStream* stream, AVFrame* frame) {
        int sent = avcodec_send_frame(codec, frame);
        if (sent < 0 && sent != AVERROR_EOF) return Error{"cannot encode: " + AvError(sent)};
        for (;;) {
            int got = avcodec_receive_packet(codec, packet);
            if (got == AVERROR(EAGAIN) || got == AVERROR_EOF) return {};
            if (got < 0) return Error{"cannot encode: " + AvError(got)};
            // A picture lasts one frame; the last one too.
            if (codec->codec_type == AVMEDIA_TYPE_VIDEO && packet->duration == 0) packet->duration = 1;
            av_packet_rescale_ts(packet, codec->time_base, stream->time_base);
            packet->stream_index = stream->index;
            int written = av_interleaved_write_frame(format, packet);
            if (written < 0) return Error{"cannot write the film: " + AvError(written)};
        }
    }

    // Encodes whole frames of sound from the FIFO; with `all`, the rest too.
    Status<> EncodeSound(bool all) {
        const int size = audio->frame_size > 0 ? audio->frame_size : 1024;
        while (av_audio_fifo_size(fifo) >= size || (all && av_audio_fifo_size(fifo) > 0)) {
            int n = std::min(size, av_audio_fifo_size(fifo));
            av_frame_unref(sound);
            sound->nb_samples = n;
            sound->format = audio->sample_fmt;
            sound->sample_rate = audio->sample_rate;
            av_channel_layout_copy(&sound->ch_layout, &audio->ch_layout);
            if (av_frame_get_buffer(sound, 0) < 0) return Error{"not enough memory for the sound"};
            av_audio_fifo_read(fifo, reinterpret_cast<void**>(sound->data), n);
            sound->pts = samples;
            samples += n;
            if (auto encoded = Encode(audio, audioStream, sound); !encoded) return encoded;
        }
        return {};
    }
};

FilmWriter::FilmWriter(std::unique_ptr<State> state) : m_state(std::move(state)) {}
FilmWriter::~FilmWriter() = default;

Result<std::unique_ptr<FilmWriter>> FilmWriter::Open(const std::filesystem::path& file, int width, int height, int fps) {
    av_log_set_level(AV_LOG_ERROR);
    auto choice = ChoiceFor(file);
    if (!choice) return Error{file.string() + ": a film is a .mp4, .webm or .mkv file"};
    if (width <= 0 || height <= 0 || width % 2 || height % 2) return Error{"a film's width and height are even"};
    const AVCodec* videoCodec = FirstEncoder(choice->video);
    const AVCodec* audioCodec = FirstEncoder(choice->audio);
    if (!videoCodec || !audioCodec) return Error{"this FFmpeg has no encoder for a " + std::string(choice->container) + " film"};

    auto s = std::make_unique<State>();
    int status = avformat_alloc_output_context2(&s->format, nullptr, choice->container, file.c_str());
    if (status < 0 || !s->format) return Error{"cannot make a " + std::string(choice->container) + " file: " + AvError(status)};

    s->video = avcodec_alloc_context3(videoCodec);
    s->audio = avcodec_alloc_context3(audioCodec);
    s->packet = av_packet_alloc();
    s->picture = av_frame_alloc();
    s->sound = av_frame_alloc();
    if (!s->video || !s->audio || !s->packet || !s->picture || !s->sound) return Error{"not enough memory for the film"};

    s->video->width = width;
    s->video->height = height;
    s->video->time_base = AVRational{1, fps};
    s->video->framerate = AVRational{fps, 1};
    s->video->pix_fmt = AV_PIX_FMT_YUV420P;
    s->video->gop_size = fps * 2;
    s->video->bit_rate = std::max<int64_t>(int64_t{width} * height * fps / 8, 200'000);
    if (std::string(videoCodec->name) == "libx264") {
        av_opt_set(s->video->priv_data, "preset", "veryfast", 0);
        av_opt_set(s->video->priv_data, "crf", "20", 0);
    }
    if (std::string(videoCodec->name).starts_with("libvpx")) {
        av_opt_set(s->video->priv_data, "deadline", "realtime", 0);
        av_opt_set(s->video->priv_data, "cpu-used", "8", 0);
    }
    if (s->format->oformat->flags & AVFMT_GLOBALHEADER) s->video->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if ((status = avcodec_open2(s->video, videoCodec, nullptr)) < 0)
        return Error{std::string("cannot open the ") + videoCodec->name + " encoder: " + AvError(status)};

    // The encoder's own rate when it cannot take 44,100 Hz (Opus).
    int rate = kSoundRate;
    if (audioCodec->supported_samplerates) {
        rate = audioCodec->supported_samplerates[0];
        for (const int* r = audioCodec->supported_samplerates; *r; ++r)
            if (*r == kSoundRate) rate = kSoundRate;
    }
    s->audio->sample_rate = rate;
    s->audio->sample_fmt = audioCodec->sample_fmts ? audioCodec->sample_fmts[0] : AV_SAMPLE_FMT_FLTP;
    s->audio->bit_rate = 128'000;
    s->audio->time_base = AVRational{1, rate};
    AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
    av_channel_layout_copy(&s->audio->ch_layout, &stereo);
    if (s->format->oformat->flags & AVFMT_GLOBALHEADER) s->audio->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if ((status = avcodec_open2(s->audio, audioCodec, nullptr)) < 0)
        return Error{std::string("cannot open the ") + audioCodec->name + " encoder: " + AvError(status)};

    s->videoStream = avformat_new_stream(s->format, nullptr);
    s->audioStream = avformat_new_stream(s->format, nullptr);
    if (!s->videoStream || !s->audioStream) return Error{"not enough memory for the film"};
    avcodec_parameters_from_context(s->videoStream->codecpar, s->video);
    avcodec_parameters_from_context(s->audioStream->codecpar, s->audio);
    s->videoStream->time_base = s->video->time_base;
    s->audioStream->time_base = s->audio->time_base;

    s->scale = sws_getContext(width, height, AV_PIX_FMT_BGR0, width, height, AV_PIX_FMT_YUV420P, SWS_BICUBIC, nullptr,
                              nullptr, nullptr);
    if (swr_alloc_set_opts2(&s->resample, &s->audio->ch_layout, s->audio->sample_fmt, rate, &stereo, AV_SAMPLE_FMT_S16,
                            kSoundRate, 0, nullptr) < 0 ||
        !s->resample || swr_init(s->resample) < 0 || !s->scale)
        return Error{"cannot convert the pictures or the sound for the film"};
    s->fifo = av_audio_fifo_alloc(s->audio->sample_fmt, 2, rate);
    if (!s->fifo) return Error{"not enough memory for the film"};

    s->picture->format = AV_PIX_FMT_YUV420P;
    s->picture->width = width;
    s->picture->height = height;
    if (av_frame_get_buffer(s->picture, 0) < 0) return Error{"not enough memory for the film"};

    if (!(s->format->oformat->flags & AVFMT_NOFILE) &&
        (status = avio_open(&s->format->pb, file.c_str(), AVIO_FLAG_WRITE)) < 0)
        return Error{"cannot write " + file.string() + ": " + AvError(status)};
    if ((status = avformat_write_header(s->format, nullptr)) < 0)
        return Error{"cannot write " + file.string() + ": " + AvError(status)};
    s->opened = true;
    return std::unique_ptr<FilmWriter>(new FilmWriter(std::move(s)));
}

std::string FilmWriter::Codecs() const {
    auto describe = [](const AVCodecContext* codec) {
        const AVCodecDescriptor* descriptor = avcodec_descriptor_get(codec->codec_id);
        std::string name = descriptor && descriptor->long_name ? descriptor->long_name : codec->codec->name;
        return name + " (" + codec->codec->name + ")";
    };
    return describe(m_state->video) + " and " + describe(m_state->audio);
}

Status<> FilmWriter::AddPicture(const gfx::Surface& picture) {
    State& s = *m_state;
    if (picture.Width() != s.video->width || picture.Height() != s.video->height)
        return Error{"a picture of the wrong size"};
    if (av_frame_make_writable(s.picture) < 0) return Error{"not enough memory for the film"};
    const uint8_t* rows[1] = {reinterpret_cast<const uint8_t*>(picture.Row(0))};
    const int strides[1] = {static_cast<int>(picture.Stride())};
    sws_scale(s.scale, rows, strides, 0, picture.Height(), s.picture->data, s.picture->linesize);
    s.picture->pts = s.pictures++;
    return s.Encode(s.video, s.videoStream, s.picture);
}

Status<> FilmWriter::AddSound(std::span<const int16_t> stereo) {
    State& s = *m_state;
    const int frames = static_cast<int>(stereo.size() / 2);
    if (frames == 0) return {};
    const int room = swr_get_out_samples(s.resample, frames);
    uint8_t** converted = nullptr;
    if (av_samples_alloc_array_and_samples(&converted, nullptr, 2, room, s.audio->sample_fmt, 0) < 0)
        return Error{"not enough memory for the sound"};
    const uint8_t* input[1] = {reinterpret_cast<const uint8_t*>(stereo.data())};
    int made = swr_convert(s.resample, converted, room, input, frames);
    if (made > 0) av_audio_fifo_write(s.fifo, reinterpret_cast<void**>(converted), made);
    av_freep(&converted[0]);
    av_freep(&converted);
    if (made < 0) return Error{"cannot convert the sound"};
    return s.EncodeSound(false);
}

Status<> FilmWriter::Finish() {
    State& s = *m_state;
    if (s.finished) return {};
    // What the resampler still holds, then the encoders' last packets.
    const int room = swr_get_out_samples(s.resample, 0);
    if (room > 0) {
        uint8_t** converted = nullptr;
        if (av_samples_alloc_array_and_samples(&converted, nullptr, 2, room, s.audio->sample_fmt, 0) >= 0) {
            int made = swr_convert(s.resample, converted, room, nullptr, 0);
            if (made > 0) av_audio_fifo_write(s.fifo, reinterpret_cast<void**>(converted), made);
            av_freep(&converted[0]);
            av_freep(&converted);
        }
    }
    if (auto done = s.EncodeSound(true); !done) return done;
    if (auto done = s.Encode(s.video, s.videoStream, nullptr); !done) return done;
    if (auto done = s.Encode(s.audio, s.audioStream, nullptr); !done) return done;
    s.finished = true;
    int status = av_write_trailer(s.format);
    if (status < 0) return Error{"cannot finish the film: " + AvError(status)};
    return {};
}

} // namespace showsaver::showpack
