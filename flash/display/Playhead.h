#pragma once
// A timeline being played: the root's, or one placed sprite's. It holds the
// display list its frames built and steps through its frames; going back
// rebuilds the list from frame 0.

#include <algorithm>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "flash/characters/Movie.h"

namespace showsaver::flash {

class Playhead;

// The playheads alive under one root, each known by a serial number that is
// never reused. Whatever outlives a step (pending actions, an action's
// target) holds serials, so that a playhead a goto removed in the meantime
// is found gone rather than used after its end. It also counts the display
// objects of all their lists, which a sprite placed many times multiplies.
class PlayheadRegistry {
public:
    uint64_t Add(Playhead* playhead) {
        m_alive.emplace(++m_last, playhead);
        return m_last;
    }
    void Remove(uint64_t serial) { m_alive.erase(serial); }
    // The playhead, or null once it has gone (0 is never a serial).
    Playhead* Find(uint64_t serial) const {
        auto it = m_alive.find(serial);
        return it == m_alive.end() ? nullptr : it->second;
    }
    size_t Count() const { return m_alive.size(); }
    // False, counting nothing, when the objects alive reach their limit.
    bool AddObject() {
        if (m_objects >= Limits::kMaxDisplayObjects) return false;
        ++m_objects;
        return true;
    }
    void RemoveObjects(size_t count) { m_objects -= std::min(count, m_objects); }

private:
    std::unordered_map<uint64_t, Playhead*> m_alive;
    uint64_t m_last = 0;
    size_t m_objects = 0;
};

struct DisplayObject {
    uint16_t id = 0;
    const Character* character = nullptr;   // null when the id is not defined
    Matrix matrix;
    ColorTransform color;
    uint16_t ratio = 0;
    uint16_t clipDepth = 0;
    std::vector<Filter> filters;
    BlendMode blend = BlendMode::Normal;
    bool cacheAsBitmap = false;
    std::string name;
    bool visible = true;                    // a script's _visible
    ClipActions clipActions;                // its onClipEvent handlers
    std::unique_ptr<Playhead> sprite;       // the playhead of a placed sprite, or of a button's up state
    uint64_t placedAt = 0;                  // the step that placed it; it plays from the next
    mutable std::shared_ptr<void> videoState;   // a placed video's decoder, made and kept by drawing
    std::shared_ptr<const Character> owned;     // a character made by a script (its bitmap), kept while placed
    // Set by scripts. The part of it shown, moved to its origin (twips of
    // its own space); the colour its box is filled with beneath it.
    std::optional<Rect> scrollRect;
    std::optional<Rgba> opaqueBackground;
    uint64_t mask = 0;      // the playhead of the clip that masks it, by serial
    uint64_t masking = 0;   // the playhead of the clip it masks: then it is drawn only as that mask
};

// Actions to run once a step has built its frames, with the playhead whose
// frame carried them (by serial: it may be gone by the time they run).
struct PendingActions {
    uint64_t owner = 0;
    const std::vector<uint8_t>* code = nullptr;   // in the movie
};

// A stream sound block that a frame reached, with the playhead and timeline
// whose stream it continues.
struct StreamBlockRef {
    uint64_t playhead = 0;
    const Timeline* timeline = nullptr;
    size_t index = 0;
};

class Playhead {
public:
    // `nesting` counts the sprites this one is placed in (0 for the root);
    // `registry` holds the playheads alive under one root, whose count
    // bounds what a sprite that places itself can make.
    Playhead(const Movie& movie, const Timeline& timeline, int frameCount, int nesting, PlayheadRegistry& registry);
    ~Playhead() {
        m_registry.RemoveObjects(m_list.size());
        m_registry.Remove(m_serial);
    }
    Playhead(const Playhead&) = delete;
    Playhead& operator=(const Playhead&) = delete;

    uint64_t Serial() const { return m_serial; }
    PlayheadRegistry& Registry() const { return m_registry; }
    // The playhead whose list holds this one; null for the root.
    Playhead* Parent() const { return m_parent; }
    int Frame() const { return m_frame; }
    int FrameCount() const { return m_frameCount; }
    bool Playing() const { return m_playing; }
    void SetPlaying(bool playing) { m_playing = playing; }
    // A playhead that is not looping stops on its last frame (the root with
    // loop off); sprites always loop.
    void SetLooping(bool looping) { m_looping = looping; }
    const std::map<uint16_t, DisplayObject>& List() const { return m_list; }
    const Timeline& Line() const { return m_timeline; }

    // One frame of time: this timeline moves on when playing, then every
    // sprite in it that was already there.
    void Step(std::vector<PendingActions>& actions);
    // Shows `frame` (clamped to the timeline); its actions join `actions`.
    void Goto(int frame, std::vector<PendingActions>& actions);
    // The frame that carries `label`, or -1.
    int FindLabel(const std::string& label) const;
    // The placed sprite named `name` in this list, or null.
    Playhead* Child(const std::string& name);
    // Hooks for the script machine. Depths from kScriptDepths up are the
    // ones scripts give (their depth 0 is this one): going back in the
    // timeline keeps what they hold.
    static constexpr int kScriptDepths = 16384;
    std::map<uint16_t, DisplayObject>& MutableList() { return m_list; }
    // The display object that holds this playhead in its parent's list.
    DisplayObject* Holder() const { return m_holder; }
    // Counts the changes to the list (objects placed, removed, moved to
    // other depths, renamed), for whoever keeps an index of its names.
    uint64_t ListVersion() const { return m_listVersion; }
    void Touch() { ++m_listVersion; }
    // Places `character` (a sprite, or an empty one when null) at `depth`,
    // replacing what was there; the new playhead, or null past a limit.
    Playhead* PlaceSprite(uint16_t depth, const Character* character, const std::string& name,
                          std::vector<PendingActions>& actions);
    // Places another movie's root timeline at `depth`, as a sprite (a
    // script's loadMovie); `movie` must outlive the playhead.
    Playhead* PlaceMovie(uint16_t depth, const Movie& movie, const std::string& name, std::vector<PendingActions>& actions);
    // Places a character that has no timeline (a script's text field).
    DisplayObject* PlaceCharacter(uint16_t depth, const Character* character, const std::string& name);
    void RemoveAt(uint16_t depth) { Erase(depth); }
    // Exchanges what two depths hold (either may be empty).
    void SwapDepths(uint16_t a, uint16_t b);
    // Shapes the drawing methods built, drawn under the list.
    std::vector<ShapeLayer>& Drawing() { return m_drawing; }
    const std::vector<ShapeLayer>& Drawing() const { return m_drawing; }

    // The stream blocks and event sound starts that frames of this timeline
    // and of every sprite in it reached since the last call, in order.
    // Takes the sound this step asked for, of this playhead and those below
    // it. Event sounds name a sound by its id in their own movie, and the
    // mixer knows one movie: those of a movie loaded into a clip are dropped.
    void TakeSound(std::vector<StreamBlockRef>& blocks, std::vector<SoundStart>& starts);
    const Movie& OwnMovie() const { return m_movie; }

private:
    // Builds `frame`'s display list; sprites it places add their first
    // frame's actions. Only a `reached` frame adds its own actions and sound.
    void Apply(int frame, std::vector<PendingActions>& actions, bool reached);
    void Place(const PlaceCommand& place, std::vector<PendingActions>& actions);
    void SetCharacter(DisplayObject& object, uint16_t id, std::vector<PendingActions>& actions);
    void StepChildren(std::vector<PendingActions>& actions);
    void Erase(uint16_t depth);
    void TakeSoundOf(const Movie& heard, std::vector<StreamBlockRef>& blocks, std::vector<SoundStart>& starts);

    const Movie& m_movie;
    const Timeline& m_timeline;
    int m_frameCount;
    int m_nesting;
    PlayheadRegistry& m_registry;
    uint64_t m_serial;
    Playhead* m_parent = nullptr;   // owns this one, so outlives it
    DisplayObject* m_holder = nullptr;   // in the parent's list (a map: its nodes stay put)
    uint64_t m_listVersion = 0;
    int m_frame = -1;
    uint64_t m_steps = 0;
    bool m_playing = true;
    bool m_looping = true;
    std::map<uint16_t, DisplayObject> m_list;
    std::vector<ShapeLayer> m_drawing;
    std::vector<size_t> m_streamBlocks;
    std::vector<SoundStart> m_soundStarts;
};

} // namespace showsaver::flash
