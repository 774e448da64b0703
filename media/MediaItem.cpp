#include "media/MediaItem.h"

#include "flash/format/Container.h"
#include "platform/ui/MessageBox.h"
#include "resources/StringTable.h"
#include "show/ScenePlayer.h"
#include "show/ShowReader.h"
#include "show/ShowWriter.h"

#include <cstring>

namespace showsaver {

// What SniffMediaType looks at, and the most of a compressed movie that its
// frame rectangle can take.
constexpr uint32_t kSniffedBytes = 12;
constexpr uint32_t kMovieHeadBytes = 4096;

int32_t SniffMediaType(std::span<const uint8_t> b) {
    auto starts = [&](size_t at, const char* tag) {
        size_t n = std::strlen(tag);
        return b.size() >= at + n && std::memcmp(b.data() + at, tag, n) == 0;
    };
    if (starts(0, "RIFF") && starts(8, "WAVE")) return static_cast<int32_t>(MediaType::Wave);
    if (starts(0, "RIFF") && starts(8, "AVI ")) return static_cast<int32_t>(MediaType::Video);
    if (starts(0, "MThd") || (starts(0, "RIFF") && starts(8, "RMID"))) return static_cast<int32_t>(MediaType::Midi);
    if (starts(0, "FWS") || starts(0, "CWS") || starts(0, "ZWS")) return static_cast<int32_t>(MediaType::Flash);
    if (starts(0, "ID3") || (b.size() >= 2 && b[0] == 0xFF && (b[1] & 0xE0) == 0xE0))
        return static_cast<int32_t>(MediaType::Mp3);
    return -1;
}

void MediaItem::CopyFrom(const Item& other) {
    Item::CopyFrom(other);
    auto& o = static_cast<const MediaItem&>(other);
    file.CopyFrom(o.file);
    mediaType = o.mediaType;
}

void MediaItem::Load(ShowReader& reader) {
    Item::Load(reader);
    float b = reader.SignatureBVersion();
    bool hasType = b == 0.0f || b >= 2.0f;
    file.Load(reader, [&](ShowReader& r) {
        if (hasType) mediaType = r.ReadInt32();
    });
    if (!hasType && !file.Empty())
        if (auto head = file.Head(kSniffedBytes)) mediaType = SniffMediaType(head->bytes);
}

void MediaItem::Save(ShowWriter& writer) const {
    Item::Save(writer);
    file.Save(writer, [this](ShowWriter& w) { w.WriteInt32(mediaType); });
}

bool MediaItem::Validate(ValidationContext& context) {
    if (IsDisabled() && AllUsersDisabled(m_users.Links())) return true;
    if (file.Empty()) {
        context.messages.Show(strings::Load(strings::kChooseMedia), ui::MessageIcon::Stop);
        return false;
    }
    return true;
}

void MediaItem::Describe(FieldVisitor& visitor) {
    visitor.File("file", file);
    visitor.Int("mediaType", mediaType);
    visitor.Users(m_users.Links());
}

void MediaItem::PlayMedia(bool wait, bool loop, ScenePlayer& player, const gfx::Rect& area, int32_t timeLimit) {
    MediaPlay play{&file, file.Name(), area, wait, loop, timeLimit};
    MediaControl& media = player.Media();
    switch (mediaType) {
    case static_cast<int32_t>(MediaType::Wave): media.PlayWave(play, player); break;
    case static_cast<int32_t>(MediaType::Video): media.PlayVideo(play, player); break;
    case static_cast<int32_t>(MediaType::Mp3): media.PlayMp3(play, player); break;
    case static_cast<int32_t>(MediaType::Flash): media.PlayFlash(play, player); break;
    case static_cast<int32_t>(MediaType::Midi): media.PlayMidi(play, player); break;
    default: break;
    }
}

void MediaItem::StopMedia(ScenePlayer& player) {
    MediaControl& media = player.Media();
    switch (mediaType) {
    case static_cast<int32_t>(MediaType::Wave): media.StopWave(); break;
    case static_cast<int32_t>(MediaType::Video): media.StopVideo(); break;
    case static_cast<int32_t>(MediaType::Mp3): media.StopMp3(); break;
    case static_cast<int32_t>(MediaType::Flash): media.StopFlash(); break;
    case static_cast<int32_t>(MediaType::Midi): media.StopMidi(); break;
    default: break;
    }
}

// The frame rectangle starts at byte 8: 5 bits give the field width n, then
// Xmin, Xmax, Ymin and Ymax follow in n bits each, most significant bit
// first, in twips. A compressed movie ("CWS" zlib, "ZWS" LZMA) is inflated
// only as far as the rectangle reaches.
std::optional<std::pair<int32_t, int32_t>> MediaItem::MovieSize() const {
    // The rectangle is in the first bytes, compressed or not.
    auto head = file.Head(kMovieHeadBytes);
    if (!head) return std::nullopt;
    std::span<const uint8_t> bytes = head->bytes;
    std::vector<uint8_t> inflated;
    if (bytes.size() >= 3 && (bytes[0] == 'C' || bytes[0] == 'Z') && bytes[1] == 'W' && bytes[2] == 'S') {
        constexpr size_t kRectangleEnd = 8 + (5 + 4 * 31 + 7) / 8;
        inflated = flash::MovieStart(bytes, kRectangleEnd);
        bytes = inflated;
    }
    if (bytes.size() < 9) return std::nullopt;
    uint64_t bitPos = 8 * 8;
    auto readBits = [&](unsigned count) -> std::optional<uint32_t> {
        uint32_t value = 0;
        for (unsigned i = 0; i < count; ++i, ++bitPos) {
            if (bitPos / 8 >= bytes.size()) return std::nullopt;
            value = (value << 1) | ((bytes[bitPos / 8] >> (7 - bitPos % 8)) & 1);
        }
        return value;
    };
    auto nbits = readBits(5);
    if (!nbits) return std::nullopt;
    std::optional<uint32_t> fields[4];
    for (auto& field : fields) field = readBits(*nbits);
    if (!fields[0] || !fields[1] || !fields[2] || !fields[3]) return std::nullopt;
    auto w = static_cast<int32_t>((int64_t{*fields[1]} - int64_t{*fields[0]}) / 20);
    auto h = static_cast<int32_t>((int64_t{*fields[3]} - int64_t{*fields[2]}) / 20);
    return std::pair{w, h};
}

} // namespace showsaver
