#include "show/ShowSaver.h"

#include "resources/StringTable.h"
#include "show/ItemList.h"
#include "show/ShowWriter.h"

namespace showsaver {

namespace {

bool HasReferenceBlock(const Item& item) {
    return item.Kind() == ItemKind::Picture || item.Kind() == ItemKind::Media;
}

} // namespace

std::vector<uint8_t> SaveShow(const ShowInfo& info, int32_t itemCount, std::span<const uint8_t> records,
                              std::span<const std::vector<int32_t>> referenceBlocks) {
    ShowWriter writer;
    writer.WriteUInt32(info.headerWord);
    writer.WriteText(strings::Load(info.signature == 'B' ? strings::kSignatureB : strings::kSignatureA));
    writer.WriteFloat(info.formatVersion);
    writer.WriteInt32(itemCount);
    writer.WriteBytes(records);
    for (const auto& block : referenceBlocks) {
        writer.WriteInt32(static_cast<int32_t>(block.size()));
        for (int32_t user : block) writer.WriteInt32(user);
    }
    return writer.TakeBytes();
}

std::vector<uint8_t> SaveShow(std::span<const Item* const> items, const ShowInfo& info) {
    ShowWriter records;
    std::vector<std::vector<int32_t>> blocks;
    for (const Item* item : items) {
        records.WriteInt32(static_cast<int32_t>(item->Kind()));
        item->Save(records);
        if (!HasReferenceBlock(*item)) continue;
        auto& block = blocks.emplace_back();
        for (const auto& link : item->Users()) block.push_back(link.item->Index());
    }
    if (records.Error()) return {};
    return SaveShow(info, static_cast<int32_t>(items.size()), records.Bytes(), blocks);
}

std::vector<uint8_t> SaveShow(const ItemList& items, const ShowInfo& info) {
    std::vector<const Item*> list;
    list.reserve(static_cast<size_t>(items.Size()));
    for (int i = 0; i < items.Size(); ++i) list.push_back(&items.At(i));
    return SaveShow(std::span<const Item* const>(list), info);
}

} // namespace showsaver
