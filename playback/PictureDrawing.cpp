// How a picture item draws itself: its display size, the showing with a
// placement or a transition, erasing, the capture files and the typewriter.

#include "playback/PictureItem.h"

#include "platform/ui/MessageBox.h"
#include "show/ScenePlayer.h"
#include "show/Windows1252.h"
#include "transitions/TransitionEffect.h"


namespace showsaver {

namespace {

constexpr std::string_view kConversionFailed = "Image conversion failed, skipping this image";

bool IsFade(int32_t effect) { return effect == 4 || effect == 65; }

} // namespace

gfx::Size PictureItem::DisplaySize(gfx::Size screen) const {
    if (fitToScreen && keepAspect) {
        if (screen.width <= 0 || screen.height <= 0 || naturalWidth <= 0 || naturalHeight <= 0) return {};
        double r = std::max(static_cast<double>(naturalWidth) / screen.width,
                            static_cast<double>(naturalHeight) / screen.height);
        return {static_cast<int>(naturalWidth / r), static_cast<int>(naturalHeight / r)};
    }
    if (fitToScreen) return screen;
    if (width != 0 || height != 0) return {width, height};
    return {};
}

bool PictureItem::LoadCaptureFile(const std::string& path) {
    // A capture that cannot be read says nothing here.
    class Silent final : public ui::MessageSink {
    public:
        ui::MessageAnswer Show(std::string_view, ui::MessageIcon, ui::MessageButtons) override {
            return ui::MessageAnswer::Ok;
        }
    } silent;
    return image.ReadFromFile(path, silent);
}

bool PictureItem::Show(gfx::DeviceContext& dc, ScenePlayer& player, const gfx::Rect* rectangle) {
    gfx::Size screen = dc.ScreenSize();
    PicturePlacement& target = targetPlacement;
    target.effectNumber = TransitionEffect::PickRandomEffect(target.effectNumber);
    int32_t effect = target.effectNumber;

    // The size: a caption keeps its rendered size, an image its display size.
    gfx::Size natural{naturalWidth, naturalHeight};
    gfx::Size size = IsText() ? natural : DisplaySize(screen);
    if (size.width == 0 && size.height == 0) size = natural;

    // The picture rectangle, cut to the screen for the moving effects.
    gfx::Point at = rectangle ? gfx::Point{rectangle->left, rectangle->top} : gfx::Point{target.currentX, target.currentY};
    gfx::Rect picture = rectangle ? gfx::Rect{0, 0, rectangle->Width(), rectangle->Height()}
                                  : gfx::Rect{0, 0, size.width, size.height};
    int xOffset = 0, yOffset = 0;
    if (effect > 2 && !IsFade(effect)) {
        xOffset = at.x < 0 ? -at.x : 0;
        yOffset = at.y < 0 ? -at.y : 0;
        int left = std::max(at.x, 0), top = std::max(at.y, 0);
        int w = std::min(picture.Width() - xOffset, screen.width - left);
        int h = std::min(picture.Height() - yOffset, screen.height - top);
        picture = {0, 0, std::max(w, 0), std::max(h, 0)};
    }

    bool composedOverScreen = false;
    if (IsText()) {
        if (opaque) {
            RenderCaption();
        } else if (effect == 0) {
            // A caption without background goes straight over the screen.
            if (!RenderCaption()) return false;
            decoder.DrawImage(dc, at.x, at.y, gfx::kWindowColor);
            decoder.Release(false);
            shown = 1;
            return true;
        } else {
            RenderCaption();
            composedOverScreen = true;
        }
    }

    // The work surface receives the composed picture.
    bool screenSized = effect == 1 || effect == 2;
    if (source == kDesktop || source == kWallpaper) {
        // A capture that could not be written at start-up (a full temporary
        // folder) is skipped without a word: start-up has said so once.
        if (!LoadCaptureFile(player.CapturePath(source))) return false;
        source = kOwnData;
        screenSized = true;
    }
    std::shared_ptr<gfx::Surface> pictureBitmap;
    gfx::Size decodedSize;
    if (composedOverScreen) {
        gfx::Rect cut = gfx::Rect::FromSize(at, picture.Size());
        pictureBitmap = decoder.ComposeOverScreen(dc, at.x, at.y, cut);
        decoder.Release(false);
    } else if (IsText()) {
        pictureBitmap = decoder.CurrentToBitmap(decodedSize, 0, 0);
    } else if (!image.Empty()) {
        if (auto contents = image.Contents())
            pictureBitmap = decoder.DecodeToBitmap(contents->bytes, player.Messages(), decodedSize, size.width, size.height);
    }
    // A picture at its position that covers its whole rectangle goes to the
    // screen in one copy: composing it over the background first would
    // change no pixel.
    bool direct = effect == 0 && pictureBitmap && pictureBitmap->Width() >= picture.Width() &&
                  pictureBitmap->Height() >= picture.Height();
    gfx::Size workSize = direct ? gfx::Size{1, 1} : screenSized ? screen : picture.Size();
    auto workBitmap = gfx::Surface::Create(std::max(workSize.width, 1), std::max(workSize.height, 1));
    if (!pictureBitmap || !workBitmap) {
        player.Messages().Show(kConversionFailed);
        return false;
    }

    auto work = dc.CreateCompatible();
    auto pictureDc = dc.CreateCompatible();
    gfx::ScopedSelection selectWork(*work, workBitmap);
    gfx::ScopedSelection selectPicture(*pictureDc, pictureBitmap);
    gfx::ColorRef brush = background.fourthValue == 1 ? player.Window().Background() : background.color;
    TransitionEffect transition(effect);
    transition.SetTarget(&picture, brush);
    transition.SetSurfaces(work.get(), pictureDc.get());

    if (effect <= 2) {
        if (direct) {
            dc.BitBlt(at.x, at.y, picture.Width(), picture.Height(), *pictureDc, 0, 0);
        } else if (effect == 0) {
            transition.ComposeFrame(0, 0);
            dc.BitBlt(at.x, at.y, picture.Width(), picture.Height(), *work, 0, 0);
        } else {
            work->FillSolid({0, 0, screen.width, screen.height}, brush);
            int pw = pictureBitmap->Width(), ph = pictureBitmap->Height();
            if (effect == 1 && pw > 0 && ph > 0) {
                for (int column = 0; column <= screen.width / pw; ++column)
                    for (int row = 0; row <= screen.height / ph; ++row)
                        work->BitBlt(column * pw, row * ph, pw, ph, *pictureDc, 0, 0);
            } else if (effect == 2) {
                work->StretchBlt(0, 0, screen.width, screen.height, *pictureDc, 0, 0, pw, ph);
            }
            dc.BitBlt(0, 0, screen.width, screen.height, *work, 0, 0);
        }
    } else {
        if (IsFade(effect)) transition.SetFadeBitmap(pictureBitmap);
        if (picture.Width() > 0 && picture.Height() > 0) {
            int32_t speed = 1100 - target.transitionDelayValue;
            gfx::Point position{target.currentX, target.currentY};
            if (composedOverScreen && !IsFade(effect)) {
                gfx::Point topLeft = at;
                transition.PlayTransition(dc, player.Pacer(), topLeft, speed, 0, 0);
            } else if (IsFade(effect)) {
                transition.PlayTransition(dc, player.Pacer(), position, speed, 0, 0);
            } else {
                transition.PlayTransition(dc, player.Pacer(), position, speed, xOffset, yOffset);
                target.currentX = position.x;
                target.currentY = position.y;
            }
        }
    }
    shown = 1;
    return true;
}

void PictureItem::Erase(gfx::DeviceContext& dc, ScenePlayer& player) {
    gfx::Rect area = targetPlacement.effectNumber != 0
                         ? gfx::Rect{0, 0, dc.ScreenSize().width, dc.ScreenSize().height}
                         : gfx::Rect::FromSize(targetPlacement.currentX, targetPlacement.currentY, naturalWidth,
                                               naturalHeight);
    dc.FillSolid(area, player.Window().Background());
    shown = 0;
}

bool PictureItem::TypeStep(gfx::DeviceContext& dc, ScenePlayer& player, int& index) {
    // Skip line breaks: they never count as a step.
    auto length = static_cast<int>(text.size());
    while (index < length && (text[static_cast<size_t>(index)] == '\n' || text[static_cast<size_t>(index)] == '\r'))
        ++index;
    std::string part = text.substr(0, static_cast<size_t>(std::min(index + 1, length)));

    if (!decoder.TextToImage(*this, {})) return false;
    int whole = decoder.ImageSize().width;
    if (!decoder.TextToImage(*this, part)) return false;
    gfx::Size partSize = decoder.ImageSize();
    decoder.Release(false);

    // Only this step's caption size is shown; a centred or right-aligned
    // caption is placed anew each time.
    int32_t savedWidth = naturalWidth, savedHeight = naturalHeight;
    naturalWidth = partSize.width;
    naturalHeight = partSize.height;
    m_captionPart = part;
    int x = targetPlacement.currentX, y = targetPlacement.currentY;
    bool shownOk;
    if (textAlignment == 1 || textAlignment == 2) {
        int left = textAlignment == 1 ? x + (whole - partSize.width) / 2 : x + whole - partSize.width;
        gfx::Rect rect = gfx::Rect::FromSize(left, y, partSize.width, partSize.height);
        shownOk = Show(dc, player, &rect);
    } else {
        shownOk = Show(dc, player, nullptr);
    }
    m_captionPart.clear();
    naturalWidth = savedWidth;
    naturalHeight = savedHeight;
    return shownOk && index + 1 < length;
}

} // namespace showsaver
