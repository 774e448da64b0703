#include "playback/PicturePlacement.h"

#include "platform/sys/Clock.h"
#include "platform/ui/MessageBox.h"
#include "resources/StringTable.h"
#include "show/Item.h"
#include "show/Random.h"
#include "show/ShowReader.h"
#include "show/ShowWriter.h"

#include <algorithm>
#include <cstdlib>

namespace showsaver {

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
    int32_t values[24];
    reader.ReadInt32s(values);
    const int32_t* value = values;
    for (int32_t* field : {&startXMode, &startYMode, &endXMode, &endYMode, &startX, &startY, &endX, &endY,
                           &xStep, &yStep, &horizontalPath, &xComparison, &xLimit, &yLimit, &bothConditions,
                           &yComparison, &freeMovement, &movementDelay, &typingSpeed, &typewriter,
                           &keepScreenBehind, &saveBackground, &effectNumber, &transitionDelayValue})
        *field = *value++;
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

namespace {

// A random coordinate of mode 4: the picture lies fully on the screen.
// Draws until one fits; when none can (the picture is at least as large as
// the screen less a pixel) the coordinate is 0. The draws are bounded: on a
// screen much wider than the generator's range the window of reachable
// values can miss the screen, and then 0 it is too.
int32_t FullyVisibleCoordinate(RangeRandom& random, int32_t current, int32_t screen, int32_t full, int32_t size) {
    if (size >= screen - 1) return 0;
    int64_t modulus = int64_t{full} + size;
    if (modulus <= 0) return 0;
    for (int attempt = 0; attempt < 100000; ++attempt) {
        int64_t v = int64_t{random.Next()} + current;
        int64_t c = v % modulus - size;
        if (0 < c && c < screen - size) return static_cast<int32_t>(c);
    }
    return 0;
}

// |value|, with the one value that has no positive twin kept in range.
int32_t Magnitude(int32_t value) { return value == INT32_MIN ? INT32_MAX : std::abs(value); }

// Positions wrap like the 32-bit registers the shows were made for, without
// the undefined overflow of signed addition.
int32_t WrappingAdd(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}

// The other coordinate of the point at `along` on the line from
// (alongStart, acrossStart) to (alongEnd, acrossEnd), measured from the
// end, with the division truncated: rise × (along − end) ⁄ run + across
// end. alongStart and alongEnd differ. The product of two 33-bit
// differences needs more than 64 bits, and a result outside the int range
// (only absurd shows get there) is held at its edge.
int32_t FollowLine(int32_t along, int32_t alongStart, int32_t alongEnd, int32_t acrossStart, int32_t acrossEnd) {
    __int128 rise = int64_t{acrossEnd} - acrossStart;
    __int128 offset = int64_t{along} - alongEnd;
    __int128 run = int64_t{alongEnd} - alongStart;
    __int128 value = rise * offset / run + acrossEnd;
    return static_cast<int32_t>(std::clamp<__int128>(value, INT32_MIN, INT32_MAX));
}

// An end condition of a free movement: 0 above the limit, 1 below it,
// 2 equal to it, 3 different from it; any other code never holds.
bool Holds(int32_t value, int32_t comparison, int32_t limit) {
    switch (comparison) {
    case 0: return value > limit;
    case 1: return value < limit;
    case 2: return value == limit;
    case 3: return value != limit;
    default: return false;
    }
}

// A path is over at its end, or past it in the direction of `step`.
bool Reached(int32_t value, int32_t end, int32_t step) {
    return value == end || (step <= 0 ? value < end : value > end);
}

} // namespace

void PicturePlacement::ComputePath(int32_t width, int32_t height, int32_t screenWidth, int32_t screenHeight,
                                   int32_t settingsTimes) {
    if (!randomSeed) randomSeed = TimeSeed();
    *randomSeed += 100;
    CRand rand(static_cast<uint32_t>(*randomSeed));
    auto milliseconds = static_cast<uint32_t>(sys::LocalSystemTime().milliseconds);
    uint32_t r1 = static_cast<uint32_t>(rand.Next());
    uint32_t t1 = sys::TickCount();
    int32_t e = rand.Next();
    if (e == 0) e = 2;
    auto mixed = static_cast<int32_t>(((t1 << 16) | ((r1 * milliseconds) & 0xFFFF)) * static_cast<uint32_t>(settingsTimes));
    int32_t b = mixed / e;
    uint32_t t2 = sys::TickCount() % static_cast<uint32_t>(e);
    RangeRandom random;
    random.Seed(static_cast<int32_t>(static_cast<uint32_t>(b) + t2 * t2));
    random.SetRange(-5000, 5000);

    bool allStored = startXMode == 5 && startYMode == 5 && endXMode == 5 && endYMode == 5;
    if (!freeMovement && !allStored) {
        struct Coordinate {
            int32_t& value;
            int32_t mode, screen, size;
            bool first;
        };
        // The full-screen metric and the resolution are the same size here.
        Coordinate coordinates[] = {
            {startX, startXMode, screenWidth, width, true},
            {startY, startYMode, screenHeight, height, false},
            {endX, endXMode, screenWidth, width, false},
            {endY, endYMode, screenHeight, height, false},
        };
        for (auto& c : coordinates) {
            switch (c.mode) {
            case 0: c.value = 0; break;
            case 1: c.value = c.screen / 2 - c.size / 2; break;
            case 2: c.value = c.screen - c.size; break;
            case 3: {
                // The remainder is taken as a non-negative one, so that the
                // picture starts between -size and the screen's far edge
                // and is never placed wholly off the screen (a remainder
                // with the sign of a negative draw would do that for half
                // of the draws).
                int64_t v = random.Next() + (c.first ? 0 : int64_t{c.value});
                int64_t modulus = int64_t{c.screen} + c.size;
                if (modulus <= 0) {
                    c.value = 0;
                    break;
                }
                int64_t r = v % modulus;
                if (r < 0) r += modulus;
                c.value = static_cast<int32_t>(r - c.size);
                break;
            }
            case 4: c.value = FullyVisibleCoordinate(random, c.value, c.screen, c.screen, c.size); break;
            default: break;
            }
        }
    }
    horizontalPath = startX != endX;
    if (endX < startX) xStep = -Magnitude(xStep);
    if (startX < endX) xStep = Magnitude(xStep);
    if (endY < startY) yStep = -Magnitude(yStep);
    if (startY < endY) yStep = Magnitude(yStep);
    currentX = startX;
    currentY = startY;
}

bool PicturePlacement::Step() {
    if (freeMovement) {
        currentX = WrappingAdd(currentX, xStep);
        currentY = WrappingAdd(currentY, yStep);
        bool xHolds = Holds(currentX, xComparison, xLimit);
        if (bothConditions) {
            if (!xHolds) return false;
        } else if (xHolds) {
            return true;
        }
        return Holds(currentY, yComparison, yLimit);
    }
    // A vertical path steps along y by the x step. Its sign was pointed
    // along x only, so it is pointed at the end here: otherwise a step that
    // points away from the end would end the movement after one step.
    int32_t yAlong = endY < startY ? -Magnitude(xStep) : startY < endY ? Magnitude(xStep) : xStep;
    if (horizontalPath) currentX = WrappingAdd(currentX, xStep);
    else currentY = WrappingAdd(currentY, yAlong);
    if (startX != endX) {
        currentY = FollowLine(currentX, startX, endX, startY, endY);
        return Reached(currentX, endX, xStep);
    }
    if (endY == startY) return true;
    currentX = FollowLine(currentY, startY, endY, startX, endX);
    return Reached(currentY, endY, yAlong);
}

void PictureRefProperty::Assign(const ItemProperty& other) {
    auto& o = static_cast<const PictureRefProperty&>(other);
    const auto seed = placement.randomSeed;
    placement = o.placement;
    placement.randomSeed = seed;
    color.Assign(o.color);
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
