#pragma once
// Where a picture scene puts its picture, how it brings it in, and the path
// of a moving picture; and the scene property that pairs it with the
// picture and a background colour.

#include "show/ItemProperty.h"

#include <cstdint>
#include <optional>

namespace showsaver {

class FieldVisitor;
class Item;

struct PicturePlacement {
    int32_t startX = 0, startY = 0;
    int32_t endX = 0, endY = 0;
    int32_t xLimit = 0, yLimit = 0;
    int32_t xStep = 1, yStep = 1;
    int32_t currentX = 0, currentY = 0;   // not stored
    int32_t startXMode = 5, startYMode = 5, endXMode = 5, endYMode = 5;
    int32_t xComparison = 0, bothConditions = 0, yComparison = 0;
    int32_t movementDelay = 100000;
    int32_t typingSpeed = 2000;
    int32_t effectNumber = 0;
    int32_t transitionDelayValue = 100;
    int32_t freeMovement = 0;
    int32_t horizontalPath = 1;
    int32_t typewriter = 0;
    int32_t keepScreenBehind = 0;
    int32_t saveBackground = 0;
    std::optional<int32_t> randomSeed;   // not stored; TimeSeed() at the first path, then advanced by 100 at each

    // Reads the record in the layout the show's versions select (the older
    // layouts of signature-B shows included).
    void Load(ShowReader& reader);
    // Writes the current layout: 24 int32 values.
    void Save(ShowWriter& writer) const;
    void Describe(FieldVisitor& visitor);

    // Sets the start and end positions from their modes for a picture of
    // `size` on a screen of `screen` (0 at the edge, 1 centred, 2 at the far
    // edge, 3 random and possibly partly off the screen, 4 random and fully
    // on it, 5 as stored), points the steps from start to end, and puts the
    // current position at the start. `settingsTimes` is mixed into the seed.
    void ComputePath(int32_t width, int32_t height, int32_t screenWidth, int32_t screenHeight,
                     int32_t settingsTimes);

    // Moves the current position one step of a moving picture and says
    // whether the movement is over. Along a path (start to end) the step is
    // the x step on the major axis and the other coordinate follows the
    // line; it is over once the end is reached or passed. A free movement
    // steps by (x step, y step) and is over when its end conditions hold:
    // the x condition and the y condition with both conditions set, either
    // of them otherwise.
    bool Step();

private:
    void LoadCommonPart(ShowReader& reader);
};

// The property of the picture scenes: the picture, its placement and the
// scene's background colour.
class PictureRefProperty : public ItemProperty {
public:
    void Assign(const ItemProperty& other) override;
    void Load(ShowReader& reader) override;   // placement record, then colour record
    void Save(ShowWriter& writer) const override;
    bool Validate() override { return true; }
    // True when the source is a picture item; otherwise says so and fails.
    bool Validate(ui::MessageSink& messages);
    void Describe(FieldVisitor& visitor);

    Item* source = nullptr;
    PicturePlacement placement;
    ColorProperty color;
};

} // namespace showsaver
