#pragma once
// The owning list of a show's items, and the registry that holds one
// prototype per item kind together with the loaded show. The registry
// knows no kind itself: the engine's composition (app/ItemKinds.h) fills it.

#include "show/Item.h"

#include <array>
#include <memory>
#include <string_view>
#include <vector>

namespace showsaver {

class ItemList {
public:
    ItemList() = default;
    ItemList(const ItemList&) = delete;
    ItemList& operator=(const ItemList&) = delete;
    ~ItemList() { Clear(); }

    void Append(std::unique_ptr<Item> item) { m_items.push_back(std::move(item)); }
    void Reserve(size_t count) { m_items.reserve(count); }
    // Deletes the items first to last.
    void Clear();

    int Size() const { return static_cast<int>(m_items.size()); }
    bool Empty() const { return m_items.empty(); }
    Item& At(int index) const { return *m_items[static_cast<size_t>(index)]; }
    Item* Find(int index) const { return index >= 0 && index < Size() ? &At(index) : nullptr; }

private:
    std::vector<std::unique_ptr<Item>> m_items;
};

class ItemRegistry {
public:
    // Creates the item list; the prototypes are registered after it.
    ItemRegistry();
    ItemRegistry(const ItemRegistry&) = delete;
    ItemRegistry& operator=(const ItemRegistry&) = delete;
    ~ItemRegistry();

    // The prototype of a kind, or null outside 0 to 13.
    const Item* Prototype(int32_t kind) const;
    // The memory one item of a kind takes (0 outside 0 to 13).
    size_t ObjectSize(int32_t kind) const;
    ItemList& Items() { return *m_items; }
    const ItemList& Items() const { return *m_items; }

    // Makes a T the prototype of its kind.
    template <typename T> void Register() {
        auto prototype = std::make_unique<T>();
        auto kind = static_cast<size_t>(prototype->Kind());
        m_objectSizes[kind] = sizeof(T);
        m_prototypes[kind] = std::move(prototype);
    }

private:
    std::unique_ptr<ItemList> m_items;

    std::array<std::unique_ptr<Item>, kItemKindCount> m_prototypes;
    std::array<size_t, kItemKindCount> m_objectSizes{};
};

// The class name of a kind ("PictureItem", ...); empty outside 0 to 13.
std::string_view ItemClassName(int32_t kind);
// The kind of a class name, or -1.
int32_t ItemKindOfClass(std::string_view className);

} // namespace showsaver
