#include "show/Item.h"

#include "show/ShowReader.h"
#include "show/ShowWriter.h"

#include <algorithm>

namespace showsaver {

void Item::CopyFrom(const Item& other) {
    m_name.Assign(other.m_name);
    m_tag = other.m_tag;
}

void Item::Load(ShowReader& reader) {
    m_name.Load(reader);
    m_tag = reader.ReadInt32();
    m_disabled = reader.ReadInt32();
}

void Item::Save(ShowWriter& writer) const {
    m_name.Save(writer);
    writer.WriteInt32(m_tag);
    writer.WriteInt32(m_disabled);
}

bool Item::Validate(ValidationContext&) { return m_name.Validate(); }

bool AllUsersDisabled(std::span<const ItemUserLink> users) {
    // Tested from the last user to the first, as the players were built.
    return std::all_of(users.rbegin(), users.rend(),
                       [](const ItemUserLink& link) { return link.item && link.item->IsDisabled(); });
}

} // namespace showsaver
