// DefineVideoStream: the stream's frame count, size, flags and codec.

#include "flash/characters/Parsers.h"

namespace showsaver::flash {

std::unique_ptr<VideoCharacter> ParseVideoStream(Reader& r, std::string& error) {
    auto video = std::make_unique<VideoCharacter>();
    video->frameCount = r.U16();
    video->width = r.U16();
    video->height = r.U16();
    uint8_t flags = r.U8();
    video->deblocking = (flags >> 1) & 7;
    video->smoothing = (flags & 1) != 0;
    int codec = r.U8();
    if (r.Failed()) {
        error = "broken video stream";
        return nullptr;
    }
    if (codec < 2 || codec > 6) {
        error = "video codec " + std::to_string(codec) + " is not played";
        return nullptr;
    }
    if (video->width > Limits::kMaxVideoSide || video->height > Limits::kMaxVideoSide) {
        error = "video stream too large";
        return nullptr;
    }
    video->codec = static_cast<VideoCodec>(codec);
    return video;
}

} // namespace showsaver::flash
