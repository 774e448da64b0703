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

// FIXME: the moving picture arrives with its own scene.
int PictureEffectItem::Play(gfx::DeviceContext&, int&, ScenePlayer&) { return 1; }

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
