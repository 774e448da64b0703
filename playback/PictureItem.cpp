#include "playback/PictureItem.h"

#include "codec/Codec.h"
#include "gfx/PixelLimits.h"
#include "platform/ui/MessageBox.h"
#include "resources/StringTable.h"
#include "show/ShowReader.h"
#include "show/ShowWriter.h"
#include "show/Windows1252.h"

#include <cstring>
#include <new>
#include <utility>

namespace showsaver {

namespace {

void PutInt32(uint8_t* out, int32_t value) {
    auto u = static_cast<uint32_t>(value);
    for (int i = 0; i < 4; ++i) out[i] = static_cast<uint8_t>(u >> (8 * i));
}

int32_t GetInt32(const uint8_t* in) {
    return static_cast<int32_t>(uint32_t{in[0]} | uint32_t{in[1]} << 8 | uint32_t{in[2]} << 16 |
                                uint32_t{in[3]} << 24);
}

} // namespace

LogFont LogFont::FromRecord(const std::array<uint8_t, kRecordSize>& r) {
    LogFont f;
    f.height = GetInt32(&r[0]);
    f.width = GetInt32(&r[4]);
    f.escapement = GetInt32(&r[8]);
    f.orientation = GetInt32(&r[12]);
    f.weight = GetInt32(&r[16]);
    f.italic = r[20];
    f.underline = r[21];
    f.strikeOut = r[22];
    f.charSet = r[23];
    f.outPrecision = r[24];
    f.clipPrecision = r[25];
    f.quality = r[26];
    f.pitchAndFamily = r[27];
    std::memcpy(f.faceName.data(), &r[28], kFaceNameSize);
    return f;
}

std::array<uint8_t, LogFont::kRecordSize> LogFont::ToRecord() const {
    std::array<uint8_t, kRecordSize> r{};
    PutInt32(&r[0], height);
    PutInt32(&r[4], width);
    PutInt32(&r[8], escapement);
    PutInt32(&r[12], orientation);
    PutInt32(&r[16], weight);
    r[20] = italic;
    r[21] = underline;
    r[22] = strikeOut;
    r[23] = charSet;
    r[24] = outPrecision;
    r[25] = clipPrecision;
    r[26] = quality;
    r[27] = pitchAndFamily;
    std::memcpy(&r[28], faceName.data(), kFaceNameSize);
    return r;
}

std::string LogFont::FaceName() const {
    return std::string(faceName.data(), strnlen(faceName.data(), kFaceNameSize));
}

void LogFont::SetFaceName(std::string_view cp1252) {
    faceName.fill('\0');
    std::memcpy(faceName.data(), cp1252.data(), std::min(cp1252.size(), kFaceNameSize - 1));
}

void LogFont::Describe(FieldVisitor& v) {
    v.Int("height", height);
    v.Int("width", width);
    v.Int("escapement", escapement);
    v.Int("orientation", orientation);
    v.Int("weight", weight);
    v.Byte("italic", italic);
    v.Byte("underline", underline);
    v.Byte("strikeOut", strikeOut);
    v.Byte("charSet", charSet);
    v.Byte("outPrecision", outPrecision);
    v.Byte("clipPrecision", clipPrecision);
    v.Byte("quality", quality);
    v.Byte("pitchAndFamily", pitchAndFamily);
    std::string face = FaceName();
    v.Text("faceName", face, kFaceNameSize - 1);
    SetFaceName(face);
}

void PictureItem::CopyFrom(const Item& other) {
    Item::CopyFrom(other);
    auto& o = static_cast<const PictureItem&>(other);
    contentType = o.contentType;
    opaque = o.opaque;
    source = o.source;
    width = o.width;
    height = o.height;
    fitToScreen = o.fitToScreen;
    keepAspect = o.keepAspect;
    textColor = o.textColor;
    backgroundColor = o.backgroundColor;
    textAlignment = o.textAlignment;
    text = o.text;
    font = o.font;
    image.CopyFrom(o.image);
    naturalWidth = o.naturalWidth;
    naturalHeight = o.naturalHeight;
    shown = o.shown;
}

// The display options changed with the show versions; the version tests
// compare single-precision values, as the shows were written.
void PictureItem::LoadDisplayOptions(ShowReader& reader) {
    float b = reader.SignatureBVersion();
    float format = reader.FormatVersion();
    if (b != 0.0f) {
        if (b == 1.0f) {
            contentType = reader.ReadInt32();
            opaque = reader.ReadInt32();
        }
        if (b >= 1.01f && b <= 2.1f) {
            contentType = reader.ReadInt32();
            opaque = reader.ReadInt32();
            source = reader.ReadInt32() != 0 ? kDesktop : kOwnData;
        }
        if (b >= 2.11f) {
            contentType = reader.ReadInt32();
            opaque = reader.ReadInt32();
            source = reader.ReadInt32();
        }
        if (format > 4.01f) {
            width = reader.ReadInt32();
            height = reader.ReadInt32();
            fitToScreen = reader.ReadInt32();
        }
    } else {
        contentType = reader.ReadInt32();
        opaque = reader.ReadInt32();
        source = reader.ReadInt32();
        if (format > 4.11f) {
            width = reader.ReadInt32();
            height = reader.ReadInt32();
            fitToScreen = reader.ReadInt32();
        }
    }
    if (format > 4.21f) keepAspect = reader.ReadInt32();
}

void PictureItem::Load(ShowReader& reader) {
    Item::Load(reader);
    LoadDisplayOptions(reader);
    if (IsText()) {
        textColor = reader.ReadUInt32();
        backgroundColor = reader.ReadUInt32();
        textAlignment = reader.FormatVersion() > 4.21f ? reader.ReadUInt32() : 0;
        reader.ReadScrambledText(text);
        std::array<uint8_t, LogFont::kRecordSize> record{};
        reader.ReadInto(record);
        Scramble(record, ScrambleDirection::Reading);
        font = LogFont::FromRecord(record);
    } else {
        image.Load(reader);
    }
}

void PictureItem::Save(ShowWriter& writer) const {
    Item::Save(writer);
    for (int32_t field : {contentType, opaque, source, width, height, fitToScreen, keepAspect})
        writer.WriteInt32(field);
    if (IsText()) {
        writer.WriteUInt32(textColor);
        writer.WriteUInt32(backgroundColor);
        writer.WriteUInt32(textAlignment);
        writer.WriteScrambledText(text);
        writer.WriteScrambledBytes(font.ToRecord());
    } else {
        image.Save(writer);
    }
}

namespace {

std::string TooLargeMessage(const std::string& name, codec::PictureSize size) {
    return name + "\nThe picture is " + std::to_string(size.width) + " x " + std::to_string(size.height) +
           " pixels; a picture may have at most " + std::to_string(gfx::kMaxPicturePixels) + " pixels and " +
           std::to_string(gfx::kMaxPictureSide) + " on a side.";
}

} // namespace

PictureItem::ImageMeasure PictureItem::MeasureImage(ui::MessageSink& messages) {
    ImageMeasure measure;
    // Nothing to read: the show's file was cut short since it was loaded.
    auto contents = image.Contents();
    if (!contents) return measure;
    measure.measured = decoder.MeasureImage(contents->bytes, messages, measure.size);
    if (!measure.measured) measure.refusedSize = codec::LastRefusedSize();
    return measure;
}

void PictureItem::Precheck() {
    if ((IsDisabled() && AllUsersDisabled(m_users.Links())) || IsText() || image.Empty()) return;
    // The messages wait for Validate, which shows them in the list's order.
    class Keeping final : public ui::MessageSink {
    public:
        explicit Keeping(std::vector<ImageMeasure::Message>& kept) : m_kept(kept) {}
        ui::MessageAnswer Show(std::string_view text, ui::MessageIcon icon, ui::MessageButtons buttons) override {
            m_kept.push_back({std::string(text), icon, buttons});
            return ui::MessageAnswer::Ok;
        }

    private:
        std::vector<ImageMeasure::Message>& m_kept;
    };
    try {
        std::vector<ImageMeasure::Message> kept;
        Keeping keeping(kept);
        auto measure = MeasureImage(keeping);
        measure.messages = std::move(kept);
        m_precheck = std::move(measure);
    } catch (const std::bad_alloc&) {
        // Validate measures it again, and says what fails.
    }
}

bool PictureItem::Validate(ValidationContext& context) {
    if (IsDisabled() && AllUsersDisabled(m_users.Links())) return true;
    if (IsText()) {
        if (!decoder.TextToImage(*this, {})) {
            context.messages.Show(Cp1252ToUtf8(text) + "\ntext bitmap cannot be made.", ui::MessageIcon::Stop);
            return false;
        }
        naturalWidth = decoder.ImageSize().width;
        naturalHeight = decoder.ImageSize().height;
        decoder.Release(false);
    } else if (!image.Empty()) {
        auto ahead = std::exchange(m_precheck, std::nullopt);
        if (ahead)
            for (const auto& message : ahead->messages) context.messages.Show(message.text, message.icon, message.buttons);
        const ImageMeasure measure = ahead ? std::move(*ahead) : MeasureImage(context.messages);
        naturalWidth = measure.size.width;
        naturalHeight = measure.size.height;
        if (!measure.measured) {
            // A picture too large to draw is named with its size and the limit.
            if (measure.refusedSize)
                context.messages.Show(TooLargeMessage(Cp1252ToUtf8(image.Name()), *measure.refusedSize),
                                      ui::MessageIcon::Stop);
            return false;
        }
    } else {
        context.messages.Show(strings::Load(strings::kChooseImage), ui::MessageIcon::Stop);
        return false;
    }
    shown = 0;
    return true;
}

void PictureItem::Describe(FieldVisitor& v) {
    v.Int("contentType", contentType);
    v.Int("opaque", opaque);
    v.Int("source", source);
    v.Int("width", width);
    v.Int("height", height);
    v.Int("fitToScreen", fitToScreen);
    v.Int("keepAspect", keepAspect);
    if (IsText()) {
        v.UInt("textColor", textColor);
        v.UInt("backgroundColor", backgroundColor);
        v.UInt("textAlignment", textAlignment);
        v.Text("text", text);
        v.Group("font", [this](FieldVisitor& fv) { font.Describe(fv); });
    } else {
        v.File("file", image);
    }
    v.Users(m_users.Links());
}

} // namespace showsaver
