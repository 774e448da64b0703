#pragma once
// Writes a film with FFmpeg's libraries: pictures of the memory screen and
// the soundtrack as 44,100 Hz signed 16-bit stereo, in an MP4, WebM or
// Matroska file chosen by the file's extension. The codecs are the first of
// each list that this FFmpeg can encode: H.264 (libx264, or any other
// H.264 encoder) or MPEG-4 part 2 with AAC in .mp4 and .mkv; VP9 or VP8 with
// Opus or Vorbis in .webm.

#include "gfx/Surface.h"
#include "platform/sys/Result.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>

namespace showsaver::showpack {

class FilmWriter {
public:
    ~FilmWriter();
    FilmWriter(const FilmWriter&) = delete;
    FilmWriter& operator=(const FilmWriter&) = delete;

    // `width` and `height` even, `fps` from 1 to 120.
    static Result<std::unique_ptr<FilmWriter>> Open(const std::filesystem::path& file, int width, int height, int fps);

    // "H.264 (libx264) and AAC (aac)".
    std::string Codecs() const;
    // The next picture: an xRGB surface of the film's size.
    Status<> AddPicture(const gfx::Surface& picture);
    // More of the soundtrack: interleaved stereo frames at 44,100 Hz.
    Status<> AddSound(std::span<const int16_t> stereo);
    // Drains the encoders and closes the file.
    Status<> Finish();

private:
    struct State;
    explicit FilmWriter(std::unique_ptr<State> state);
    std::unique_ptr<State> m_state;
};

} // namespace showsaver::showpack
