#include "playback/PicturePlacement.h"

#include "platform/ui/MessageBox.h"
#include "resources/StringTable.h"
#include "show/Item.h"
#include "show/Random.h"
#include "show/ShowReader.h"
#include "show/ShowWriter.h"

namespace showsaver {

PicturePlacement::PicturePlacement() {
    CRand rand(CurrentTimeSeconds());
    randomSeed = rand.Next();
}

void PicturePlacement::LoadCommonPart(ShowReader& reader) {
    for (int32_t* field : {&startX, &startY, &endX, &endY, &xStep, &yStep, &horizontalPath, &xComparison,
                           &xLimit, &yLimit, &bothConditions, &yComparison, &freeMovement, &movementDelay,
                           &typingSpeed, &typewriter})
        *field = reader.ReadInt32();
}

// Signature-B shows (version V) store older layouts. Each block below is
// read when its test holds, in this order; the tests overlap on purpose
// (V = 2.05 reads two blocks), as those shows were written.
//
//   V = 1.0        random flags(4), common part(16)                       80 bytes
//   1.1 < V < 2.1  random(4), centred(4), common(16), keep, save         104 bytes
//   2.0 < V < 3.0  as above, effect number                               108 bytes
//   2.9 < V < 3.2  as above, effect number, transition delay value       112 bytes
//   V > 3.2, or a signature-A show: the current layout                    96 bytes
void PicturePlacement::Load(ShowReader& reader) {
    keepScreenBehind = 0;
    effectNumber = 0;
    saveBackground = 0;
    transitionDelayValue = 100;

    float v = reader.SignatureBVersion();
    if (v != 0.0f) {
        int32_t randomFlags[4] = {};
        int32_t centredFlags[4] = {};
        auto readFlags = [&](int32_t (&flags)[4]) {
            for (auto& flag : flags) flag = reader.ReadInt32();
        };
        bool older = false;
        if (v == 1.0f) {
            readFlags(randomFlags);
            LoadCommonPart(reader);
            older = true;
        }
        auto readSecondLayout = [&] {
            readFlags(randomFlags);
            readFlags(centredFlags);
            LoadCommonPart(reader);
            keepScreenBehind = reader.ReadInt32();
            saveBackground = reader.ReadInt32();
            older = true;
        };
        if (v > 1.1f && v < 2.1f) readSecondLayout();
        if (v > 2.0f && v < 3.0f) {
            readSecondLayout();
            effectNumber = reader.ReadInt32();
        }
        if (v > 2.9f && v < 3.2f) {
            readSecondLayout();
            effectNumber = reader.ReadInt32();
            transitionDelayValue = reader.ReadInt32();
        }
        if (older) {
            // Each mode from its own pair of flags; centred wins over random.
            int32_t* modes[4] = {&startXMode, &startYMode, &endXMode, &endYMode};
            for (int i = 0; i < 4; ++i)
                *modes[i] = centredFlags[i] ? 1 : randomFlags[i] ? 3 : 5;
        }
        if (!(v > 3.2f)) return;
    }
    for (int32_t* field : {&startXMode, &startYMode, &endXMode, &endYMode, &startX, &startY, &endX, &endY,
                           &xStep, &yStep, &horizontalPath, &xComparison, &xLimit, &yLimit, &bothConditions,
                           &yComparison, &freeMovement, &movementDelay, &typingSpeed, &typewriter,
                           &keepScreenBehind, &saveBackground, &effectNumber, &transitionDelayValue})
        *field = reader.ReadInt32();
}

void PicturePlacement::Save(ShowWriter& writer) const {
    for (int32_t field : {startXMode, startYMode, endXMode, endYMode, startX, startY, endX, endY, xStep, yStep,
                          horizontalPath, xComparison, xLimit, yLimit, bothConditions, yComparison, freeMovement,
                          movementDelay, typingSpeed, typewriter, keepScreenBehind, saveBackground, effectNumber,
                          transitionDelayValue})
        writer.WriteInt32(field);
}

void PicturePlacement::Describe(FieldVisitor& v) {
    v.Int("startXMode", startXMode);
    v.Int("startYMode", startYMode);
    v.Int("endXMode", endXMode);
    v.Int("endYMode", endYMode);
    v.Int("startX", startX);
    v.Int("startY", startY);
    v.Int("endX", endX);
    v.Int("endY", endY);
    v.Int("xStep", xStep);
    v.Int("yStep", yStep);
    v.Int("horizontalPath", horizontalPath);
    v.Int("xComparison", xComparison);
    v.Int("xLimit", xLimit);
    v.Int("yLimit", yLimit);
    v.Int("bothConditions", bothConditions);
    v.Int("yComparison", yComparison);
    v.Int("freeMovement", freeMovement);
    v.Int("movementDelay", movementDelay);
    v.Int("typingSpeed", typingSpeed);
    v.Int("typewriter", typewriter);
    v.Int("keepScreenBehind", keepScreenBehind);
    v.Int("saveBackground", saveBackground);
    v.Int("effectNumber", effectNumber);
    v.Int("transitionDelayValue", transitionDelayValue);
}

void PictureRefProperty::Assign(const ItemProperty& other) {
    auto& o = static_cast<const PictureRefProperty&>(other);
    int32_t seed = placement.randomSeed;
    placement = o.placement;
    placement.randomSeed = seed;
    color.Assign(o.color);
    label.Assign(o.label);
}

void PictureRefProperty::Load(ShowReader& reader) {
    placement.Load(reader);
    color.Load(reader);
}

void PictureRefProperty::Save(ShowWriter& writer) const {
    placement.Save(writer);
    color.Save(writer);
}

bool PictureRefProperty::Validate(ui::MessageSink& messages) {
    if (source && source->Kind() == ItemKind::Picture && color.Validate()) return true;
    messages.Show(strings::Load(strings::kChooseImage), ui::MessageIcon::Stop);
    return false;
}

void PictureRefProperty::Describe(FieldVisitor& visitor) {
    visitor.Reference("picture", source);
    visitor.Group("placement", [this](FieldVisitor& v) { placement.Describe(v); });
    visitor.Group("color", [this](FieldVisitor& v) { color.Describe(v); });
}

} // namespace showsaver
