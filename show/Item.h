#pragma once
// The base of everything in a show, the visitor through which showpack
// reads and writes item fields by name, and the context of validation.

#include "show/ItemProperty.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

namespace showsaver {

namespace gfx { class DeviceContext; }
namespace ui { class MessageSink; }
class EmbeddedFile;
class Item;
class ItemList;
class ScenePlayer;
class ShowReader;
class ShowWriter;

enum class ItemKind : int32_t {
    Picture = 0,
    ShowPicture = 1,
    PictureEffect = 2,
    HidePicture = 3,
    Pause = 4,
    Background = 5,
    LoopStart = 6,
    LoopEnd = 7,
    Line = 8,
    Media = 9,
    MediaPlay = 10,
    MediaStop = 11,
    Note = 12,
    WebLink = 13,
};
inline constexpr int kItemKindCount = 14;

// A non-owning link from a picture or media item to an item that uses it.
struct ItemUserLink {
    Item* item = nullptr;
};

// Lists an item's fields by name, so one description serves the JSON dump
// and the JSON build. A visitor that writes sets the referenced values.
class FieldVisitor {
public:
    virtual ~FieldVisitor() = default;
    virtual void Int(std::string_view key, int32_t& value) = 0;
    virtual void UInt(std::string_view key, uint32_t& value) = 0;
    virtual void Byte(std::string_view key, uint8_t& value) = 0;
    // A Windows-1252 text; `maxBytes` limits what a writer may store.
    virtual void Text(std::string_view key, std::string& cp1252, size_t maxBytes = SIZE_MAX) = 0;
    virtual void Group(std::string_view key, const std::function<void(FieldVisitor&)>& fields) = 0;
    virtual void File(std::string_view key, EmbeddedFile& file) = 0;
    // The picture or media item a scene or player refers to.
    virtual void Reference(std::string_view key, Item*& source) = 0;
    virtual void Users(std::span<const ItemUserLink> users) = 0;
};

struct ValidationContext {
    const ItemList& items;
    ui::MessageSink& messages;
};

class Item {
public:
    explicit Item(ItemKind kind) : m_kind(kind) {}
    Item(const Item&) = delete;
    Item& operator=(const Item&) = delete;
    virtual ~Item() = default;

    // Copies the stored fields (each kind adds its own).
    virtual void CopyFrom(const Item& other);
    // Reads the item's record after its kind; the base reads name, tag and
    // disabled. Errors stay in the reader.
    virtual void Load(ShowReader& reader);
    // Writes the record in the current layout (signature A, version 4.5).
    virtual void Save(ShowWriter& writer) const;
    // Checks the item and prepares it for playing; shows its own message and
    // returns false when the show must be refused.
    virtual bool Validate(ValidationContext& context);
    // The part of validation that reads nothing but the item's own data and
    // shows no message, so that it may run on any thread, beside other
    // items' prechecks, before Validate finds it done. The base has none.
    virtual void Precheck() {}
    // Plays the item. `index` is the list position; loop items move it and
    // the player goes on after the position it finds.
    virtual int Play(gfx::DeviceContext& dc, int& index, ScenePlayer& player) = 0;
    // A new, default-constructed item of the same class.
    virtual std::unique_ptr<Item> Clone() const = 0;
    virtual void AddUser(Item*) {}
    // Makes room for `count` more users before they are added one by one.
    virtual void ReserveUsers(size_t) {}
    // The items that use this picture or media item, in reference-block order.
    virtual std::span<const ItemUserLink> Users() const { return {}; }
    virtual void SetSource(Item*) {}
    // The kind's own fields, by name (not name, tag and disabled).
    virtual void Describe(FieldVisitor&) {}

    void SetDisabled(const int32_t* value) { m_disabled = *value; }
    bool IsDisabled() const { return m_disabled != 0; }

    ItemKind Kind() const { return m_kind; }
    int32_t Index() const { return m_index; }
    void SetIndex(int32_t index) { m_index = index; }
    const std::string& Name() const { return m_name.text; }
    void SetName(std::string cp1252) { m_name.text = std::move(cp1252); }
    int32_t Tag() const { return m_tag; }
    void SetTag(int32_t tag) { m_tag = tag; }
    int32_t Disabled() const { return m_disabled; }

private:
    TextProperty m_name;
    int32_t m_tag = 0;
    ItemKind m_kind;
    int32_t m_index = -1;
    int32_t m_disabled = 0;
};

// True when every user is disabled (an empty list counts as all disabled):
// then a disabled picture or media item need not be prepared.
bool AllUsersDisabled(std::span<const ItemUserLink> users);

} // namespace showsaver
