// libFuzzer target: arbitrary bytes through the MP3 header scan, the format
// building and the conversion of the first block. Never a crash, a hang or
// an outsized allocation; the formats always agree with each other and the
// PCM never exceeds the destination size.

#include <cstdlib>

#include "media/Mp3Player.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace showsaver;
    CMP3Reader reader;
    reader.Attach(data, size);
    if (!reader.ScanHeader()) return 0;
    WaveFormat pcm;
    Mp3WaveFormat mp3;
    reader.BuildFormats(pcm, mp3);
    if (pcm.channels != mp3.channels || pcm.blockAlign != pcm.channels || mp3.avgBytesPerSec == 0) std::abort();
    audio::Mp3Stream stream;
    if (!stream.Open({ int(mp3.samplesPerSec), mp3.channels, int(mp3.avgBytesPerSec) },
            { int(pcm.samplesPerSec), pcm.channels }))
        return 0;
    if (!stream.Prepare()) std::abort();
    size_t length = std::min(audio::Mp3Stream::kSourceSize, size);
    reader.Read(0, stream.Source().first(length));
    auto position = length == size ? audio::BlockPosition::Last : audio::BlockPosition::First;
    (void)stream.Convert(length, position);
    if (stream.Destination().size() > stream.DestinationSize() || stream.SourceUsed() > length) std::abort();
    return 0;
}
