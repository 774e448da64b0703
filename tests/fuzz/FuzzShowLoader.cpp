// Feeds arbitrary bytes to the show loader as a bare show file: the header
// word, then everything LoadShow reads. Each input is loaded twice, once
// with validation (the path the engine takes, messages discarded) and once
// without (the path showpack's inspecting commands take).
//
// Validation renders every caption. A valid caption may be as large as the
// engine allows (12 million pixels), which takes seconds under the
// sanitizers; this target renders captions of up to kFuzzCaptionPixels, so
// that every input stays far inside the per-input time-out. The loader's
// refusals of larger ones are the same code with another number.
//
// Whatever the bytes, loading must end with a value or an error: no crash,
// no leak, no sanitizer report, and no allocation beyond the input's size
// plus a small constant (the bounded CTest run sets -malloc_limit_mb).

#include "app/ItemKinds.h"
#include "playback/PictureItem.h"
#include "platform/ui/MessageBox.h"
#include "show/ItemList.h"
#include "show/ShowLoader.h"
#include "show/ShowReader.h"

#include <cstddef>
#include <cstdint>
#include <span>

namespace {

using namespace showsaver;

// Answers every message with its default button and shows nothing, so a
// refusing item neither blocks nor floods the fuzzer's output.
class DiscardingSink final : public ui::MessageSink {
public:
    ui::MessageAnswer Show(std::string_view, ui::MessageIcon, ui::MessageButtons) override {
        return ui::MessageAnswer::Ok;
    }
};

constexpr int64_t kFuzzCaptionPixels = 250'000;

void LoadBareShow(std::span<const uint8_t> bytes, ui::MessageSink* messages) {
    ShowItemRegistry registry;
    ShowInfo info;
    ShowReader reader(bytes);
    info.headerWord = reader.ReadUInt32();
    if (reader.Failed()) return;
    // The error itself is not checked: refusing is a correct answer.
    if (!LoadShow(reader, registry, registry.Items(), info, nullptr) || !messages) return;
    ItemList& items = registry.Items();
    for (int i = 0; i < items.Size(); ++i)
        if (auto* picture = dynamic_cast<PictureItem*>(&items.At(i)))
            picture->decoder.LimitCaptionPixels(kFuzzCaptionPixels);
    (void)ValidateShow(items, *messages, reader.Offset());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::span<const uint8_t> bytes(data, size);
    DiscardingSink sink;
    LoadBareShow(bytes, &sink);
    LoadBareShow(bytes, nullptr);
    return 0;
}
