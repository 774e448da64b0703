#include "show/ItemProperty.h"

#include "platform/sys/Clock.h"
#include "platform/ui/MessageBox.h"
#include "resources/StringTable.h"
#include "show/Item.h"
#include "show/Random.h"
#include "show/ShowReader.h"
#include "show/ShowWriter.h"

#include <cstdlib>

namespace showsaver {

void TextProperty::Assign(const ItemProperty& other) {
    text = static_cast<const TextProperty&>(other).text;
}

void TextProperty::Load(ShowReader& reader) { reader.ReadScrambledText(text); }

void TextProperty::Save(ShowWriter& writer) const { writer.WriteScrambledText(text); }

void ColorProperty::Assign(const ItemProperty& other) {
    auto& o = static_cast<const ColorProperty&>(other);
    color = o.color;
    rasterMode = o.rasterMode;
    random = o.random;
    fourthValue = o.fourthValue;
    secondColor = o.secondColor;
}

void ColorProperty::Load(ShowReader& reader) {
    color = reader.ReadUInt32();
    rasterMode = reader.ReadInt32();
    random = reader.ReadInt32();
    fourthValue = reader.ReadInt32();
}

void ColorProperty::Save(ShowWriter& writer) const {
    writer.WriteUInt32(color);
    writer.WriteInt32(rasterMode);
    writer.WriteInt32(random);
    writer.WriteInt32(fourthValue);
}

void ColorProperty::Describe(FieldVisitor& visitor) {
    visitor.UInt("color", color);
    visitor.Int("rasterMode", rasterMode);
    visitor.Int("random", random);
    visitor.Int("fourthValue", fourthValue);
}

void ColorProperty::ApplyRandomColor(int32_t settingsTimes) {
    if (!random) return;
    // The starting point is taken at the first random colour: a show of
    // thousands of items reads the clock only for those that use one.
    if (!seed) seed = TimeSeed();
    *seed += 100;
    CRand rand(static_cast<uint32_t>(*seed));
    auto now = sys::LocalSystemTime();
    uint32_t low = static_cast<uint32_t>(rand.Next() * now.milliseconds) & 0xFFFF;
    uint32_t v = ((sys::TickCount() & 0xFFFF) << 16) | low;
    int32_t e = rand.Next();
    if (e == 0) e = 2;
    int32_t w = static_cast<int32_t>(static_cast<uint32_t>(settingsTimes) * v) / e;
    uint32_t f = sys::TickCount() % static_cast<uint32_t>(e);
    RangeRandom range;
    range.Seed(static_cast<int32_t>(f * f + static_cast<uint32_t>(w)));
    range.SetRange(0, 500);
    uint32_t red = static_cast<uint32_t>(range.Next()) & 0xFF;
    uint32_t green = static_cast<uint32_t>(range.Next()) & 0xFF;
    uint32_t blue = static_cast<uint32_t>(range.Next()) & 0xFF;
    color = red + green * 256 + blue * 65536;
}

void DurationProperty::Assign(const ItemProperty& other) {
    auto& o = static_cast<const DurationProperty&>(other);
    duration = o.duration;
    random = o.random;
}

void DurationProperty::Load(ShowReader& reader) {
    duration = reader.ReadInt32();
    random = reader.ReadInt32();
}

void DurationProperty::Save(ShowWriter& writer) const {
    writer.WriteInt32(duration);
    writer.WriteInt32(random);
}

void DurationProperty::ApplyRandomDuration(uint32_t seed) {
    if (!random) return;
    CRand rand(seed);
    int64_t old = duration;
    int64_t next = old;
    do {
        next = (rand.Next() + next) % kRandomBound;
    } while (std::llabs(next - old) < 150);
    duration = static_cast<int32_t>(next);
}

void RepeatProperty::Assign(const ItemProperty& other) {
    auto& o = static_cast<const RepeatProperty&>(other);
    repeatCount = o.repeatCount;
    forever = o.forever;
}

void RepeatProperty::Load(ShowReader& reader) {
    repeatCount = reader.ReadInt32();
    forever = reader.ReadInt32();
}

void RepeatProperty::Save(ShowWriter& writer) const {
    writer.WriteInt32(repeatCount);
    writer.WriteInt32(forever);
}

bool RepeatProperty::Validate() {
    counter = 0;
    return true;
}

bool MediaRefProperty::Validate(ui::MessageSink& messages) const {
    if (source && source->Kind() == ItemKind::Media) return true;
    messages.Show(strings::Load(strings::kChooseMedia), ui::MessageIcon::Stop);
    return false;
}

} // namespace showsaver
