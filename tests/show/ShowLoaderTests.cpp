#include "app/ItemKinds.h"
#include "links/WebLinkItem.h"
#include "media/MediaItem.h"
#include "media/MediaPlayItem.h"
#include "playback/PictureItem.h"
#include "playback/PictureScenes.h"
#include "media/MediaStopItem.h"
#include "show/ControlItems.h"
#include "show/ItemArena.h"
#include "show/ShowSaver.h"
#include "show/UserLinks.h"
#include "support/FakePlayer.h"
#include "support/ShowBytes.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace showsaver {
namespace {

using testing::CollectingSink;
using testing::LoadBytes;
using testing::ShowHeader;
using testing::ShowOf;

std::vector<uint8_t> EmptyShow(char signature, float version) {
    ShowWriter writer = ShowHeader(signature, version);
    writer.WriteInt32(0);
    return writer.TakeBytes();
}

TEST(ItemArena, HandsOutAlignedRegionsThatNeverOverlapAcrossBlocks) {
    // Sizes of every item kind and odd ones, past several blocks, and one
    // larger than any block.
    ItemArena arena;
    struct Region {
        uint8_t* at;
        size_t size;
    };
    std::vector<Region> regions;
    const size_t sizes[] = {848, 312, 1, 120, 64, 7, 264, 152, ItemArena::kLargestBlock * 3, 104, 16};
    size_t total = 0;
    for (int round = 0; total < 4 * ItemArena::kLargestBlock; ++round) {
        for (size_t size : sizes) {
            const size_t alignment = size_t{1} << (round % 5);
            auto* at = static_cast<uint8_t*>(arena.Allocate(size, alignment));
            ASSERT_EQ(reinterpret_cast<uintptr_t>(at) % alignment, 0u) << size;
            std::memset(at, static_cast<int>(regions.size() & 0xFF), size);
            regions.push_back({at, size});
            total += size;
        }
    }
    for (size_t i = 0; i < regions.size(); ++i) {
        const Region& r = regions[i];
        EXPECT_EQ(r.at[0], static_cast<uint8_t>(i & 0xFF)) << i;
        EXPECT_EQ(r.at[r.size - 1], static_cast<uint8_t>(i & 0xFF)) << i;
    }
    arena.Release();
    EXPECT_NE(arena.Allocate(8, 8), nullptr);
}

TEST(UserLinks, KeepTheOrderTheyWereAddedInsideOrOutside) {
    PauseItem users[UserLinks::kInside * 2 + 1];
    for (size_t count = 0; count <= std::size(users); ++count) {
        for (size_t reserved : {size_t{0}, count, size_t{2}}) {
            UserLinks links;
            links.Reserve(reserved);
            for (size_t i = 0; i < count; ++i) {
                if (i == 3) links.Reserve(reserved);   // a second block for the same item
                links.Add(&users[i]);
            }
            ASSERT_EQ(links.Size(), count);
            ASSERT_EQ(links.Links().size(), count);
            for (size_t i = 0; i < count; ++i) EXPECT_EQ(links.Links()[i].item, &users[i]) << count << " " << i;
        }
    }
}

TEST(ShowLoader, ReadsSignatureAndVersions) {
    auto b = LoadBytes(EmptyShow('B', 4.5f));
    ASSERT_FALSE(b.error) << b.error->what;
    EXPECT_EQ(b.info.signature, 'B');
    EXPECT_FLOAT_EQ(b.info.formatVersion, 4.5f);
    EXPECT_FLOAT_EQ(b.info.signatureBVersion, 4.5f);
    EXPECT_EQ(b.info.headerWord, 0x1234u);

    auto a = LoadBytes(EmptyShow('A', 4.5f));
    ASSERT_FALSE(a.error);
    EXPECT_FLOAT_EQ(a.info.formatVersion, 4.5f);
    EXPECT_EQ(a.info.signatureBVersion, 0.0f);
}

TEST(ShowLoader, ComparesTheVersionLimitInDoublePrecision) {
    // The single-precision 4.51 is 4.5100002, above the limit.
    EXPECT_TRUE(LoadBytes(EmptyShow('A', 4.51f)).error);
    EXPECT_FALSE(LoadBytes(EmptyShow('A', 4.50999f)).error);
    EXPECT_TRUE(LoadBytes(EmptyShow('B', 5.0f)).error);
}

TEST(ShowLoader, RefusesASignatureThatDiffersInCase) {
    ShowWriter writer;
    writer.WriteUInt32(0);
    writer.WriteText("screenshowfileA");
    writer.WriteFloat(4.5f);
    writer.WriteInt32(0);
    auto loaded = LoadBytes(writer.Bytes());
    ASSERT_TRUE(loaded.error);
    EXPECT_EQ(loaded.error->offset, 4u);
}

TEST(ShowLoader, AnEmptyListLoadsAndTrailingBytesAreIgnored) {
    auto bytes = EmptyShow('A', 4.5f);
    EXPECT_FALSE(LoadBytes(bytes).error);
    bytes.insert(bytes.end(), {0xDE, 0xAD, 0xBE, 0xEF, 0x01});
    auto loaded = LoadBytes(bytes);
    EXPECT_FALSE(loaded.error);
    EXPECT_TRUE(loaded.Items().Empty());
}

TEST(ShowLoader, NegativeCountMeansNoItems) {
    ShowWriter writer = ShowHeader();
    writer.WriteInt32(-5);
    EXPECT_FALSE(LoadBytes(writer.Bytes()).error);
}

TEST(ShowLoader, RefusesKindsOutsideTheTable) {
    for (int32_t kind : {14, -1, 1000}) {
        ShowWriter writer = ShowHeader();
        writer.WriteInt32(1);
        writer.WriteInt32(kind);
        auto loaded = LoadBytes(writer.Bytes());
        ASSERT_TRUE(loaded.error) << kind;
        EXPECT_NE(loaded.error->what.find("kind"), std::string::npos);
    }
}

TEST(ShowLoader, TruncatedRecordFailsButKeepsItemsReadSoFar) {
    PauseItem pause;
    pause.duration.duration = 250;
    NoteItem note;
    note.text.text = "a note that will be cut short";
    auto bytes = ShowOf({&pause, &note});
    bytes.resize(bytes.size() - 10);
    auto loaded = LoadBytes(bytes);
    ASSERT_TRUE(loaded.error);
    EXPECT_EQ(loaded.Items().Size(), 2);
    EXPECT_NE(loaded.error->what.find("item 1 (NoteItem)"), std::string::npos) << loaded.error->what;
}

TEST(ShowLoader, ReferenceBlocksLinkScenesToPicturesBothWays) {
    PictureItem picture;
    picture.contentType = PictureItem::kText;
    picture.text = "Hello";
    ShowPictureItem show;
    HidePictureItem hide;
    show.SetIndex(1);
    hide.SetIndex(2);
    picture.AddUser(&show);
    picture.AddUser(&hide);
    CollectingSink sink;
    auto loaded = LoadBytes(ShowOf({&picture, &show, &hide}), &sink);
    ASSERT_FALSE(loaded.error) << loaded.error->what;
    auto& items = loaded.Items();
    auto& loadedPicture = static_cast<PictureItem&>(items.At(0));
    ASSERT_EQ(loadedPicture.Users().size(), 2u);
    EXPECT_EQ(loadedPicture.Users()[0].item, &items.At(1));
    EXPECT_EQ(loadedPicture.Users()[1].item, &items.At(2));
    EXPECT_EQ(static_cast<ShowPictureItem&>(items.At(1)).picture.source, &loadedPicture);
    EXPECT_EQ(static_cast<HidePictureItem&>(items.At(2)).picture.source, &loadedPicture);
    EXPECT_TRUE(sink.messages.empty());
}

TEST(ShowLoader, RefusesReferencesOutsideTheList) {
    PictureItem picture;
    picture.contentType = PictureItem::kText;
    ShowWriter writer = ShowHeader();
    writer.WriteInt32(1);
    writer.WriteInt32(0);
    picture.Save(writer);
    writer.WriteInt32(1);
    writer.WriteInt32(5);
    auto loaded = LoadBytes(writer.Bytes());
    ASSERT_TRUE(loaded.error);
    EXPECT_NE(loaded.error->what.find("outside the list"), std::string::npos);
}

TEST(ShowLoader, ValidationStopsAtTheFirstRefusal) {
    MediaStopItem first;   // no media: refused
    MediaStopItem second;  // would be refused too, but is never asked
    CollectingSink sink;
    auto loaded = LoadBytes(ShowOf({&first, &second}), &sink);
    ASSERT_TRUE(loaded.error);
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_EQ(sink.messages[0].text, "You have to choose the media.");
    EXPECT_EQ(sink.messages[0].icon, ui::MessageIcon::Stop);
    // Without a message sink the items are only numbered.
    EXPECT_FALSE(LoadBytes(ShowOf({&first, &second})).error);
}

TEST(ShowLoader, NumbersTheItems) {
    NoteItem a, b, c;
    auto loaded = LoadBytes(ShowOf({&a, &b, &c}));
    ASSERT_FALSE(loaded.error);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(loaded.Items().At(i).Index(), i);
}

TEST(ShowLoader, ScenesAndPlayersWithoutTheirSourceAreRefused) {
    CollectingSink sink;
    ShowPictureItem scene;
    EXPECT_TRUE(LoadBytes(ShowOf({&scene}), &sink).error);
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_EQ(sink.messages[0].text, "You have to choose the image.");

    // A picture's reference block that names a media player gives it a
    // source of the wrong kind.
    PictureItem picture;
    picture.contentType = PictureItem::kText;
    picture.text = "Caption";
    MediaPlayItem player;
    player.SetIndex(1);
    picture.AddUser(&player);
    sink.messages.clear();
    EXPECT_TRUE(LoadBytes(ShowOf({&picture, &player}), &sink).error);
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_EQ(sink.messages[0].text, "You have to choose the media.");
}

TEST(ShowLoader, PicturesAndMediaWithoutBytesAreRefusedUnlessUnused) {
    CollectingSink sink;
    PictureItem image;   // an image without bytes
    ShowPictureItem scene;
    scene.SetIndex(1);
    image.AddUser(&scene);
    EXPECT_TRUE(LoadBytes(ShowOf({&image, &scene}), &sink).error);
    EXPECT_EQ(sink.messages.at(0).text, "You have to choose the image.");

    // Disabled, and used only by disabled scenes: not prepared at all.
    int32_t on = 1;
    image.SetDisabled(&on);
    scene.SetDisabled(&on);
    sink.messages.clear();
    EXPECT_FALSE(LoadBytes(ShowOf({&image, &scene}), &sink).error);
    EXPECT_TRUE(sink.messages.empty());

    // An unused disabled media item without bytes passes as well.
    MediaItem media;
    media.SetDisabled(&on);
    EXPECT_FALSE(LoadBytes(ShowOf({&media}), &sink).error);
    MediaItem enabledMedia;
    EXPECT_TRUE(LoadBytes(ShowOf({&enabledMedia}), &sink).error);
}

TEST(ShowLoader, FileWithoutPayloadFails) {
    auto path = std::filesystem::temp_directory_path() / "showsaver-no-payload";
    {
        std::ofstream file(path, std::ios::binary);
        std::vector<char> engine(kShowOffset, 'E');
        file.write(engine.data(), static_cast<std::streamsize>(engine.size()));
    }
    ShowItemRegistry registry;
    ShowInfo info;
    auto loaded = LoadShowFile(path, kShowOffset, registry, registry.Items(), info, nullptr);
    ASSERT_FALSE(loaded);
    EXPECT_EQ(loaded.Error().offset, kShowOffset);
    std::filesystem::remove(path);

    EXPECT_FALSE(LoadShowFile("/nonexistent/showsaver", kShowOffset, registry, registry.Items(), info, nullptr));
}

TEST(ShowLoader, FindsTheShowInPackedAndBareFiles) {
    auto dir = std::filesystem::temp_directory_path();
    auto bare = dir / "showsaver-bare.show";
    auto packed = dir / "showsaver-packed";
    auto show = EmptyShow('A', 4.5f);
    {
        std::ofstream file(bare, std::ios::binary);
        file.write(reinterpret_cast<const char*>(show.data()), static_cast<std::streamsize>(show.size()));
        std::ofstream engine(packed, std::ios::binary);
        std::vector<char> padding(kShowOffset, 0);
        engine.write(padding.data(), static_cast<std::streamsize>(padding.size()));
        engine.write(reinterpret_cast<const char*>(show.data()), static_cast<std::streamsize>(show.size()));
    }
    EXPECT_EQ(*FindShowOffset(bare), 0u);
    EXPECT_EQ(*FindShowOffset(packed), kShowOffset);
    EXPECT_FALSE(FindShowOffset(dir / "showsaver-none"));
    // A FIFO is refused, not waited on.
    auto fifo = dir / ("showsaver-fifo-" + std::to_string(::getpid()));
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(FindShowOffset(fifo));
    ShowItemRegistry registry;
    ShowInfo info;
    EXPECT_FALSE(LoadShowFile(fifo, 0, registry, registry.Items(), info, nullptr));
    std::filesystem::remove(fifo);
    std::filesystem::remove(bare);
    std::filesystem::remove(packed);
}

TEST(ShowLoader, FindsABareShowByEveryPrefixFormOfItsSignature) {
    const std::string_view name = strings::Load(strings::kSignatureB);
    const auto n = static_cast<uint8_t>(name.size());
    std::vector<uint8_t> narrow(name.begin(), name.end());
    std::vector<uint8_t> wide;
    for (char c : name) wide.insert(wide.end(), {static_cast<uint8_t>(c), 0});
    struct Form {
        std::vector<uint8_t> prefix;
        const std::vector<uint8_t>& text;
    } forms[] = {
        {{n}, narrow},
        {{0xFF, n, 0}, narrow},
        {{0xFF, 0xFF, 0xFF, n, 0, 0, 0}, narrow},
        {{0xFF, 0xFE, 0xFF, n}, wide},
        {{0xFF, 0xFE, 0xFF, 0xFF, n, 0}, wide},
        {{0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, n, 0, 0, 0}, wide},
    };
    auto path = std::filesystem::temp_directory_path() / "showsaver-prefix-forms.show";
    for (const Form& form : forms) {
        ShowWriter writer;
        writer.WriteUInt32(7);
        writer.WriteBytes(form.prefix);
        writer.WriteBytes(form.text);
        writer.WriteFloat(4.5f);
        writer.WriteInt32(0);
        auto bytes = writer.TakeBytes();
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        ASSERT_EQ(*FindShowOffset(path), 0u) << form.prefix.size();
        ShowItemRegistry registry;
        ShowInfo info;
        auto loaded = LoadShowFile(path, 0, registry, registry.Items(), info, nullptr);
        ASSERT_TRUE(loaded) << loaded.Error().what;
        EXPECT_EQ(info.signature, 'B');
    }
    std::filesystem::remove(path);
}

// Embedded files of every scrambling shift and large ones (the last over
// several of the chunks the file is read in), loaded from a packed file,
// read back exactly. Small ones live in memory; large ones stay in the file,
// which is kept open: they outlive its name, and a file cut short takes only
// them away, each then failing to be read rather than read wrong.
TEST(ShowLoader, LargeEmbeddedFilesStayInTheirFileAndSmallOnesInMemory) {
    std::vector<std::unique_ptr<PictureItem>> pictures;
    std::vector<std::vector<uint8_t>> contents;
    std::vector<Item*> list;
    for (uint32_t size : {1u, 2u, 3u, 4u, 5u, 6u, 7u, 8u, 9u, 10u, 11u, 12u, 17u, 4096u, ShowReader::kLeftInFileFrom - 1,
                          ShowReader::kLeftInFileFrom, 300000u, 9437187u, 100u}) {
        std::vector<uint8_t> bytes(size);
        for (uint32_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(i * 7 + size);
        auto picture = std::make_unique<PictureItem>();
        auto block = std::make_unique_for_overwrite<uint8_t[]>(size);
        std::copy(bytes.begin(), bytes.end(), block.get());
        picture->image.Assign("file" + std::to_string(size), std::move(block), size);
        contents.push_back(std::move(bytes));
        list.push_back(picture.get());
        pictures.push_back(std::move(picture));
    }
    auto path = std::filesystem::temp_directory_path() / ("showsaver-embedded-" + std::to_string(::getpid()));
    const auto show = ShowOf(list);
    {
        std::ofstream file(path, std::ios::binary);
        std::vector<char> engine(kShowOffset, 'E');
        file.write(engine.data(), static_cast<std::streamsize>(engine.size()));
        file.write(reinterpret_cast<const char*>(show.data()), static_cast<std::streamsize>(show.size()));
    }
    ShowItemRegistry registry;
    ShowInfo info;
    ASSERT_TRUE(LoadShowFile(path, kShowOffset, registry, registry.Items(), info, nullptr));
    ASSERT_EQ(registry.Items().Size(), static_cast<int>(contents.size()));
    sys::FileDescriptor cutter(::open(path.c_str(), O_WRONLY | O_CLOEXEC));
    ASSERT_TRUE(cutter.IsValid());
    std::filesystem::remove(path);
    auto image = [&](size_t i) -> const EmbeddedFile& {
        return static_cast<const PictureItem&>(registry.Items().At(static_cast<int>(i))).image;
    };
    for (bool cut : {false, true}) {
        if (cut) {
            ASSERT_EQ(::ftruncate(cutter.Get(), 0), 0);
        }
        // Saved again, the show is the same bytes; with files that cannot be
        // read any more, it is none.
        EXPECT_EQ(SaveShow(registry.Items(), info), cut ? std::vector<uint8_t>{} : show);
        for (size_t i = 0; i < contents.size(); ++i) {
            const bool large = contents[i].size() >= ShowReader::kLeftInFileFrom;
            EXPECT_EQ(image(i).Name(), "file" + std::to_string(contents[i].size()));
            EXPECT_EQ(image(i).InMemory(), !large) << i;
            auto loaded = image(i).Contents();
            // A film's reader, asked for a part from a third of the way in
            // (which crosses a chunk of the largest), and for one byte too many.
            const auto read = image(i).Reader();
            const size_t size = contents[i].size();
            std::vector<uint8_t> part(std::min<size_t>(size - size / 3, 70000));
            const bool partRead = read(size / 3, part);
            std::vector<uint8_t> twoBytes(2);
            EXPECT_FALSE(read(size - 1, twoBytes)) << i;
            // The whole file through the reader a mebibyte at a time, as a
            // film is read while it plays.
            std::vector<uint8_t> whole(size);
            bool wholeRead = true;
            for (size_t done = 0, step; done < size && wholeRead; done += step) {
                step = std::min<size_t>(size - done, size_t{1} << 20);
                wholeRead = read(done, std::span(whole).subspan(done, step));
            }
            if (cut && large) {
                EXPECT_FALSE(loaded) << i;
                EXPECT_FALSE(partRead) << i;
                EXPECT_FALSE(wholeRead) << i;
                continue;
            }
            ASSERT_TRUE(loaded) << i;
            EXPECT_EQ(std::vector<uint8_t>(loaded->bytes.begin(), loaded->bytes.end()), contents[i]) << i;
            ASSERT_TRUE(partRead) << i;
            EXPECT_TRUE(std::equal(part.begin(), part.end(), contents[i].begin() + std::ssize(contents[i]) / 3)) << i;
            auto head = image(i).Head(5);
            ASSERT_TRUE(head) << i;
            EXPECT_TRUE(std::equal(head->bytes.begin(), head->bytes.end(), contents[i].begin(),
                                   contents[i].begin() + std::min<ptrdiff_t>(5, std::ssize(contents[i]))))
                << i;
            EXPECT_TRUE(wholeRead) << i;
            EXPECT_EQ(whole, contents[i]) << i;
        }
    }
}

} // namespace
} // namespace showsaver
