// Feeds arbitrary bytes to the show loader as a bare show file: the header
// word, then everything LoadShow reads. Each input is loaded twice, once
// with validation (the path the engine takes, messages discarded) and once
// without (the path showpack's inspecting commands take); then a third time
// from a buffer that arrives a few bytes at a time, as a show file is read,
// which must give the same items and the same error.
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
#include "show/ShowSaver.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <span>
#include <vector>

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

// Copies the input into the reader's buffer `step` bytes past what it asks
// for; the rest of the buffer holds a pattern until then, so that a read of
// bytes not yet supplied changes what is loaded.
class TrickleSupply final : public ByteSupply {
public:
    TrickleSupply(std::span<const uint8_t> input, uint8_t* buffer, size_t step)
        : m_input(input), m_buffer(buffer), m_step(step) {}
    Result<size_t> Supply(size_t count) override {
        size_t next = std::min(m_input.size(), std::max(count, m_filled + m_step));
        std::memcpy(m_buffer + m_filled, m_input.data() + m_filled, next - m_filled);
        m_filled = next;
        return m_filled;
    }

private:
    std::span<const uint8_t> m_input;
    uint8_t* m_buffer;
    size_t m_step;
    size_t m_filled = 0;
};

struct Outcome {
    bool loaded = false;
    LoadError error;
    int items = 0;
    std::vector<uint8_t> saved;   // the loaded show written again
    bool operator==(const Outcome& o) const {
        return loaded == o.loaded && error.offset == o.error.offset && error.what == o.error.what &&
               items == o.items && saved == o.saved;
    }
};

Outcome Load(ShowReader& reader) {
    ShowItemRegistry registry;
    ShowInfo info;
    Outcome outcome;
    info.headerWord = reader.ReadUInt32();
    if (reader.Failed()) return outcome;
    auto loaded = LoadShow(reader, registry, registry.Items(), info, nullptr);
    outcome.loaded = static_cast<bool>(loaded);
    if (!loaded) outcome.error = loaded.Error();
    outcome.items = registry.Items().Size();
    if (loaded) outcome.saved = SaveShow(registry.Items(), info);
    return outcome;
}

// Large inputs are left to the loads above: what this compares happens at
// the boundaries of what has arrived, which small inputs reach as well, and
// a third load of a show built to use all the item memory it may would pass
// the run's memory limit under the sanitizers.
constexpr size_t kTrickleInputLimit = 64 * 1024;

void CompareWithTrickle(std::span<const uint8_t> bytes) {
    if (bytes.size() > kTrickleInputLimit) return;
    ShowReader whole(bytes);
    const Outcome expected = Load(whole);
    if (bytes.empty()) return;
    const size_t step = 1 + bytes[bytes.size() - 1] % 13;
    std::shared_ptr<uint8_t[]> buffer(new uint8_t[bytes.size()]);
    std::memset(buffer.get(), 0xA5, bytes.size());
    TrickleSupply supply(bytes, buffer.get(), step);
    ShowReader trickled({buffer.get(), bytes.size()}, buffer, 0, &supply, 0);
    if (!(Load(trickled) == expected)) std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::span<const uint8_t> bytes(data, size);
    DiscardingSink sink;
    LoadBareShow(bytes, &sink);
    LoadBareShow(bytes, nullptr);
    CompareWithTrickle(bytes);
    return 0;
}
