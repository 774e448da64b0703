#pragma once
// A media file of the show (kind 9): a wave sound, AVI video, MP3 music,
// Flash movie or MIDI music carried in the show file. It is never played by
// itself; play and stop items drive it.

#include "show/EmbeddedFile.h"
#include "show/Item.h"
#include "show/UserLinks.h"
#include "show/MediaControl.h"

#include <optional>
#include <vector>

namespace showsaver {

class MediaItem final : public Item {
public:
    MediaItem() : Item(ItemKind::Media) {}
    void CopyFrom(const Item& other) override;
    void Load(ShowReader& reader) override;
    void Save(ShowWriter& writer) const override;
    bool Validate(ValidationContext& context) override;
    int Play(gfx::DeviceContext&, int&, ScenePlayer&) override { return 0; }
    std::unique_ptr<Item> Clone() const override { return std::make_unique<MediaItem>(); }
    void AddUser(Item* user) override { m_users.Add(user); }
    void ReserveUsers(size_t count) override { m_users.Reserve(count); }
    void Describe(FieldVisitor& visitor) override;

    // Hands the file to the player of its media type, with wait, loop, the
    // rectangle and the time limit (milliseconds, -1 for none); other media
    // types play nothing.
    void PlayMedia(bool wait, bool loop, ScenePlayer& player, const gfx::Rect& area, int32_t timeLimit);
    // Stops this item's kind of media; other media types stop nothing.
    void StopMedia(ScenePlayer& player);
    // The frame size recorded in a Flash movie's header, in pixels.
    std::optional<std::pair<int32_t, int32_t>> MovieSize() const;

    std::span<const ItemUserLink> Users() const override { return m_users.Links(); }

    EmbeddedFile file;
    int32_t mediaType = -1;

private:
    UserLinks m_users;
};

// Guesses the media type of a file from its first bytes; -1 when unknown.
// Used for the oldest shows, whose records carry no media type.
int32_t SniffMediaType(std::span<const uint8_t> bytes);

} // namespace showsaver
