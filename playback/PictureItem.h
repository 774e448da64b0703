#pragma once
// A picture of the show (kind 0): an image file carried in the show, a text
// caption drawn with a font, or a capture of the desktop or wallpaper. The
// picture scenes show, hide and move it.

#include "codec/Codec.h"
#include "gfx/DeviceContext.h"
#include "playback/PictureDecoder.h"
#include "platform/ui/MessageBox.h"
#include "playback/PicturePlacement.h"
#include "show/EmbeddedFile.h"
#include "show/Item.h"
#include "show/UserLinks.h"

#include <array>
#include <optional>
#include <string>
#include <vector>

namespace showsaver {

// The 60-byte font record of a caption, field for field.
struct LogFont {
    static constexpr size_t kRecordSize = 60;
    static constexpr size_t kFaceNameSize = 32;

    int32_t height = -11;
    int32_t width = 0;
    int32_t escapement = 0;
    int32_t orientation = 0;
    int32_t weight = 0;
    uint8_t italic = 0;
    uint8_t underline = 0;
    uint8_t strikeOut = 0;
    uint8_t charSet = 0;
    uint8_t outPrecision = 0;
    uint8_t clipPrecision = 0;
    uint8_t quality = 0;
    uint8_t pitchAndFamily = 0;
    std::array<char, kFaceNameSize> faceName{"MS Sans Serif"};

    static LogFont FromRecord(const std::array<uint8_t, kRecordSize>& record);
    std::array<uint8_t, kRecordSize> ToRecord() const;
    // The face name up to its first zero byte (Windows-1252).
    std::string FaceName() const;
    void SetFaceName(std::string_view cp1252);   // cut to 31 bytes
    void Describe(FieldVisitor& visitor);
};

class PictureItem final : public Item {
public:
    enum ContentType : int32_t { kImage = 0, kText = 1 };
    enum Source : int32_t { kOwnData = 1, kDesktop = 2, kWallpaper = 3 };

    PictureItem() : Item(ItemKind::Picture) {}
    void CopyFrom(const Item& other) override;
    void Load(ShowReader& reader) override;
    void Save(ShowWriter& writer) const override;
    bool Validate(ValidationContext& context) override;
    // A picture is never played by itself; the scenes act on it.
    int Play(gfx::DeviceContext&, int&, ScenePlayer&) override { return 0; }
    std::unique_ptr<Item> Clone() const override { return std::make_unique<PictureItem>(); }
    void AddUser(Item* user) override { m_users.Add(user); }
    void ReserveUsers(size_t count) override { m_users.Reserve(count); }
    void Describe(FieldVisitor& visitor) override;

    bool IsText() const { return contentType == kText; }

    // The size an image is shown at on a screen of `screen`: fitted (keeping
    // the aspect or not), its explicit size, or (0, 0) for its natural size.
    gfx::Size DisplaySize(gfx::Size screen) const;
    // Draws the picture with its target placement and effect. `rectangle`
    // replaces the computed picture rectangle (typewriter steps). False when
    // nothing could be drawn (a message has said why).
    bool Show(gfx::DeviceContext& dc, ScenePlayer& player, const gfx::Rect* rectangle);
    // Fills the picture's area with the window's background colour.
    void Erase(gfx::DeviceContext& dc, ScenePlayer& player);
    // Replaces the image by the bytes of a capture file.
    bool LoadCaptureFile(const std::string& path);
    // Shows the caption up to and including the next visible character from
    // `index` on (which it leaves on that character). True while more
    // characters follow.
    bool TypeStep(gfx::DeviceContext& dc, ScenePlayer& player, int& index);
    // Redraws the picture from where its target placement has it to the
    // current position of `next` (a moving scene's step). Overlapping areas
    // are composed in a memory bitmap of both and reach the screen in one
    // copy; what the picture leaves is repainted from the screen snapshot
    // (a caption without background, or keep screen behind) or with the
    // window's background colour. Then the target placement becomes the
    // current one and `next` the target. Does nothing once a stop is asked.
    // False when the picture could not be drawn (a message has said why).
    bool MoveTo(gfx::DeviceContext& dc, const PicturePlacement& next, ScenePlayer& player);
    // Releases the saved screen area.
    void ReleaseSavedBackground() { savedBackground.reset(); }
    std::span<const ItemUserLink> Users() const override { return m_users.Links(); }
    // Measures the image ahead of Validate, keeping its messages for it.
    void Precheck() override;

    // Stored fields.
    int32_t contentType = kImage;
    int32_t opaque = 1;
    int32_t source = kOwnData;
    int32_t width = 0, height = 0;
    int32_t fitToScreen = 0;
    int32_t keepAspect = 0;
    ColorRef textColor = 0x000000;         // the system's window-text colour
    ColorRef backgroundColor = 0xFFFFFF;   // the system's window colour
    uint32_t textAlignment = 0;            // 0 left, 1 centred, 2 right
    std::string text;                      // Windows-1252, lines split by CR LF
    LogFont font;
    EmbeddedFile image;

    // Runtime state.
    int32_t naturalWidth = 0, naturalHeight = 0;
    int32_t shown = 0;
    PicturePlacement currentPlacement, savedPlacement, targetPlacement;
    ColorProperty background;
    std::shared_ptr<gfx::Surface> savedBackground;   // the screen under a picture that saves it
    std::shared_ptr<gfx::Surface> screenSnapshot;    // the whole screen while a moving scene plays
    PictureDecoder decoder;

private:
    void LoadDisplayOptions(ShowReader& reader);
    // Renders the caption, or the typewriter's part of it.
    bool RenderCaption() { return decoder.TextToImage(*this, m_captionPart); }

    std::string m_captionPart;   // the typewriter's part; empty: the whole caption
    // What measuring the image found, on whichever thread measured it.
    struct ImageMeasure {
        bool measured = false;
        gfx::Size size;
        std::optional<codec::PictureSize> refusedSize;   // when it was refused for its size
        struct Message {
            std::string text;
            ui::MessageIcon icon;
            ui::MessageButtons buttons;
        };
        std::vector<Message> messages;   // shown by Validate, in order
    };
    // Measures the image, its messages to `messages`.
    ImageMeasure MeasureImage(ui::MessageSink& messages);
    std::optional<ImageMeasure> m_precheck;   // until Validate takes it

    UserLinks m_users;
};

} // namespace showsaver
