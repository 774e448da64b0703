#pragma once
// The small control kinds: pause, background colour, loop start and end,
// and note.

#include "show/Item.h"

#include <chrono>
#include <optional>

namespace showsaver {

// Kind 4: waits its duration in 100 ms steps, ending early on a stop request.
class PauseItem final : public Item {
public:
    PauseItem() : Item(ItemKind::Pause) {}
    void CopyFrom(const Item& other) override;
    void Load(ShowReader& reader) override;
    void Save(ShowWriter& writer) const override;
    bool Validate(ValidationContext& context) override;
    int Play(gfx::DeviceContext& dc, int& index, ScenePlayer& player) override;
    std::unique_ptr<Item> Clone() const override { return std::make_unique<PauseItem>(); }
    void Describe(FieldVisitor& visitor) override;

    DurationProperty duration;
};

// Kind 5: gives the window a new background colour.
class BackgroundItem final : public Item {
public:
    BackgroundItem() : Item(ItemKind::Background) {}
    void CopyFrom(const Item& other) override;
    void Load(ShowReader& reader) override;
    void Save(ShowWriter& writer) const override;
    bool Validate(ValidationContext& context) override;
    int Play(gfx::DeviceContext& dc, int& index, ScenePlayer& player) override;
    std::unique_ptr<Item> Clone() const override { return std::make_unique<BackgroundItem>(); }
    void Describe(FieldVisitor& visitor) override;

    ColorProperty color;
};

// Kind 6: marks where a loop's block begins.
class LoopStartItem final : public Item {
public:
    LoopStartItem() : Item(ItemKind::LoopStart) {}
    bool Validate(ValidationContext& context) override;
    int Play(gfx::DeviceContext&, int&, ScenePlayer&) override { return 0; }
    std::unique_ptr<Item> Clone() const override { return std::make_unique<LoopStartItem>(); }
};

// Kind 7: sends play back to the item after its matching loop start until
// the block has played its repeat count (or forever).
class LoopEndItem final : public Item {
public:
    LoopEndItem() : Item(ItemKind::LoopEnd) {}
    void CopyFrom(const Item& other) override;
    void Load(ShowReader& reader) override;
    void Save(ShowWriter& writer) const override;
    // Fails without a matching start (found by MatchLoops before validation).
    bool Validate(ValidationContext& context) override;
    int Play(gfx::DeviceContext& dc, int& index, ScenePlayer& player) override;
    std::unique_ptr<Item> Clone() const override { return std::make_unique<LoopEndItem>(); }
    void Describe(FieldVisitor& visitor) override;

    RepeatProperty repeat;

    // Passes through a loop come at most once per display frame.
    static constexpr std::chrono::milliseconds kShortestPass{16};

private:
    // A pass that took less than a display frame waits for the rest of it:
    // a loop around nothing timed would otherwise spin a core and show
    // nothing more for it.
    void PaceEmptyPass(ScenePlayer& player);

    std::optional<std::chrono::steady_clock::time_point> m_lastPass;
};

// Gives every loop end of the list its jump target, the position after its
// matching loop start (nested pairs match inside out), or -1 when no start
// precedes it. One pass over the list, whatever the nesting depth.
void MatchLoops(const ItemList& items);

// Kind 12: an author's note; plays nothing.
class NoteItem final : public Item {
public:
    NoteItem() : Item(ItemKind::Note) {}
    void CopyFrom(const Item& other) override;
    void Load(ShowReader& reader) override;
    void Save(ShowWriter& writer) const override;
    bool Validate(ValidationContext& context) override;
    int Play(gfx::DeviceContext&, int&, ScenePlayer&) override { return 0; }
    std::unique_ptr<Item> Clone() const override { return std::make_unique<NoteItem>(); }
    void Describe(FieldVisitor& visitor) override;

    TextProperty text;
};

} // namespace showsaver
