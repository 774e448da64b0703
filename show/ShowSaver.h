#pragma once
// Writes a show in the layout that LoadShow reads: header word, signature,
// version, item count, the records (int32 kind + the kind's record), then a
// reference block for every picture and media item in list order, naming
// the items that use it.

#include "show/ShowLoader.h"

#include <cstdint>
#include <span>
#include <vector>

namespace showsaver {

class Item;

// The container around item records that are already written, with one
// reference block per picture and media item, in list order. Tools that
// write older record layouts field by field use this one.
std::vector<uint8_t> SaveShow(const ShowInfo& info, int32_t itemCount, std::span<const uint8_t> records,
                              std::span<const std::vector<int32_t>> referenceBlocks);

// The items, each saved in the current layout, with the reference blocks
// from their users lists. `info` gives the header word, signature and
// version written. Empty when a file left in the show's file it was loaded
// from can no longer be read.
std::vector<uint8_t> SaveShow(std::span<const Item* const> items, const ShowInfo& info);
std::vector<uint8_t> SaveShow(const ItemList& items, const ShowInfo& info);

} // namespace showsaver
