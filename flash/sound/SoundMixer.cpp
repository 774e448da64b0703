#include "flash/characters/Movie.h"
#include "flash/display/Playhead.h"
#include "flash/sound/Sound.h"

#include <algorithm>
#include <cmath>

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

void SoundMixer::Step(Playhead& root, ScriptSounds* script) {
    std::vector<StreamBlockRef> blocks;
    std::vector<SoundStart> starts;
    root.TakeSound(blocks, starts);
    for (const StreamBlockRef& block : blocks) Feed(block);
    for (const SoundStart& start : starts) Start(start);
    if (script) {
        for (const ScriptSounds::Command& command : script->commands) Command(command);
        script->commands.clear();
    }
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
    MixInto(mix, frames, script);
    if (script) Report(*script);
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

namespace {

// A voice's gains, left and right: its clip's volume and pan, then the
// volume every sound has.
std::pair<double, double> Gains(const ScriptSounds* script, uint64_t owner) {
    if (!script) return {1, 1};
    double gain = 1, left = 1, right = 1;
    auto apply = [&](uint64_t key) {
        auto it = script->transforms.find(key);
        if (it == script->transforms.end()) return;
        gain *= std::max(0.0, it->second.volume) / 100;
        double pan = std::clamp(it->second.pan, -100.0, 100.0);
        if (pan > 0) left *= 1 - pan / 100;
        if (pan < 0) right *= 1 + pan / 100;
    };
    apply(0);
    if (owner) apply(owner);
    return {gain * left, gain * right};
}

} // namespace

void SoundMixer::MixInto(std::vector<int32_t>& mix, size_t frames, const ScriptSounds* script) {
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
        auto [left, right] = Gains(script, voice.owner);
        bool whole = left == 1 && right == 1;
        for (size_t i = 0; i < frames * 2 && voice.loopsLeft > 0; ++i) {
            if (voice.position >= voice.pcm->size()) {
                voice.position = 0;
                if (--voice.loopsLeft == 0 || voice.pcm->empty()) break;
            }
            int32_t sample = (*voice.pcm)[voice.position++];
            mix[i] += whole ? sample : static_cast<int32_t>(std::lround(sample * (i % 2 ? right : left)));
        }
    }
    m_ended.clear();
    for (const Voice& v : m_voices)
        if (v.token && (v.loopsLeft <= 0 || v.pcm->empty())) m_ended.push_back(v.token);
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

void SoundMixer::Command(const ScriptSounds::Command& command) {
    if (command.stop) {
        std::erase_if(m_voices, [&](const Voice& v) {
            return (!command.owner || v.owner == command.owner) && (!command.id || v.id == command.id);
        });
        return;
    }
    if (m_voices.size() >= kMaxVoices) return;
    const auto* pcm = Decoded(command.id);
    if (!pcm || pcm->empty()) return;
    double frame = std::max(0.0, command.offsetSeconds) * SoundSink::kRate;
    size_t position = frame < static_cast<double>(pcm->size() / 2) ? static_cast<size_t>(frame) * 2 : pcm->size();
    m_voices.push_back({pcm, position, command.id, std::max(1, command.loops), command.owner, command.token});
}

// The script's Sound objects learn which of theirs ended and where the
// others are.
void SoundMixer::Report(ScriptSounds& script) const {
    for (uint64_t token : m_ended) {
        bool more = std::any_of(m_voices.begin(), m_voices.end(), [&](const Voice& v) { return v.token == token; });
        if (!more && std::find(script.completed.begin(), script.completed.end(), token) == script.completed.end())
            script.completed.push_back(token);
    }
    for (const Voice& v : m_voices)
        if (v.token) script.positions[v.token] = static_cast<double>(v.position / 2) * 1000.0 / SoundSink::kRate;
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
