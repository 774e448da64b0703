#include "playback/PictureScenes.h"

#include "playback/PictureItem.h"
#include "show/ScenePlayer.h"
#include "transitions/TransitionEffect.h"

namespace showsaver {

void PictureSceneItem::CopyFrom(const Item& other) {
    Item::CopyFrom(other);
    picture.Assign(static_cast<const PictureSceneItem&>(other).picture);
}

void PictureSceneItem::Load(ShowReader& reader) {
    Item::Load(reader);
    picture.Load(reader);
}

void PictureSceneItem::Save(ShowWriter& writer) const {
    Item::Save(writer);
    picture.Save(writer);
}

bool PictureSceneItem::Validate(ValidationContext& context) {
    return IsDisabled() || (Item::Validate(context) && picture.Validate(context.messages));
}

PictureItem& PictureSceneItem::Picture() const { return *static_cast<PictureItem*>(picture.source); }

namespace {

// Copies the saved screen area back at the saved position, at the picture's
// natural size.
void RestoreSavedBackground(gfx::DeviceContext& dc, PictureItem& picture) {
    if (!picture.savedBackground) return;
    auto memory = dc.CreateCompatible();
    gfx::ScopedSelection select(*memory, picture.savedBackground);
    dc.BitBlt(picture.savedPlacement.currentX, picture.savedPlacement.currentY, picture.naturalWidth,
              picture.naturalHeight, *memory, 0, 0);
}

// Sleeps `ms` in steps of 100 ms, ending early on a stop request.
void SleepInSteps(ScenePlayer& player, int32_t ms) {
    for (int32_t step = 0; step < ms / 100 && !player.IsStopRequested(); ++step) player.Sleep(100);
}

// Reveals a caption one visible character at a time, one every
// (2000 - typing speed) ms.
void TypeCaption(gfx::DeviceContext& dc, ScenePlayer& player, PictureItem& picture) {
    int32_t delay = 2000 - picture.targetPlacement.typingSpeed;
    for (int index = 0; !player.IsStopRequested(); ++index) {
        if (!picture.TypeStep(dc, player, index)) break;
        SleepInSteps(player, delay);
        // A centred or right-aligned caption is placed anew at each step.
        if (picture.textAlignment != 0) RestoreSavedBackground(dc, picture);
        if (!player.IsStopRequested() && delay > 0 && delay % 100 != 0) player.Sleep(static_cast<uint32_t>(delay % 100));
    }
}

} // namespace

int ShowPictureItem::Play(gfx::DeviceContext& dc, int&, ScenePlayer& player) {
    PictureItem& image = Picture();
    gfx::Size screen = dc.ScreenSize();
    gfx::Size size{image.naturalWidth, image.naturalHeight};
    if (!image.IsText()) {
        gfx::Size display = image.DisplaySize(screen);
        if (display.width != 0 || display.height != 0) size = display;
        if (image.fitToScreen && image.keepAspect) {
            picture.placement.startXMode = 1;
            picture.placement.startYMode = 1;
        }
    }
    PicturePlacement& placement = picture.placement;
    placement.ComputePath(size.width, size.height, screen.width, screen.height, player.SettingsTimes());
    picture.color.ApplyRandomColor(player.SettingsTimes());
    // A random effect is drawn once and kept for every later showing.
    placement.effectNumber = TransitionEffect::PickRandomEffect(placement.effectNumber);

    image.targetPlacement = placement;
    image.background.Assign(picture.color);
    if (placement.saveBackground) {
        image.savedPlacement = placement;
        image.savedBackground = gfx::Surface::Create(std::max(size.width, 0), std::max(size.height, 0));
        if (image.savedBackground) {
            auto memory = dc.CreateCompatible();
            gfx::ScopedSelection select(*memory, image.savedBackground);
            memory->BitBlt(0, 0, size.width, size.height, dc, placement.startX, placement.startY);
        }
    }
    if (image.IsText() && placement.typewriter)
        TypeCaption(dc, player, image);
    else
        image.Show(dc, player, nullptr);
    return 1;
}

namespace {

// A copy of the w × h area of the screen at (x, y), or null when none can
// be made.
std::shared_ptr<gfx::Surface> CopyOfArea(gfx::DeviceContext& dc, int x, int y, int w, int h) {
    auto copy = gfx::Surface::Create(std::max(w, 0), std::max(h, 0));
    if (!copy) return nullptr;
    auto memory = dc.CreateCompatible();
    gfx::ScopedSelection select(*memory, copy);
    memory->BitBlt(0, 0, w, h, dc, x, y);
    return copy;
}

} // namespace

// Moves the picture step by step along its path, one calibrated wait
// between steps: draw, step, wait, draw, ... and one last draw after the
// step that finished the path.
int PictureEffectItem::Play(gfx::DeviceContext& dc, int&, ScenePlayer& player) {
    PictureItem& image = Picture();
    gfx::Size screen = dc.ScreenSize();
    PicturePlacement& placement = picture.placement;
    placement.ComputePath(image.naturalWidth, image.naturalHeight, screen.width, screen.height,
                          player.SettingsTimes());
    PicturePlacement p = placement;
    // Every step draws the picture at its position, whatever effect the
    // scene names: a transition, a tiling or a stretch once per step would
    // leave the path.
    p.effectNumber = 0;
    image.targetPlacement = p;
    image.currentPlacement = p;
    image.screenSnapshot = CopyOfArea(dc, 0, 0, screen.width, screen.height);
    if (p.saveBackground) {
        image.ReleaseSavedBackground();
        image.savedPlacement = p;
        image.savedBackground = CopyOfArea(dc, p.endX, p.endY, image.naturalWidth, image.naturalHeight);
    }
    auto applyColor = [&] {
        picture.color.ApplyRandomColor(player.SettingsTimes());
        image.background.Assign(picture.color);
    };
    applyColor();

    // A picture that cannot be drawn has said so once; the movement ends
    // rather than saying it again at every step.
    bool finished = false;
    while (!player.IsStopRequested()) {
        if (!image.MoveTo(dc, p, player)) break;
        if (player.IsStopRequested() || finished) break;
        finished = p.Step();
        if (!finished) player.Pacer().CalibratedWait(static_cast<uint32_t>(p.movementDelay), 100000.0);
        if (player.IsStopRequested()) break;
        // A random background colour changes at every step.
        applyColor();
    }
    image.screenSnapshot.reset();
    // The picture rests where the movement ended; hiding restores there.
    if (p.saveBackground) image.savedPlacement = p;
    return 1;
}

int HidePictureItem::Play(gfx::DeviceContext& dc, int&, ScenePlayer& player) {
    PictureItem& image = Picture();
    if (!image.shown) return 1;
    if (image.targetPlacement.saveBackground) {
        RestoreSavedBackground(dc, image);
        image.ReleaseSavedBackground();
        image.shown = 0;
    } else {
        image.Erase(dc, player);
    }
    return 1;
}

} // namespace showsaver
