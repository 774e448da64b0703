#include "flash/display/Playhead.h"

#include <algorithm>
#include <cctype>

namespace showsaver::flash {

Playhead::Playhead(const Movie& movie, const Timeline& timeline, int frameCount, int nesting, PlayheadRegistry& registry)
    : m_movie(movie), m_timeline(timeline), m_nesting(nesting), m_registry(registry), m_serial(registry.Add(this)) {
    int stored = static_cast<int>(timeline.frames.size());
    m_frameCount = std::max(1, frameCount > 0 ? std::min(frameCount, stored) : stored);
}

void Playhead::Step(std::vector<PendingActions>& actions) {
    ++m_steps;
    if (m_playing) {
        int next = m_frame + 1;
        if (next >= m_frameCount) {
            if (m_looping) {
                Goto(0, actions);
            } else {
                m_playing = false;
            }
        } else {
            Apply(next, actions, true);
            m_frame = next;
        }
    }
    StepChildren(actions);
}

void Playhead::StepChildren(std::vector<PendingActions>& actions) {
    for (auto& [depth, object] : m_list) {
        if (object.sprite && object.placedAt < m_steps) object.sprite->Step(actions);
    }
}

void Playhead::Goto(int frame, std::vector<PendingActions>& actions) {
    frame = std::clamp(frame, 0, m_frameCount - 1);
    if (frame == m_frame) return;
    if (frame < m_frame) {
        size_t before = m_list.size();
        std::erase_if(m_list, [](const auto& entry) { return entry.first < kScriptDepths; });
        ++m_listVersion;
        m_registry.RemoveObjects(before - m_list.size());
        m_frame = -1;
    }
    for (int f = m_frame + 1; f < frame; ++f) Apply(f, actions, false);
    Apply(frame, actions, true);
    m_frame = frame;
}

void Playhead::Apply(int frame, std::vector<PendingActions>& actions, bool reached) {
    const flash::Frame& content = m_timeline.frames[static_cast<size_t>(frame)];
    for (const FrameCommand& command : content.commands) {
        if (command.kind == FrameCommand::Kind::Remove)
            Erase(command.place.depth);
        else
            Place(command.place, actions);
    }
    if (!reached) return;   // frames passed over on the way to a goto's target
    for (const auto& code : content.actions) actions.push_back({m_serial, &code});
    if (content.streamBlock) m_streamBlocks.push_back(*content.streamBlock);
    m_soundStarts.insert(m_soundStarts.end(), content.sounds.begin(), content.sounds.end());
}

void Playhead::Place(const PlaceCommand& place, std::vector<PendingActions>& actions) {
    auto it = m_list.find(place.depth);
    if (!place.move && it != m_list.end()) return;   // a depth taken keeps what it shows
    if (it == m_list.end()) {
        if (!place.character) return;   // nothing to modify
        if (!m_registry.AddObject()) return;   // past the limit of objects alive: not placed
        it = m_list.emplace(place.depth, DisplayObject{}).first;
        SetCharacter(it->second, *place.character, actions);
    } else if (place.character && *place.character != it->second.id) {
        SetCharacter(it->second, *place.character, actions);
    }
    DisplayObject& object = it->second;
    if (place.matrix) object.matrix = *place.matrix;
    if (place.color) object.color = *place.color;
    if (place.ratio) object.ratio = *place.ratio;
    if (place.name) object.name = *place.name, ++m_listVersion;
    if (place.clipDepth) object.clipDepth = *place.clipDepth;
    if (place.filters) object.filters = *place.filters;
    if (place.blend) object.blend = *place.blend;
    if (place.cacheAsBitmap) object.cacheAsBitmap = *place.cacheAsBitmap;
    if (place.clipActions) object.clipActions = place.clipActions;
}

// A sprite gets a playhead of its own, shown at its first frame, whose
// actions join the step's; so does a button, whose up state is a one-frame
// timeline (sprites in it play on as anywhere else).
void Playhead::SetCharacter(DisplayObject& object, uint16_t id, std::vector<PendingActions>& actions) {
    object.id = id;
    object.character = m_movie.Find(id);
    object.sprite.reset();
    object.videoState.reset();
    ++m_listVersion;
    object.placedAt = m_steps;
    if (!object.character || m_nesting >= Limits::kMaxSpriteNesting || m_registry.Count() >= Limits::kMaxPlayheads)
        return;
    const Timeline* timeline = nullptr;
    int frames = 1;
    if (object.character->kind == CharacterKind::Sprite) {
        const auto& sprite = static_cast<const SpriteCharacter&>(*object.character);
        timeline = &sprite.timeline;
        frames = sprite.frameCount;
    } else if (object.character->kind == CharacterKind::Button) {
        timeline = &static_cast<const ButtonCharacter&>(*object.character).up;
    }
    if (!timeline) return;
    object.sprite = std::make_unique<Playhead>(m_movie, *timeline, frames, m_nesting + 1, m_registry);
    object.sprite->m_parent = this;
    object.sprite->m_holder = &object;
    object.sprite->Goto(0, actions);
}

void Playhead::Erase(uint16_t depth) {
    ++m_listVersion;
    m_registry.RemoveObjects(m_list.erase(depth));
}

namespace {
// What createEmptyMovieClip places: a sprite of one empty frame.
const SpriteCharacter& EmptySprite() {
    static const SpriteCharacter empty = [] {
        SpriteCharacter sprite;
        sprite.timeline.frames.resize(1);
        sprite.frameCount = 1;
        return sprite;
    }();
    return empty;
}
} // namespace

Playhead* Playhead::PlaceMovie(uint16_t depth, const Movie& movie, const std::string& name,
                               std::vector<PendingActions>& actions) {
    Playhead* empty = PlaceSprite(depth, nullptr, name, actions);
    if (!empty) return nullptr;
    DisplayObject& object = m_list.at(depth);
    object.sprite = std::make_unique<Playhead>(movie, movie.root, movie.header.frameCount, m_nesting + 1, m_registry);
    object.sprite->m_parent = this;
    object.sprite->m_holder = &object;
    object.sprite->Goto(0, actions);
    return object.sprite.get();
}

Playhead* Playhead::PlaceSprite(uint16_t depth, const Character* character, const std::string& name,
                                std::vector<PendingActions>& actions) {
    if (!character) character = &EmptySprite();
    if (character->kind != CharacterKind::Sprite) return nullptr;
    Erase(depth);
    if (!m_registry.AddObject()) return nullptr;
    DisplayObject& object = m_list.emplace(depth, DisplayObject{}).first->second;
    object.name = name;
    ++m_listVersion;
    object.placedAt = m_steps;
    object.character = character;
    if (m_nesting >= Limits::kMaxSpriteNesting || m_registry.Count() >= Limits::kMaxPlayheads) {
        Erase(depth);
        return nullptr;
    }
    const auto& sprite = static_cast<const SpriteCharacter&>(*character);
    object.sprite = std::make_unique<Playhead>(m_movie, sprite.timeline, sprite.frameCount, m_nesting + 1, m_registry);
    object.sprite->m_parent = this;
    object.sprite->m_holder = &object;
    object.sprite->Goto(0, actions);
    return object.sprite.get();
}

DisplayObject* Playhead::PlaceCharacter(uint16_t depth, const Character* character, const std::string& name) {
    Erase(depth);
    if (!character || !m_registry.AddObject()) return nullptr;
    DisplayObject& object = m_list.emplace(depth, DisplayObject{}).first->second;
    object.character = character;
    object.name = name;
    object.placedAt = m_steps;
    return &object;
}

void Playhead::SwapDepths(uint16_t a, uint16_t b) {
    ++m_listVersion;
    auto x = m_list.extract(a), y = m_list.extract(b);
    if (!x.empty()) x.key() = b, m_list.insert(std::move(x));
    if (!y.empty()) y.key() = a, m_list.insert(std::move(y));
}

int Playhead::FindLabel(const std::string& label) const {
    for (const auto& [name, frame] : m_timeline.labels)
        if (name.size() == label.size() &&
            std::equal(name.begin(), name.end(), label.begin(), [](char a, char b) { return std::tolower(a) == std::tolower(b); }))
            return frame;
    return -1;
}

Playhead* Playhead::Child(const std::string& name) {
    for (auto& [depth, object] : m_list)
        if (object.sprite && object.character->kind == CharacterKind::Sprite && object.name == name)
            return object.sprite.get();
    return nullptr;
}

void Playhead::TakeSound(std::vector<StreamBlockRef>& blocks, std::vector<SoundStart>& starts) {
    TakeSoundOf(m_movie, blocks, starts);
}

void Playhead::TakeSoundOf(const Movie& heard, std::vector<StreamBlockRef>& blocks, std::vector<SoundStart>& starts) {
    if (&m_movie == &heard) {
        for (size_t index : m_streamBlocks) blocks.push_back({m_serial, &m_timeline, index});
        starts.insert(starts.end(), m_soundStarts.begin(), m_soundStarts.end());
    }
    m_streamBlocks.clear();
    m_soundStarts.clear();
    for (auto& [depth, object] : m_list)
        if (object.sprite) object.sprite->TakeSoundOf(heard, blocks, starts);
}

} // namespace showsaver::flash
