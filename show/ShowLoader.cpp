#include "show/ShowLoader.h"

#include "platform/sys/FileDescriptor.h"
#include "resources/StringTable.h"
#include "show/ControlItems.h"
#include "show/ItemList.h"
#include "show/FileBuffer.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <span>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <vector>

namespace showsaver {

namespace {

// The smallest record: kind, an empty name, tag and disabled.
constexpr uint64_t kSmallestRecord = 4 + 1 + 4 + 4;

// The items of a show may take this much memory in all: a few bytes of
// record can stand for an item object of hundreds of bytes, so a hostile
// show of millions of tiny records is refused before it can exhaust memory.
// Real shows stay far below (their pictures and media carry their files).
constexpr uint64_t kItemMemoryPerShowByte = 16;
constexpr uint64_t kItemMemoryAllowance = uint64_t{16} << 20;

LoadError Failure(ShowReader& reader, std::string what) {
    reader.Fail(std::move(what));
    return reader.Error();
}

// One entry of a reference block: an item that uses a picture or media item.
struct Link {
    Item* source;
    Item* user;
};

// Reads the reference block of `source` into `links`.
Status<LoadError> ReadReferenceBlock(ShowReader& reader, const ItemList& items, Item& source,
                                     std::vector<Link>& links) {
    int32_t count = reader.ReadInt32();
    if (reader.Failed()) return reader.Error();
    if (count > 0 && static_cast<uint64_t>(count) * 4 > reader.Remaining())
        return Failure(reader, "the reference block of item " + std::to_string(source.Index()) + " announces " +
                                   std::to_string(count) + " entries, more than the bytes left");
    for (int32_t i = 0; i < count; ++i) {
        int32_t index = reader.ReadInt32();
        if (reader.Failed()) return reader.Error();
        Item* user = items.Find(index);
        if (!user)
            return Failure(reader, "the reference block of item " + std::to_string(source.Index()) +
                                       " names item " + std::to_string(index) + ", outside the list");
        links.push_back({&source, user});
    }
    return {};
}

// Points each user at its source and adds it to the source's users, in
// block order. The items were made long before, so they are fetched a few
// links ahead rather than waited for one at a time.
void LinkUsers(std::span<const Link> links) {
    constexpr size_t kAhead = 8;
    for (size_t i = 0; i < links.size(); ++i) {
        if (i + kAhead < links.size()) {
            __builtin_prefetch(links[i + kAhead].user);
            __builtin_prefetch(links[i + kAhead].source);
        }
        Item& source = *links[i].source;
        if (i == 0 || links[i - 1].source != &source) {
            size_t run = 1;
            while (i + run < links.size() && links[i + run].source == &source) ++run;
            source.ReserveUsers(run);
        }
        links[i].user->SetSource(&source);
        source.AddUser(links[i].user);
    }
}

} // namespace

Status<LoadError> LoadItems(ShowReader& reader, const ItemRegistry& registry, ItemList& items) {
    int32_t count = reader.ReadInt32();
    if (reader.Failed()) return reader.Error();
    if (count > 0) items.Reserve(static_cast<size_t>(
        std::min<uint64_t>(static_cast<uint64_t>(count), reader.Remaining() / kSmallestRecord + 1)));
    uint64_t showBytes = reader.Offset() - reader.BaseOffset() + reader.Remaining();
    uint64_t memoryBudget = kItemMemoryPerShowByte * showBytes + kItemMemoryAllowance;
    uint64_t memoryUsed = 0;
    // The pictures and media items, whose reference blocks follow the records
    // in this order: kept here so that the items are not all visited again.
    std::vector<Item*> sources;
    for (int32_t i = 0; i < count; ++i) {
        int32_t kind = reader.ReadInt32();
        if (reader.Failed()) return reader.Error();
        const ItemFactory* factory = registry.Factory(kind);
        if (!factory)
            return Failure(reader, "item " + std::to_string(i) + " has kind " + std::to_string(kind) +
                                       ", outside 0 to 13");
        memoryUsed += factory->size;
        if (memoryUsed > memoryBudget)
            return Failure(reader, "item " + std::to_string(i) + ": the show holds more items than its " +
                                       std::to_string(showBytes) + " bytes can describe");
        // Made in the list's arena, which the whole show is freed with.
        Item& item = items.Make(*factory);
        item.SetIndex(i);
        item.Load(reader);
        if (kind == static_cast<int32_t>(ItemKind::Picture) || kind == static_cast<int32_t>(ItemKind::Media))
            sources.push_back(&item);
        if (reader.Failed()) {
            LoadError error = reader.Error();
            error.what = "item " + std::to_string(i) + " (" + std::string(ItemClassName(kind)) + "): " + error.what;
            return error;
        }
    }
    // Read first, then linked: a failing block leaves the links before it made.
    std::vector<Link> links;
    links.reserve(std::min<uint64_t>(sources.size() * 4, reader.Remaining() / 4));
    for (Item* source : sources) {
        if (auto read = ReadReferenceBlock(reader, items, *source, links); !read) {
            LinkUsers(links);
            return read;
        }
    }
    LinkUsers(links);
    return {};
}

Status<LoadError> LoadShow(ShowReader& reader, const ItemRegistry& registry, ItemList& items, ShowInfo& info,
                                  ui::MessageSink* messages) {
    const std::string_view signatureA = strings::Load(strings::kSignatureA);
    const std::string_view signatureB = strings::Load(strings::kSignatureB);
    reader.SetVersions(0, 0);
    info.formatVersion = info.signatureBVersion = 0;

    uint64_t signatureOffset = reader.Offset();
    std::string signature = reader.ReadText();
    float version = reader.ReadFloat();
    if (reader.Failed()) return reader.Error();
    info.formatVersion = version;
    if (signature == signatureA) {
        info.signature = 'A';
    } else if (signature == signatureB) {
        info.signature = 'B';
    } else {
        return LoadError{signatureOffset, "the signature is not one of a show file"};
    }
    if (static_cast<double>(version) > kMaxShowVersion)
        return LoadError{signatureOffset + 1 + signature.size(),
                         "version " + std::to_string(version) + " is newer than this engine reads"};
    if (info.signature == 'B') info.signatureBVersion = version;
    reader.SetVersions(info.formatVersion, info.signatureBVersion);

    if (auto loaded = LoadItems(reader, registry, items); !loaded) return loaded;

    for (int i = 0; i < items.Size(); ++i) items.At(i).SetIndex(i);
    MatchLoops(items);
    if (!messages) return {};
    return ValidateShow(items, *messages, reader.Offset());
}

namespace {

// Runs the pictures' prechecks, where validation spends its time (each
// picture is decoded), on up to four cores at once: each holds a picture's
// bytes while it measures them. Validation then goes through the list in
// order as before and finds them done.
void PrecheckPictures(ItemList& items) {
    constexpr size_t kMostWorkers = 4;
    std::vector<Item*> pictures;
    for (int i = 0; i < items.Size(); ++i)
        if (items.At(i).Kind() == ItemKind::Picture) pictures.push_back(&items.At(i));
    const size_t workers =
        std::min({std::max<size_t>(1, std::thread::hardware_concurrency()), kMostWorkers, pictures.size()});
    if (workers < 2) return;   // Validate measures a lone picture itself
    std::atomic<size_t> next{0};
    auto work = [&] {
        for (size_t i; (i = next.fetch_add(1, std::memory_order_relaxed)) < pictures.size();) pictures[i]->Precheck();
    };
    std::vector<std::jthread> helpers;
    try {
        for (size_t i = 1; i < workers; ++i) helpers.emplace_back(work);
    } catch (const std::system_error&) {
        // No more threads to be had: those there are share the work.
    }
    work();
}

} // namespace

Status<LoadError> ValidateShow(ItemList& items, ui::MessageSink& messages, uint64_t endOffset) {
    PrecheckPictures(items);
    ValidationContext context{items, messages};
    for (int i = 0; i < items.Size(); ++i) {
        if (!items.At(i).Validate(context))
            return LoadError{endOffset, "item " + std::to_string(i) + " (" +
                                            std::string(ItemClassName(static_cast<int32_t>(items.At(i).Kind()))) +
                                            ") was refused by validation"};
    }
    return {};
}

Status<LoadError> LoadShowFile(const std::filesystem::path& path, uint64_t offset, const ItemRegistry& registry,
                               ItemList& items, ShowInfo& info, ui::MessageSink* messages) {
    FileBuffer file;
    if (auto opened = file.Open(path, offset); !opened) return LoadError{offset, opened.Error().what};
    // Embedded files point into the buffer and keep it; the reader has it
    // filled as it goes.
    ShowReader reader(file.Bytes(), file.Owner(), offset, &file, file.Filled());
    info.headerWord = reader.ReadUInt32();
    if (reader.Failed()) return LoadError{offset, "no show follows the engine (the file ends at its size)"};
    return LoadShow(reader, registry, items, info, messages);
}

Result<uint64_t> FindShowOffset(const std::filesystem::path& path) {
    // Opened without blocking, so that a FIFO is refused instead of waited on.
    sys::FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat info {};
    if (!file.IsValid()) return Error{"cannot open " + path.string()};
    if (::fstat(file.Get(), &info) != 0 || !S_ISREG(info.st_mode)) return Error{path.string() + " is not a regular file"};
    // A bare show: the header word, then the signature as a text in any of
    // its prefix forms. The longest is the wide one: 0xFF 0xFFFE, a second
    // prefix of up to seven bytes, and two bytes a character.
    std::array<uint8_t, 4 + 3 + 7 + 2 * 15> head{};
    size_t got = 0;
    while (got < head.size()) {
        ssize_t n = ::read(file.Get(), head.data() + got, head.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += static_cast<size_t>(n);
    }
    ShowReader reader({head.data(), got});
    reader.ReadUInt32();
    std::string signature = reader.ReadText();
    if (!reader.Failed() &&
        (signature == strings::Load(strings::kSignatureA) || signature == strings::Load(strings::kSignatureB)))
        return uint64_t{0};
    return kShowOffset;
}

} // namespace showsaver
