#include "platform/flash/Movie.h"
#include "platform/flash/Playhead.h"
#include "platform/flash/Sound.h"

#include <algorithm>

namespace showsaver::flash {
namespace {

// A minute of decoded event sound at most per sound, ten minutes for all.
constexpr size_t kMaxSoundFrames = size_t{60} * SoundSink::kRate;
constexpr size_t kMaxDecodedFrames = 10 * kMaxSoundFrames;
constexpr size_t kMaxVoices = 32;
// An MP3 stream block starts with its sample count and seek samples.
constexpr size_t kMp3BlockPrefix = 4;
// An MP3 event sound starts with its seek samples.
constexpr size_t kMp3SoundPrefix = 2;

} // namespace

SoundMixer::SoundMixer(const Movie& movie, SoundSink& sink)
    : m_movie(movie), m_sink(sink), m_slot(SoundSink::kRate / movie.FramesPerSecond()),
      m_playedAtStart(sink.FramesPlayed()) {
    if (movie.root.stream) m_stream = std::make_unique<SoundDecoder>(movie.root.stream->info);
}

SoundMixer::~SoundMixer() = default;

uint64_t SoundMixer::Ahead() const {
    uint64_t played = m_sink.FramesPlayed() - m_playedAtStart;
    return m_queued > played ? m_queued - played : 0;
}

void SoundMixer::Step(Playhead& root) {
    bool block = false;
    for (size_t index : root.TakeStreamBlocks()) {
        if (!m_stream || index >= m_movie.root.streamBlocks.size()) continue;
        std::span<const uint8_t> data = m_movie.root.streamBlocks[index];
        if (m_movie.root.stream->info.format == SoundFormat::Mp3) data = data.subspan(std::min(data.size(), kMp3BlockPrefix));
        m_stream->Decode(data, m_streamPcm, static_cast<size_t>(m_slot * 4));
        block = true;
    }
    for (const SoundStart& start : root.TakeSoundStarts()) Start(start);
    m_streamActive = block || !m_streamPcm.empty();
    m_carry += m_slot;
    size_t frames = static_cast<size_t>(m_carry);
    m_carry -= static_cast<double>(frames);
    if (m_streamPcm.empty() && m_voices.empty()) return;
    std::vector<int32_t> mix(frames * 2, 0);
    MixInto(mix, frames);
    std::vector<int16_t> out(mix.size());
    std::transform(mix.begin(), mix.end(), out.begin(), [](int32_t v) { return static_cast<int16_t>(std::clamp(v, -32768, 32767)); });
    if (m_sink.Queue(out)) m_queued += frames;
}

void SoundMixer::MixInto(std::vector<int32_t>& mix, size_t frames) {
    size_t stream = std::min(m_streamPcm.size(), frames * 2);
    for (size_t i = 0; i < stream; ++i) mix[i] += m_streamPcm[i];
    m_streamPcm.erase(m_streamPcm.begin(), m_streamPcm.begin() + static_cast<long>(stream));
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
    if (it == m_movie.soundIds.end() || m_decodedFrames >= kMaxDecodedFrames) return nullptr;
    const SoundData& sound = *m_movie.sounds[it->second];
    std::span<const uint8_t> data = sound.data;
    if (sound.info.format == SoundFormat::Mp3) data = data.subspan(std::min(data.size(), kMp3SoundPrefix));
    std::vector<int16_t> pcm;
    SoundDecoder(sound.info).Decode(data, pcm, std::min(kMaxSoundFrames, kMaxDecodedFrames - m_decodedFrames));
    m_decodedFrames += pcm.size() / 2;
    return &m_decoded.emplace(id, std::move(pcm)).first->second;
}

} // namespace showsaver::flash
