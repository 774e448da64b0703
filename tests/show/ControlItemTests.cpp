#include "links/WebLinkItem.h"
#include "media/MediaItem.h"
#include "media/MediaStopItem.h"
#include "show/ControlItems.h"
#include "show/Random.h"
#include "support/FakePlayer.h"
#include "support/ShowBytes.h"

#include <gtest/gtest.h>

namespace showsaver {
namespace {

using testing::CollectingSink;
using testing::FakePlayer;
using testing::LoadBytes;
using testing::ShowOf;

gfx::DeviceContext& NoContext() { return testing::UnusedContext(); }

// Plays a loaded list the way the scene thread walks it: enabled items in
// order, each free to move the position; returns the indices played.
std::vector<int> PlayList(ItemList& items, FakePlayer& player, size_t limit = 1000) {
    std::vector<int> played;
    for (int index = 0; index < items.Size() && !player.IsStopRequested() && played.size() < limit; ++index) {
        Item& item = items.At(index);
        if (item.IsDisabled()) continue;
        played.push_back(index);
        item.Play(NoContext(), index, player);
    }
    return played;
}

struct LoopShow {
    explicit LoopShow(int32_t repeatCount, int32_t forever = 0) {
        end.repeat.repeatCount = repeatCount;
        end.repeat.forever = forever;
        loaded = LoadBytes(ShowOf({&before, &start, &body, &end, &after}), &sink);
    }
    NoteItem before, body, after;
    LoopStartItem start;
    LoopEndItem end;
    CollectingSink sink;
    testing::Loaded loaded;
};

int Count(const std::vector<int>& played, int index) {
    return static_cast<int>(std::count(played.begin(), played.end(), index));
}

TEST(LoopEndItem, PlaysItsBlockRepeatCountTimes) {
    for (auto [count, expected] : {std::pair{3, 3}, {1, 1}, {0, 1}, {-4, 1}}) {
        LoopShow show(count);
        ASSERT_FALSE(show.loaded.error);
        FakePlayer player;
        auto played = PlayList(show.loaded.Items(), player);
        EXPECT_EQ(Count(played, 2), expected) << "repeat count " << count;
        EXPECT_EQ(Count(played, 0), 1);
        EXPECT_EQ(Count(played, 4), 1);
        EXPECT_EQ(Count(played, 1), 1) << "the start is not replayed";
    }
}

TEST(LoopEndItem, ForeverLoopsUntilStopped) {
    LoopShow show(1, 1);
    ASSERT_FALSE(show.loaded.error);
    FakePlayer player;
    auto played = PlayList(show.loaded.Items(), player, 100);
    EXPECT_EQ(played.size(), 100u);
    EXPECT_EQ(Count(played, 4), 0);
}

TEST(LoopEndItem, CountsAgainOnTheNextPassOfAnOuterLoop) {
    // outer start, inner start, body, inner end x2, outer end x3
    LoopStartItem outerStart, innerStart;
    NoteItem body;
    LoopEndItem innerEnd, outerEnd;
    innerEnd.repeat.repeatCount = 2;
    outerEnd.repeat.repeatCount = 3;
    CollectingSink sink;
    auto loaded = LoadBytes(ShowOf({&outerStart, &innerStart, &body, &innerEnd, &outerEnd}), &sink);
    ASSERT_FALSE(loaded.error);
    FakePlayer player;
    auto played = PlayList(loaded.Items(), player);
    EXPECT_EQ(Count(played, 2), 6);
    EXPECT_EQ(Count(played, 1), 3);
}

TEST(LoopEndItem, SkipsNestedPairsWhenFindingItsStart) {
    LoopStartItem outerStart, innerStart;
    LoopEndItem innerEnd, outerEnd;
    CollectingSink sink;
    auto loaded = LoadBytes(ShowOf({&outerStart, &innerStart, &innerEnd, &outerEnd}), &sink);
    ASSERT_FALSE(loaded.error);
    EXPECT_EQ(static_cast<LoopEndItem&>(loaded.Items().At(3)).repeat.jumpTarget, 1);
    EXPECT_EQ(static_cast<LoopEndItem&>(loaded.Items().At(2)).repeat.jumpTarget, 2);
}

TEST(LoopEndItem, WithoutAStartFailsTheLoadUnlessDisabled) {
    NoteItem note;
    LoopEndItem end;
    CollectingSink sink;
    EXPECT_TRUE(LoadBytes(ShowOf({&note, &end}), &sink).error);
    int32_t on = 1;
    end.SetDisabled(&on);
    auto loaded = LoadBytes(ShowOf({&note, &end}), &sink);
    EXPECT_FALSE(loaded.error);
    FakePlayer player;
    EXPECT_EQ(PlayList(loaded.Items(), player), std::vector<int>{0});
}

TEST(PauseItem, SleepsInStepsOfAHundredMilliseconds) {
    FakePlayer player;
    PauseItem pause;
    int index = 0;
    pause.duration.duration = 250;
    pause.Play(NoContext(), index, player);
    EXPECT_EQ(player.sleeps, (std::vector<uint32_t>{100, 100, 50}));

    player.sleeps.clear();
    pause.duration.duration = 300;
    pause.Play(NoContext(), index, player);
    EXPECT_EQ(player.sleeps, (std::vector<uint32_t>{100, 100, 100}));

    player.sleeps.clear();
    pause.duration.duration = -40;
    pause.Play(NoContext(), index, player);
    EXPECT_TRUE(player.sleeps.empty());
}

TEST(PauseItem, EndsEarlyOnAStopRequest) {
    FakePlayer player;
    player.stopAfterSleeps = 2;
    PauseItem pause;
    pause.duration.duration = 1050;
    int index = 0;
    pause.Play(NoContext(), index, player);
    EXPECT_EQ(player.sleeps, (std::vector<uint32_t>{100, 100}));
}

TEST(DurationProperty, RandomDurationsStayInRangeAndMoveByAtLeast150) {
    DurationProperty duration;
    duration.random = 1;
    for (uint32_t seed = 1; seed < 500; ++seed) {
        int32_t before = duration.duration;
        duration.ApplyRandomDuration(seed / 3);   // repeated seeds, as within one second
        EXPECT_GE(duration.duration, 0);
        EXPECT_LE(duration.duration, 3000);
        EXPECT_GE(std::abs(duration.duration - before), 150);
    }
    DurationProperty fixed;
    fixed.duration = 700;
    fixed.ApplyRandomDuration(9);
    EXPECT_EQ(fixed.duration, 700);
}

TEST(BackgroundItem, GivesTheWindowItsColourOrARandomOne) {
    FakePlayer player;
    BackgroundItem item;
    item.color.color = 0x123456;
    int index = 0;
    item.Play(NoContext(), index, player);
    EXPECT_EQ(player.window.backgrounds, std::vector<ColorRef>{0x123456});

    item.color.random = 1;
    for (int i = 0; i < 20; ++i) item.Play(NoContext(), index, player);
    for (ColorRef c : player.window.backgrounds) EXPECT_EQ(c & 0xFF000000u, 0u);
    // Random colours are drawn anew each time.
    std::sort(player.window.backgrounds.begin(), player.window.backgrounds.end());
    auto distinct = std::unique(player.window.backgrounds.begin(), player.window.backgrounds.end());
    EXPECT_GT(distinct - player.window.backgrounds.begin(), 5);
}

// Each media type reaches its own player, with the request as given; a
// type outside 0 to 4 reaches none.
TEST(MediaItem, PlaysAndStopsThroughThePlayerOfItsMediaType) {
    const std::pair<int32_t, const char*> cases[] = {{0, "wave"}, {1, "video"}, {2, "mp3"}, {3, "flash"},
                                                     {4, "midi"}, {5, nullptr},  {-1, nullptr}};
    for (auto [type, name] : cases) {
        MediaItem media;
        media.mediaType = type;
        auto bytes = std::make_unique<uint8_t[]>(3);
        std::copy_n(std::begin({uint8_t{1}, uint8_t{2}, uint8_t{3}}), 3, bytes.get());
        media.file.Assign("tune", std::move(bytes), 3);
        FakePlayer fake;
        media.PlayMedia(true, false, fake, {10, 20, 110, 70}, 1500);
        MediaStopItem stop;
        stop.SetSource(&media);
        int index = 0;
        stop.Play(NoContext(), index, fake);
        if (!name) {
            EXPECT_TRUE(fake.media.plays.empty() && fake.media.stops.empty()) << type;
            continue;
        }
        ASSERT_EQ(fake.media.plays.size(), 1u) << type;
        const auto& [player, play] = fake.media.plays[0];
        EXPECT_EQ(player, name);
        EXPECT_EQ(play.file, &media.file);
        EXPECT_EQ(play.name, "tune");
        EXPECT_EQ(play.area, (gfx::Rect{10, 20, 110, 70}));
        EXPECT_TRUE(play.wait);
        EXPECT_FALSE(play.loop);
        EXPECT_EQ(play.timeLimit, 1500);
        EXPECT_EQ(fake.media.stops, std::vector<std::string>{name});
    }
}

TEST(WebLinkItem, ArmsAndClearsTheLink) {
    FakePlayer player;
    WebLinkItem arm;
    arm.address.text = "https://example.org/";
    arm.keyMode = 2;
    WebLinkItem clear;
    clear.clear = 1;
    int index = 0;
    arm.Play(NoContext(), index, player);
    ASSERT_TRUE(player.window.armed);
    EXPECT_EQ(player.window.armed->first, "https://example.org/");
    EXPECT_EQ(player.window.armed->second, 2);
    clear.Play(NoContext(), index, player);
    EXPECT_FALSE(player.window.armed);
    EXPECT_EQ(WebLinkItem().address.text, "http://");
}

TEST(RangeRandom, FollowsItsRangeRules) {
    RangeRandom random;
    random.Seed(42);
    EXPECT_FALSE(random.SetRange(5, 5));
    EXPECT_EQ(random.Low(), 0);
    EXPECT_EQ(random.High(), 32767);
    ASSERT_TRUE(random.SetRange(-5000, 5000));
    for (int i = 0; i < 10000; ++i) {
        int32_t v = random.Next();
        EXPECT_GE(v, -5000);
        EXPECT_LE(v, 5001);
    }
    ASSERT_TRUE(random.SetRange(0, 0));
    EXPECT_EQ(random.High(), 32767);

    // The same seed gives the same numbers.
    RangeRandom a, b;
    a.Seed(7);
    b.Seed(7);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(a.Next(), b.Next());
}

TEST(CRand, MatchesTheClassicGenerator) {
    CRand rand(1);
    EXPECT_EQ(rand.Next(), 41);
    EXPECT_EQ(rand.Next(), 18467);
    EXPECT_EQ(rand.Next(), 6334);
    EXPECT_EQ(rand.Next(), 26500);
}

} // namespace
} // namespace showsaver
