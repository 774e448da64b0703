#pragma once
// The small value objects inside items. Each copies, loads, saves and
// validates itself; Assign copies the stored fields and the text, never
// pointers, seeds or counters.

#include <cstdint>
#include <optional>
#include <string>

namespace showsaver {

namespace ui { class MessageSink; }
class FieldVisitor;
class Item;
class ShowReader;
class ShowWriter;
using ColorRef = uint32_t;

class ItemProperty {
public:
    virtual ~ItemProperty() = default;
    virtual void Assign(const ItemProperty& other) = 0;
    virtual void Load(ShowReader& reader) = 0;
    virtual void Save(ShowWriter& writer) const = 0;
    virtual bool Validate() { return true; }
};

class TextProperty : public ItemProperty {
public:
    void Assign(const ItemProperty& other) override;
    void Load(ShowReader& reader) override;   // a scrambled text
    void Save(ShowWriter& writer) const override;

    std::string text;   // Windows-1252
};

class ColorProperty : public ItemProperty {
public:
    void Assign(const ItemProperty& other) override;
    void Load(ShowReader& reader) override;   // colour, raster mode, random flag, fourth value
    void Save(ShowWriter& writer) const override;
    void Describe(FieldVisitor& visitor);

    // When the random flag is set, picks a new colour from the seed, the
    // clocks and `settingsTimes` (the profile's "Times" of "Settings").
    void ApplyRandomColor(int32_t settingsTimes);

    ColorRef color = 0;
    int32_t rasterMode = 0;   // stored, not used by playback
    int32_t random = 0;
    int32_t fourthValue = 1;  // 1: a scene uses the window's background colour
    ColorRef secondColor = 0xFFFFFF;
    std::optional<int32_t> seed;   // not stored; TimeSeed() at the first random colour, then advanced by each
};

class DurationProperty : public ItemProperty {
public:
    static constexpr int32_t kRandomBound = 3001;
    void Assign(const ItemProperty& other) override;
    void Load(ShowReader& reader) override;   // duration in ms, random flag
    void Save(ShowWriter& writer) const override;

    // When the random flag is set, draws a new duration of 0 to 3000 ms that
    // differs from the previous one by at least 150 ms. `seed` is the time.
    void ApplyRandomDuration(uint32_t seed);

    int32_t duration = 0;
    int32_t random = 0;
};

class RepeatProperty : public ItemProperty {
public:
    void Assign(const ItemProperty& other) override;
    void Load(ShowReader& reader) override;   // repeat count, forever flag
    void Save(ShowWriter& writer) const override;
    bool Validate() override;                  // resets the counter

    int32_t repeatCount = 1;
    int32_t forever = 0;
    int32_t counter = 0;      // not stored
    int32_t jumpTarget = -1;  // not stored; set by the loop end's validation
};

// The media item a player or stop item refers to; stores no bytes.
class MediaRefProperty : public ItemProperty {
public:
    void Assign(const ItemProperty&) override {}   // the source is a link, never copied
    void Load(ShowReader&) override {}
    void Save(ShowWriter&) const override {}
    bool Validate() override { return true; }
    // True when the source is a media item; otherwise says so and fails.
    bool Validate(ui::MessageSink& messages) const;

    Item* source = nullptr;
};

} // namespace showsaver
