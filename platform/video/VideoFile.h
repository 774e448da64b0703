#pragma once
// An AVI video opened for playing: its demuxer, its picture decoder and, when
// it has one, its sound decoder. Next() walks the file in stream order and
// stops at every decoded picture and every block of sound; pictures come out
// as 32-bit xRGB rows, sound as 44,100 Hz signed 16-bit stereo.
//
// Any codec that FFmpeg decodes plays. The container must be AVI: the file
// is opened with the AVI demuxer only, whatever its name, so that anything
// else is refused at once instead of being probed by every demuxer.
//
// Bad input never crashes or hangs: opening refuses files without a
// decodable picture stream and sizes over the limits; a frame that does not
// decode is skipped; an unreadable tail ends the video.

#include "gfx/Geometry.h"
#include "platform/video/FfmpegHandles.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace showsaver::video {

struct VideoLimits {
    int maxSide = 16384;                  // pixels, either side
    int64_t maxPixels = int64_t{64} << 20;  // 64 megapixels
};

// Fills `out` with a video's bytes from `offset`; false when they cannot be
// read. Only asked for bytes inside the size it was opened with.
using ReadBytesAt = std::function<bool(uint64_t offset, std::span<uint8_t> out)>;

class VideoFile {
public:
    enum class Step { Picture, Sound, End };

    // Null on failure, with the reason in `error` when it is given.
    static std::unique_ptr<VideoFile> Open(const std::filesystem::path& path, std::string* error = nullptr,
                                           VideoLimits limits = {});
    // The same over `size` bytes that `read` gives, through our own I/O
    // callbacks: a video kept inside another file, say, read where it lies.
    // `read` is called on the threads that use the returned object, one at a
    // time.
    static std::unique_ptr<VideoFile> OpenReader(uint64_t size, ReadBytesAt read, std::string* error = nullptr,
                                                 VideoLimits limits = {});
    // The same over bytes in memory, which must outlive the returned object.
    static std::unique_ptr<VideoFile> OpenMemory(std::span<const uint8_t> bytes, std::string* error = nullptr,
                                                 VideoLimits limits = {});
    ~VideoFile();
    VideoFile(const VideoFile&) = delete;
    VideoFile& operator=(const VideoFile&) = delete;

    // The size of the pictures, as the file's header gives it.
    gfx::Size Size() const { return m_size; }
    // Seconds from one picture to the next at the file's own frame rate.
    double FramePeriod() const { return m_framePeriod; }
    bool HasSound() const { return m_audio != nullptr; }
    // Mutes the video: its sound is no longer decoded and Next() gives none.
    void SwitchSoundOff();

    // Decodes up to the next picture or block of sound, or the end.
    Step Next();
    // After Step::Picture: its time in seconds from the stream's timestamps,
    // empty when the file gives none.
    std::optional<double> PictureTime() const { return m_pictureTime; }
    // After Step::Picture: converts it into Pixels(). False when it cannot be.
    bool ConvertPicture();
    // After Step::Picture: converts it into `xrgb`, Size() pixels with
    // `stride` bytes from row to row. False when it cannot be.
    bool ConvertPictureInto(uint32_t* xrgb, size_t stride);
    const uint32_t* Pixels() const { return m_pixels.data(); }
    size_t Stride() const { return m_stride * sizeof(uint32_t); }
    // After Step::Sound: interleaved stereo samples, two per frame.
    std::span<const int16_t> Sound() const { return m_sound; }

    // Goes back to the first picture. False when the file cannot seek.
    bool Rewind();

private:
    struct RangeReader;
    VideoFile() = default;
    static std::unique_ptr<VideoFile> OpenWith(std::unique_ptr<VideoFile> file, const char* url, std::string* error,
                                               VideoLimits limits);
    bool OpenPictureStream(VideoLimits limits, std::string* error);
    void OpenSoundStream();
    bool ReadPacket();
    void Drain();
    bool ReceivePicture();
    bool ReceiveSound();
    bool ResampleSound(const uint8_t** input, int samples);

    std::unique_ptr<RangeReader> m_reader;   // before m_io and m_format: they read through it
    AvIoPtr m_io;
    AvFormatPtr m_format;
    AvCodecPtr m_video;
    AvCodecPtr m_audio;
    SwsPtr m_scaler;
    SwrPtr m_resampler;
    AvPacketPtr m_packet;
    AvFramePtr m_frame;
    int m_videoStream = -1;
    int m_audioStream = -1;
    gfx::Size m_size;
    double m_framePeriod = 0.04;
    double m_videoTimeBase = 0;
    bool m_videoPending = false;   // the decoder may have pictures to give
    bool m_audioPending = false;
    bool m_draining = false;       // the file is read; the decoders are being emptied
    std::optional<double> m_pictureTime;
    std::vector<uint32_t> m_pixels;
    size_t m_stride = 0;           // pixels
    std::vector<int16_t> m_sound;
};

} // namespace showsaver::video
