#pragma once
// The owning list of a show's items, and the registry that holds one
// prototype per item kind together with the loaded show. The registry
// knows no kind itself: the engine's composition (app/ItemKinds.h) fills it.

#include "show/Item.h"
#include "show/ItemArena.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <memory>
#include <new>
#include <string_view>
#include <vector>

namespace showsaver {

// Makes a default item of one kind in memory it is given.
struct ItemFactory {
    Item* (*construct)(void* at) = nullptr;
    size_t size = 0;
    size_t alignment = 0;
};

// Owns the items of a show. Items made by the list itself (Make) live in its
// arena and go with it; items made elsewhere are handed over (Append). No
// item leaves the list: the links between items, the scene thread and the
// tools all point into it while it holds them.
class ItemList {
public:
    ItemList() = default;
    ItemList(const ItemList&) = delete;
    ItemList& operator=(const ItemList&) = delete;
    ~ItemList() { Clear(); }

    void Append(std::unique_ptr<Item> item) {
        m_items.push_back({item.get(), false});
        item.release();
    }
    // Makes a default item with `factory` in the list's arena and appends it.
    Item& Make(const ItemFactory& factory) {
        // Room first, so that the item is never made without its entry.
        if (m_items.size() == m_items.capacity()) m_items.reserve(std::max<size_t>(16, 2 * m_items.size()));
        Item* item = factory.construct(m_arena.Allocate(factory.size, factory.alignment));
        m_items.push_back({item, true});
        return *item;
    }
    void Reserve(size_t count) { m_items.reserve(count); }
    // Destroys the items first to last, then gives the arena back.
    void Clear();

    int Size() const { return static_cast<int>(m_items.size()); }
    bool Empty() const { return m_items.empty(); }
    Item& At(int index) const { return *m_items[static_cast<size_t>(index)].item; }
    Item* Find(int index) const { return index >= 0 && index < Size() ? &At(index) : nullptr; }

private:
    struct Entry {
        Item* item;
        bool inArena;   // else allocated with new, deleted by the list
    };

    std::vector<Entry> m_items;
    ItemArena m_arena;
};

class ItemRegistry {
public:
    // Creates the item list; the prototypes are registered after it.
    ItemRegistry();
    ItemRegistry(const ItemRegistry&) = delete;
    ItemRegistry& operator=(const ItemRegistry&) = delete;
    ~ItemRegistry();

    // The prototype of a kind, or null outside 0 to 13.
    const Item* Prototype(int32_t kind) const {
        return kind >= 0 && kind < kItemKindCount ? m_prototypes[static_cast<size_t>(kind)].get() : nullptr;
    }
    // How to make an item of a kind in an item list's arena; null outside 0
    // to 13 or for a kind not registered.
    const ItemFactory* Factory(int32_t kind) const {
        if (kind < 0 || kind >= kItemKindCount) return nullptr;
        const ItemFactory& factory = m_factories[static_cast<size_t>(kind)];
        return factory.construct ? &factory : nullptr;
    }
    // The memory one item of a kind takes (0 outside 0 to 13).
    size_t ObjectSize(int32_t kind) const;
    ItemList& Items() { return *m_items; }
    const ItemList& Items() const { return *m_items; }

    // Makes a T the prototype of its kind.
    template <typename T> void Register() {
        static_assert(alignof(T) <= alignof(std::max_align_t), "items are made in the arena's blocks");
        auto prototype = std::make_unique<T>();
        auto kind = static_cast<size_t>(prototype->Kind());
        m_factories[kind] = {[](void* at) -> Item* { return ::new (at) T(); }, sizeof(T), alignof(T)};
        m_prototypes[kind] = std::move(prototype);
    }

private:
    std::unique_ptr<ItemList> m_items;

    std::array<std::unique_ptr<Item>, kItemKindCount> m_prototypes;
    std::array<ItemFactory, kItemKindCount> m_factories{};
};

// The class name of a kind ("PictureItem", ...); empty outside 0 to 13.
std::string_view ItemClassName(int32_t kind);
// The kind of a class name, or -1.
int32_t ItemKindOfClass(std::string_view className);

} // namespace showsaver
