#pragma once
// The engine's item kinds in one place: a registry holding the list of the
// loaded show and one prototype of each of the 14 kinds. The kinds live in
// the layers below (show, playback, media, links); only this composition
// knows them all.

#include "show/ItemList.h"

namespace showsaver {

class ShowItemRegistry final : public ItemRegistry {
public:
    // Creates the item list, then the prototypes of kinds 0 to 13 in order.
    ShowItemRegistry();
};

} // namespace showsaver
