#include "show/ControlItems.h"

#include "show/ItemList.h"
#include "show/Random.h"
#include "show/ScenePlayer.h"

#include <vector>

namespace showsaver {

// --- PauseItem ---

void PauseItem::CopyFrom(const Item& other) {
    Item::CopyFrom(other);
    duration.Assign(static_cast<const PauseItem&>(other).duration);
}

void PauseItem::Load(ShowReader& reader) {
    Item::Load(reader);
    duration.Load(reader);
}

void PauseItem::Save(ShowWriter& writer) const {
    Item::Save(writer);
    duration.Save(writer);
}

bool PauseItem::Validate(ValidationContext& context) {
    return IsDisabled() || (Item::Validate(context) && duration.Validate());
}

int PauseItem::Play(gfx::DeviceContext&, int&, ScenePlayer& player) {
    duration.ApplyRandomDuration(CurrentTimeSeconds());
    int32_t ms = duration.duration;
    for (int32_t step = 0; step < ms / 100; ++step) {
        if (player.IsStopRequested()) return 0;
        player.Sleep(100);
    }
    if (!player.IsStopRequested() && ms > 0 && ms % 100 != 0) player.Sleep(static_cast<uint32_t>(ms % 100));
    return 0;
}

void PauseItem::Describe(FieldVisitor& visitor) {
    visitor.Int("duration", duration.duration);
    visitor.Int("random", duration.random);
}

// --- BackgroundItem ---

void BackgroundItem::CopyFrom(const Item& other) {
    Item::CopyFrom(other);
    color.Assign(static_cast<const BackgroundItem&>(other).color);
}

void BackgroundItem::Load(ShowReader& reader) {
    Item::Load(reader);
    color.Load(reader);
}

void BackgroundItem::Save(ShowWriter& writer) const {
    Item::Save(writer);
    color.Save(writer);
}

bool BackgroundItem::Validate(ValidationContext& context) {
    return IsDisabled() || (Item::Validate(context) && color.Validate());
}

int BackgroundItem::Play(gfx::DeviceContext&, int&, ScenePlayer& player) {
    color.ApplyRandomColor(player.SettingsTimes());
    player.Window().SetBackground(color.color);
    return 0;
}

void BackgroundItem::Describe(FieldVisitor& visitor) {
    visitor.Group("color", [this](FieldVisitor& v) { color.Describe(v); });
}

// --- LoopStartItem ---

bool LoopStartItem::Validate(ValidationContext& context) {
    return IsDisabled() || Item::Validate(context);
}

// --- LoopEndItem ---

void LoopEndItem::CopyFrom(const Item& other) {
    Item::CopyFrom(other);
    repeat.Assign(static_cast<const LoopEndItem&>(other).repeat);
}

void LoopEndItem::Load(ShowReader& reader) {
    Item::Load(reader);
    repeat.Load(reader);
}

void LoopEndItem::Save(ShowWriter& writer) const {
    Item::Save(writer);
    repeat.Save(writer);
}

// Walking back from a loop end, counting ends up and starts down until the
// count reaches zero, finds the same start as matching them like brackets
// from the front, which takes one pass instead of one walk per loop end.
// Disabled items count too.
void MatchLoops(const ItemList& items) {
    std::vector<int> openStarts;
    for (int i = 0; i < items.Size(); ++i) {
        Item& item = items.At(i);
        if (item.Kind() == ItemKind::LoopStart) {
            openStarts.push_back(i);
        } else if (item.Kind() == ItemKind::LoopEnd) {
            auto& end = static_cast<LoopEndItem&>(item);
            end.repeat.jumpTarget = openStarts.empty() ? -1 : openStarts.back() + 1;
            if (!openStarts.empty()) openStarts.pop_back();
        }
    }
}

bool LoopEndItem::Validate(ValidationContext& context) {
    if (IsDisabled()) return true;
    if (repeat.jumpTarget < 0) return false;
    return Item::Validate(context) && repeat.Validate();
}

int LoopEndItem::Play(gfx::DeviceContext&, int& index, ScenePlayer& player) {
    if (!repeat.forever) {
        ++repeat.counter;
        if (repeat.counter >= repeat.repeatCount) {
            repeat.counter = 0;
            m_lastPass.reset();
            return 0;
        }
    }
    PaceEmptyPass(player);
    index = repeat.jumpTarget - 1;
    return 0;
}

void LoopEndItem::PaceEmptyPass(ScenePlayer& player) {
    auto now = player.Now();
    if (m_lastPass && now - *m_lastPass < kShortestPass) {
        auto rest = std::chrono::ceil<std::chrono::milliseconds>(kShortestPass - (now - *m_lastPass));
        player.Sleep(static_cast<uint32_t>(rest.count()));
        now = player.Now();
    }
    m_lastPass = now;
}

void LoopEndItem::Describe(FieldVisitor& visitor) {
    visitor.Int("repeatCount", repeat.repeatCount);
    visitor.Int("forever", repeat.forever);
}

// --- NoteItem ---

void NoteItem::CopyFrom(const Item& other) {
    Item::CopyFrom(other);
    text.Assign(static_cast<const NoteItem&>(other).text);
}

void NoteItem::Load(ShowReader& reader) {
    Item::Load(reader);
    text.Load(reader);
}

void NoteItem::Save(ShowWriter& writer) const {
    Item::Save(writer);
    text.Save(writer);
}

bool NoteItem::Validate(ValidationContext& context) { return IsDisabled() || Item::Validate(context); }

void NoteItem::Describe(FieldVisitor& visitor) { visitor.Text("text", text.text); }

} // namespace showsaver
