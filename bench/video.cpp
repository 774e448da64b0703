// What playing a video costs, and whether it keeps up:
//  - CPU seconds per second of video for decoding and presenting a 640 × 480
//    MJPEG AVI and a 10 s 1920 × 1080 H.264 AVI through the video player, in
//    real time, into a layer surface of the video's size, each read as the
//    engine reads it (from a show's file through its media item, unscrambled
//    as it is read), each as a ratio to
//    libavcodec decoding the same file in this process with its default
//    threads, as `ffmpeg -f null` does but without that program's start
//    (goal: at most 1.3);
//  - the pictures the player dropped on this machine (goal: none).
// The videos are made with the ffmpeg command when the program starts.

#include "app/ItemKinds.h"
#include "bench/TimingReporter.h"
#include "gfx/Surface.h"
#include "media/MediaItem.h"
#include "show/ItemList.h"
#include "show/ShowLoader.h"
#include "show/ShowSaver.h"
#include "platform/video/VideoFile.h"
#include "platform/video/VideoPlayer.h"

#include <benchmark/benchmark.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

using namespace showsaver;
namespace fs = std::filesystem;

constexpr double kMjpegSeconds = 4.0;
constexpr double kH264Seconds = 10.0;

double ProcessCpuSeconds() {
    timespec now {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

// A layer as the presenter keeps it: the player's rows copied into a surface
// under its lock.
class SurfaceLayer final : public video::FrameTarget {
public:
    SurfaceLayer(int width, int height) : m_surface(width, height) {}
    void ShowFrame(const uint32_t* xrgb, int width, int height, size_t stride) override {
        const int rows = std::min(height, m_surface.Height());
        const auto columns = size_t(std::min(width, m_surface.Width()));
        auto lock = m_surface.LockForDrawing(m_surface.Bounds());
        for (int y = 0; y < rows; ++y)
            std::memcpy(m_surface.Row(y), reinterpret_cast<const uint8_t*>(xrgb) + size_t(y) * stride, columns * 4);
    }
    bool WriteFrame(int width, int height, const std::function<bool(uint32_t*, size_t)>& write) override {
        if (width != m_surface.Width() || height != m_surface.Height()) return false;
        auto lock = m_surface.LockForDrawing(m_surface.Bounds());
        write(m_surface.Row(0), size_t(m_surface.Stride()));
        return true;
    }

private:
    gfx::Surface m_surface;
};

// A show of one media item holding the film, written beside it and loaded
// back: the film stays in the show's file, as any large file does.
class FilmInShow {
public:
    explicit FilmInShow(const fs::path& film) {
        std::ifstream in(film, std::ios::binary);
        std::vector<char> bytes((std::istreambuf_iterator<char>(in)), {});
        auto copy = std::make_unique_for_overwrite<uint8_t[]>(bytes.size());
        std::memcpy(copy.get(), bytes.data(), bytes.size());
        ShowItemRegistry writing;
        auto item = writing.Prototype(static_cast<int32_t>(ItemKind::Media))->Clone();
        static_cast<MediaItem&>(*item).file.Assign(film.filename().string(), std::move(copy),
                                                   static_cast<uint32_t>(bytes.size()));
        writing.Items().Append(std::move(item));
        const auto show = SaveShow(writing.Items(), ShowInfo{0, 'A', 4.5f, 0.0f});
        const fs::path path = film.string() + ".show";
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(show.data()), std::streamsize(show.size()));
        ShowInfo info;
        if (LoadShowFile(path, 0, m_registry, m_registry.Items(), info, nullptr) && m_registry.Items().Size() == 1)
            m_file = &static_cast<MediaItem&>(m_registry.Items().At(0)).file;
    }
    // Opened as the engine's players open it; null when it cannot be.
    std::unique_ptr<video::VideoFile> Open() const {
        return m_file ? video::VideoFile::OpenReader(m_file->Size(), m_file->Reader()) : nullptr;
    }

private:
    ShowItemRegistry m_registry;
    const EmbeddedFile* m_file = nullptr;
};

void PlayOurs(benchmark::State& state, const fs::path& file, double seconds) {
    const auto video = FilmInShow(file).Open();
    if (!video) return state.SkipWithError("could not open the video");
    SurfaceLayer layer(video->Size().width, video->Size().height);
    video::VideoPlayer player(*video, layer, nullptr);
    uint64_t dropped = 0, shown = 0;
    for (auto _ : state) {
        const double before = ProcessCpuSeconds();
        player.Play(false);
        player.Ended().Wait();
        state.SetIterationTime((ProcessCpuSeconds() - before) / seconds);
        dropped += player.Counts().dropped;
        shown += player.Counts().shown;
    }
    state.counters["dropped"] = double(dropped);
    state.counters["shown"] = double(shown);
}

// Threads as the ffmpeg program gives a decoder: as many as the codec can use.
bool SetThreads(AVCodecContext* context) {
    context->thread_count = 0;
    context->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
    return true;
}

// Every picture of the file decoded by libavcodec, as `ffmpeg -f null` does
// (its default threads), and nothing else. False when it could not.
bool DecodeAll(const fs::path& file) {
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, file.c_str(), nullptr, nullptr) < 0) return false;
    bool ok = false;
    AVCodecContext* context = nullptr;
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    const AVCodec* codec = nullptr;
    const int stream = avformat_find_stream_info(format, nullptr) < 0
                           ? -1
                           : av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
    if (stream >= 0 && codec && (context = avcodec_alloc_context3(codec)) && SetThreads(context) &&
        avcodec_parameters_to_context(context, format->streams[stream]->codecpar) >= 0 &&
        avcodec_open2(context, codec, nullptr) >= 0) {
        ok = true;
        auto drain = [&] {
            while (avcodec_receive_frame(context, frame) >= 0) av_frame_unref(frame);
        };
        while (av_read_frame(format, packet) >= 0) {
            if (packet->stream_index == stream && avcodec_send_packet(context, packet) >= 0) drain();
            av_packet_unref(packet);
        }
        avcodec_send_packet(context, nullptr);
        drain();
    }
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&context);
    avformat_close_input(&format);
    return ok;
}

void DecodeWithLibavcodec(benchmark::State& state, const fs::path& file, double seconds) {
    for (auto _ : state) {
        const double before = ProcessCpuSeconds();
        if (!DecodeAll(file)) return state.SkipWithError("libavcodec could not decode the video");
        state.SetIterationTime((ProcessCpuSeconds() - before) / seconds);
    }
}

fs::path MakeVideo(const fs::path& dir, const std::string& name, const std::string& size, double seconds,
                   const std::string& codec) {
    const auto path = dir / name;
    const std::string command = "ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=s=" + size + ":r=25:d=" +
                                std::to_string(seconds) + " " + codec + " '" + path.string() + "'";
    return std::system(command.c_str()) == 0 ? path : fs::path {};
}

} // namespace

int main(int argc, char** argv) {
    const fs::path dir = fs::temp_directory_path() / ("showsaver-bench-video-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const fs::path mjpeg = MakeVideo(dir, "bench-640x480-mjpeg.avi", "640x480", kMjpegSeconds, "-c:v mjpeg -q:v 3");
    const fs::path h264 = MakeVideo(dir, "bench-1920x1080-h264.avi", "1920x1080", kH264Seconds,
                                    "-c:v libx264 -preset veryfast -pix_fmt yuv420p");
    if (mjpeg.empty() || h264.empty()) {
        std::fprintf(stderr, "could not make the benchmark's videos with ffmpeg\n");
        return 1;
    }
    benchmark::RegisterBenchmark("Video/PlayMjpeg640x480", PlayOurs, mjpeg, kMjpegSeconds)->UseManualTime()
        ->Iterations(3)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Video/DecodeMjpeg640x480", DecodeWithLibavcodec, mjpeg, kMjpegSeconds)
        ->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Video/PlayH264At1080", PlayOurs, h264, kH264Seconds)->UseManualTime()
        ->Iterations(2)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Video/DecodeH264At1080", DecodeWithLibavcodec, h264, kH264Seconds)
        ->UseManualTime()->Iterations(2)->Unit(benchmark::kMillisecond);

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    bench::TimingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    fs::remove_all(dir);

    std::printf("\n");
    for (const char* kind : {"Mjpeg640x480", "H264At1080"}) {
        const std::string play = std::string("Video/Play") + kind, decode = std::string("Video/Decode") + kind;
        const double ours = reporter.Seconds(play), bare = reporter.Seconds(decode);
        if (ours > 0 && bare > 0)
            std::printf("ratio %-24s / %-26s = %5.2f  (goal <= 1.3; CPU seconds per second of video)\n",
                        play.c_str(), decode.c_str(), ours / bare);
        if (const auto* result = reporter.Find(play))
            std::printf("dropped pictures of %s: %.0f of %.0f  (goal: none)\n", kind, result->counters.at("dropped"),
                        result->counters.at("dropped") + result->counters.at("shown"));
    }
    return 0;
}
