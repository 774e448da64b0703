#include "flash/characters/Movie.h"
#include "flash/display/Playhead.h"
#include "flash/sound/Sound.h"

#include <algorithm>

namespace showsaver::flash {
namespace {

// A minute of decoded event sound at most per sound, ten minutes for all.
constexpr size_t kMaxSoundFrames = size_t{60} * SoundSink::kRate;
constexpr size_t kMaxDecodedFrames = 10 * kMaxSoundFrames;
constexpr size_t kMaxVoices = 32;
constexpr size_t kMaxStreams = 8;
// Decoded stream sound waiting to be mixed, per stream: a stream whose blocks
// carry more than its frames play loses the excess.
constexpr size_t kMaxStreamFrames = SoundSink::kRate;
// An MP3 stream block starts with its sample count and seek samples.
constexpr size_t kMp3BlockPrefix = 4;
// An MP3 event sound starts with its seek samples.
constexpr size_t kMp3SoundPrefix = 2;

} // namespace

SoundMixer::SoundMixer(const Movie& movie, SoundSink& sink)
    : m_movie(movie), m_sink(sink), m_slot(SoundSink::kRate / movie.FramesPerSecond()),
      m_playedAtStart(sink.FramesPlayed()) {}

SoundMixer::~SoundMixer() = default;

uint64_t SoundMixer::Ahead() const {
    uint64_t played = m_sink.FramesPlayed() - m_playedAtStart;
    return m_queued > played ? m_queued - played : 0;
}

void SoundMixer::Step(Playhead& root) {
    std::vector<StreamBlockRef> blocks;
    std::vector<SoundStart> starts;
    root.TakeSound(blocks, starts);
    for (const StreamBlockRef& block : blocks) Feed(block);
    for (const SoundStart& start : starts) Start(start);
    m_streamActive = std::any_of(m_streams.begin(), m_streams.end(),
                                 [](const auto& s) { return s.second.fed || !s.second.pcm.empty(); });
    m_carry += m_slot;
    size_t frames = static_cast<size_t>(m_carry);
    m_carry -= static_cast<double>(frames);
    if (!m_streamActive && m_voices.empty()) {
        m_streams.clear();
        return;
    }
    std::vector<int32_t> mix(frames * 2, 0);
    MixInto(mix, frames);
    std::vector<int16_t> out(mix.size());
    std::transform(mix.begin(), mix.end(), out.begin(), [](int32_t v) { return static_cast<int16_t>(std::clamp(v, -32768, 32767)); });
    if (m_sink.Queue(out)) m_queued += frames;
}

void SoundMixer::Feed(const StreamBlockRef& block) {
    const Timeline& timeline = *block.timeline;
    if (!timeline.stream || block.index >= timeline.streamBlocks.size()) return;
    auto it = m_streams.find(block.playhead);
    if (it == m_streams.end()) {
        if (m_streams.size() >= kMaxStreams) return;
        it = m_streams.emplace(block.playhead, Stream{std::make_unique<SoundDecoder>(timeline.stream->info), {}, false}).first;
    }
    Stream& stream = it->second;
    std::span<const uint8_t> data = timeline.streamBlocks[block.index];
    if (timeline.stream->info.format == SoundFormat::Mp3) data = data.subspan(std::min(data.size(), kMp3BlockPrefix));
    size_t room = kMaxStreamFrames - std::min(kMaxStreamFrames, stream.pcm.size() / 2);
    stream.decoder->Decode(data, stream.pcm, std::min(room, static_cast<size_t>(m_slot * 4)));
    stream.fed = true;
}

void SoundMixer::MixInto(std::vector<int32_t>& mix, size_t frames) {
    for (auto it = m_streams.begin(); it != m_streams.end();) {
        Stream& stream = it->second;
        size_t count = std::min(stream.pcm.size(), frames * 2);
        for (size_t i = 0; i < count; ++i) mix[i] += stream.pcm[i];
        stream.pcm.erase(stream.pcm.begin(), stream.pcm.begin() + static_cast<long>(count));
        bool ended = !stream.fed && stream.pcm.empty();
        stream.fed = false;
        it = ended ? m_streams.erase(it) : std::next(it);
    }
    for (Voice& voice : m_voices) {
        for (size_t i = 0; i < frames * 2 && voice.loopsLeft > 0; ++i) {
            if (voice.position >= voice.pcm->size()) {
                voice.position = 0;
                if (--voice.loopsLeft == 0 || voice.pcm->empty()) break;
            }
            mix[i] += (*voice.pcm)[voice.position++];
        }
    }
    std::erase_if(m_voices, [](const Voice& v) { return v.loopsLeft <= 0 || v.pcm->empty(); });
}

void SoundMixer::Start(const SoundStart& start) {
    if (start.stop) {
        std::erase_if(m_voices, [&](const Voice& v) { return v.id == start.id; });
        return;
    }
    bool playing = std::any_of(m_voices.begin(), m_voices.end(), [&](const Voice& v) { return v.id == start.id; });
    if ((start.noMultiple && playing) || m_voices.size() >= kMaxVoices) return;
    if (const auto* pcm = Decoded(start.id)) m_voices.push_back({pcm, 0, start.id, start.loops});
}

const std::vector<int16_t>* SoundMixer::Decoded(uint16_t id) {
    if (auto known = m_decoded.find(id); known != m_decoded.end()) return &known->second;
    auto it = m_movie.soundIds.find(id);
    // Decoded sound is memory the movie holds too: what its budget has left.
    const size_t limit = static_cast<size_t>(std::min<uint64_t>(kMaxDecodedFrames, m_movie.spareBytes / 4));
    if (it == m_movie.soundIds.end() || m_decodedFrames >= limit) return nullptr;
    const SoundData& sound = *m_movie.sounds[it->second];
    std::span<const uint8_t> data = sound.data;
    if (sound.info.format == SoundFormat::Mp3) data = data.subspan(std::min(data.size(), kMp3SoundPrefix));
    std::vector<int16_t> pcm;
    SoundDecoder(sound.info).Decode(data, pcm, std::min(kMaxSoundFrames, limit - m_decodedFrames));
    m_decodedFrames += pcm.size() / 2;
    return &m_decoded.emplace(id, std::move(pcm)).first->second;
}

} // namespace showsaver::flash
