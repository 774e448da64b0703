#include "app/ItemKinds.h"

#include "links/WebLinkItem.h"
#include "media/LineItem.h"
#include "media/MediaItem.h"
#include "media/MediaPlayItem.h"
#include "media/MediaStopItem.h"
#include "playback/PictureItem.h"
#include "playback/PictureScenes.h"
#include "show/ControlItems.h"

namespace showsaver {

ShowItemRegistry::ShowItemRegistry() {
    Register<PictureItem>();
    Register<ShowPictureItem>();
    Register<PictureEffectItem>();
    Register<HidePictureItem>();
    Register<PauseItem>();
    Register<BackgroundItem>();
    Register<LoopStartItem>();
    Register<LoopEndItem>();
    Register<LineItem>();
    Register<MediaItem>();
    Register<MediaPlayItem>();
    Register<MediaStopItem>();
    Register<NoteItem>();
    Register<WebLinkItem>();
}

} // namespace showsaver
