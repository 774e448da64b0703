#pragma once
// A timeline being played: the root's, or one placed sprite's. It holds the
// display list its frames built and steps through its frames; going back
// rebuilds the list from frame 0.

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/flash/Movie.h"

namespace showsaver::flash {

class Playhead;

struct DisplayObject {
    uint16_t id = 0;
    const Character* character = nullptr;   // null when the id is not defined
    Matrix matrix;
    ColorTransform color;
    uint16_t ratio = 0;
    uint16_t clipDepth = 0;
    std::string name;
    std::unique_ptr<Playhead> sprite;       // the playhead of a placed sprite
    uint64_t placedAt = 0;                  // the step that placed it; it plays from the next
};

// Actions to run once a step has built its frames, with the playhead whose
// frame carried them.
struct PendingActions {
    Playhead* owner = nullptr;
    const std::vector<uint8_t>* code = nullptr;
};

class Playhead {
public:
    // `nesting` counts the sprites this one is placed in (0 for the root);
    // `instances` counts the playheads alive under one root, which bounds
    // what a sprite that places itself can make.
    Playhead(const Movie& movie, const Timeline& timeline, int frameCount, int nesting, size_t& instances);
    ~Playhead() { --m_instances; }
    Playhead(const Playhead&) = delete;
    Playhead& operator=(const Playhead&) = delete;

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
    // Frames whose stream block is due, newest last, since the last call.
    std::vector<size_t> TakeStreamBlocks();
    std::vector<SoundStart> TakeSoundStarts();

private:
    void Apply(int frame, std::vector<PendingActions>* actions);
    void Place(const PlaceCommand& place);
    void SetCharacter(DisplayObject& object, uint16_t id);
    void StepChildren(std::vector<PendingActions>& actions);

    const Movie& m_movie;
    const Timeline& m_timeline;
    int m_frameCount;
    int m_nesting;
    size_t& m_instances;
    int m_frame = -1;
    uint64_t m_steps = 0;
    bool m_playing = true;
    bool m_looping = true;
    std::map<uint16_t, DisplayObject> m_list;
    std::vector<size_t> m_streamBlocks;
    std::vector<SoundStart> m_soundStarts;
};

} // namespace showsaver::flash
