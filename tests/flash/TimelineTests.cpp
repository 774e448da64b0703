// The timeline through the player: placements moving frame by frame, the
// three containers, loop on and off, stop, sprites, gotos and labels.

#include "tests/flash/FlashTestSupport.h"

namespace showsaver::flash::test {
namespace {

constexpr uint32_t kRed = 0xFF0000, kBlue = 0x0000FF, kWhite = 0xFFFFFF, kGreen = 0x00FF00;

// A 100 × 100 px stage; a 20 px red square that moves 10 px right per frame.
SwfWriter MovingSquare(int frames) {
    SwfWriter w(100, 100, 12, frames);
    w.Background(kWhite);
    w.Tag(32, RectShape(1, 0, 0, 400, 400, Solid(kRed)));
    for (int f = 0; f < frames; ++f) {
        w.Place(1, f == 0 ? 1 : -1, f * 200, 600, f > 0);
        w.ShowFrame();
    }
    w.End();
    return w;
}

TEST(FlashTimeline, SquareMovesTenPixelsPerFrameInEveryContainer) {
    SwfWriter movie = MovingSquare(5);
    std::vector<gfx::Surface> fws;
    for (const Bytes& file : {movie.Fws(), movie.Cws(), movie.Zws()}) {
        auto player = Open(file);
        ASSERT_EQ(player->TotalFrames(), 5);
        EXPECT_EQ(player->StageSize().width, 100);
        for (int frame = 0; frame < 5; ++frame) {
            if (frame > 0) player->Tick();
            ASSERT_EQ(player->CurrentFrame(), frame);
            gfx::Surface s = Paint(*player, 100, 100);
            int left = frame * 10;
            EXPECT_TRUE(Near(s.Pixel(left + 1, 31), kRed)) << "frame " << frame;
            EXPECT_TRUE(Near(s.Pixel(left + 18, 48), kRed)) << "frame " << frame;
            EXPECT_TRUE(Near(s.Pixel(left + 21, 40), kWhite)) << "frame " << frame;
            if (left > 0) {
                EXPECT_TRUE(Near(s.Pixel(left - 2, 40), kWhite)) << "frame " << frame;
            }
            if (fws.size() < 5) {
                fws.push_back(std::move(s));
                continue;
            }
            for (int y = 0; y < 100; ++y)
                for (int x = 0; x < 100; ++x) ASSERT_EQ(s.Pixel(x, y), fws[frame].Pixel(x, y));
        }
    }
}

TEST(FlashTimeline, ShowAllCentresTheStageAndFillsAroundWithTheBackground) {
    auto player = Open(MovingSquare(1).Fws());
    gfx::Surface s = Paint(*player, 300, 100);   // the stage is drawn 100 px wide, from x = 100
    EXPECT_TRUE(Near(s.Pixel(105, 35), kRed));
    EXPECT_TRUE(Near(s.Pixel(95, 35), kWhite));
    gfx::Surface big = Paint(*player, 200, 400);  // 200 px wide at 2×, from y = 100
    EXPECT_TRUE(Near(big.Pixel(10, 100 + 70), kRed));
    EXPECT_TRUE(Near(big.Pixel(10, 100 + 50), kWhite));
}

TEST(FlashTimeline, FrameNumbersThroughWholeLoopsWithLoopOnAndOff) {
    struct Case { bool loop; std::vector<int> frames; bool playingAtEnd; };
    const Case cases[] = {
        {true, {0, 1, 2, 3, 0, 1, 2, 3, 0}, true},
        {false, {0, 1, 2, 3, 3, 3, 3, 3, 3}, false},
    };
    for (const Case& c : cases) {
        auto player = Open(MovingSquare(4).Cws());
        player->SetLoop(c.loop);
        std::vector<int> seen{player->CurrentFrame()};
        for (size_t i = 1; i < c.frames.size(); ++i) player->Tick(), seen.push_back(player->CurrentFrame());
        EXPECT_EQ(seen, c.frames) << "loop " << c.loop;
        EXPECT_EQ(player->TotalFrames(), 4);
        EXPECT_EQ(player->IsPlaying(), c.playingAtEnd);
    }
}

TEST(FlashTimeline, LoopingBackRebuildsTheFirstFrame) {
    auto player = Open(MovingSquare(3).Fws());
    gfx::Surface first = Paint(*player, 100, 100);
    for (int i = 0; i < 3; ++i) player->Tick();
    ASSERT_EQ(player->CurrentFrame(), 0);
    gfx::Surface again = Paint(*player, 100, 100);
    for (int y = 0; y < 100; y += 3)
        for (int x = 0; x < 100; x += 3) ASSERT_EQ(first.Pixel(x, y), again.Pixel(x, y));
}

TEST(FlashTimeline, ClockStepsOneFramePerSlotAndDropsLateTime) {
    auto player = Open(MovingSquare(100).Fws());   // 12 fps: a slot of 83.3 ms
    using namespace std::chrono;
    auto t0 = Player::Clock::time_point{} + seconds(100);
    player->Advance(t0);
    EXPECT_EQ(player->CurrentFrame(), 0);
    player->Advance(t0 + milliseconds(80));
    EXPECT_EQ(player->CurrentFrame(), 0);
    player->Advance(t0 + milliseconds(84));
    EXPECT_EQ(player->CurrentFrame(), 1);
    player->Advance(t0 + seconds(2));   // far behind: one step, and the missed time is gone
    EXPECT_EQ(player->CurrentFrame(), 2);
    EXPECT_EQ(player->NextFrameTime(), t0 + seconds(2) + nanoseconds(83'333'333));
    player->Stop();
    player->Advance(t0 + seconds(3));
    EXPECT_EQ(player->CurrentFrame(), 2);
}

// Actions: a byte code, and for those with data a u16 length.
Bytes Op(uint8_t code, const Bytes& data = {}) {
    Bytes out{code};
    if (code >= 0x80) out.push_back(uint8_t(data.size())), out.push_back(uint8_t(data.size() >> 8));
    out.insert(out.end(), data.begin(), data.end());
    return out;
}
Bytes Str(const std::string& s) { Bytes b(s.begin(), s.end()); b.push_back(0); return b; }
Bytes operator+(Bytes a, const Bytes& b) { a.insert(a.end(), b.begin(), b.end()); return a; }

// A sprite of 4 frames that moves a square 10 px per frame, optionally
// stopping itself on its first frame.
Bytes MoverSprite(uint16_t id, bool stopsAtOnce = false) {
    SwfWriter sprite(0, 0, 0, 0);
    for (int f = 0; f < 4; ++f) {
        sprite.Place(1, f == 0 ? 1 : -1, f * 200, 0, f > 0);
        if (f == 0 && stopsAtOnce) sprite.Actions(Op(0x07));
        sprite.ShowFrame();
    }
    sprite.End();
    Bits def;
    def.U16(id), def.U16(4), def.Append(sprite.Tags());
    return def.Data();
}

// The mover placed by itself, inside a button's up state (DefineButton2),
// or stopping itself, in a root whose first frame stops the root.
TEST(FlashTimeline, SpritePlaysOnWhileTheRootIsStopped) {
    struct Case { const char* what; int placed; bool moves; };
    const Case cases[] = {{"a sprite", 2, true}, {"a sprite in a button", 3, true}, {"a sprite that stops itself", 4, false}};
    for (const Case& c : cases) {
        SwfWriter w(100, 100, 12, 2);
        w.Background(kWhite);
        w.Tag(32, RectShape(1, 0, 0, 200, 200, Solid(kBlue)));
        w.Tag(39, MoverSprite(2));
        Bits button;
        button.U16(3), button.U8(0), button.U16(0);
        button.U8(0x01), button.U16(2), button.U16(1), button.Translate(0, 0), button.Put(0, 1), button.Put(0, 1), button.Put(0, 4);
        button.U8(0);
        w.Tag(34, button.Data());
        w.Tag(39, MoverSprite(4, true));
        w.Place(1, c.placed, 0, 0, false, -1, 0, "mover");
        w.Actions(Op(0x07));
        w.ShowFrame();
        w.ShowFrame();
        w.End();
        auto player = Open(w.Fws());
        for (int step = 0; step < 6; ++step) {
            gfx::Surface s = Paint(*player, 100, 100);
            EXPECT_EQ(player->CurrentFrame(), 0);
            int x = (c.moves ? step % 4 : 0) * 10 + 5;
            EXPECT_TRUE(Near(s.Pixel(x, 5), kBlue)) << c.what << ", step " << step;
            EXPECT_TRUE(Near(s.Pixel(x + 10, 5), kWhite)) << c.what << ", step " << step;
            player->Tick();
        }
    }
}

// Frame 0 jumps by the action, the others show a square at x = 10 × frame.
TEST(FlashTimeline, GotoFrameGotoLabelAndGotoFrame2) {
    struct Case { const char* what; Bytes code; int frame; bool playing; };
    const Case cases[] = {
        {"GotoFrame 3, Stop", Op(0x81, {3, 0}) + Op(0x07), 3, false},
        {"GotoLabel far, Stop", Op(0x8C, Str("Far")) + Op(0x07), 4, false},
        {"Push 3, GotoFrame2 play", Op(0x96, Bytes{7, 3, 0, 0, 0}) + Op(0x9F, {1}), 2, true},
        {"Push \"far\", GotoFrame2 stop", Op(0x96, Bytes{0} + Str("far")) + Op(0x9F, {0}), 4, false},
        {"NextFrame", Op(0x04), 2, false},
        {"PrevFrame", Op(0x05), 0, false},
        {"Push \"4\", GotoFrame2 with a bias of 1", Op(0x96, Bytes{0} + Str("4")) + Op(0x9F, {2, 1, 0}), 4, false},
        // Branches: an If whose condition holds jumps over the goto after it.
        {"If true skips a GotoFrame", Op(0x96, {5, 1}) + Op(0x9D, {5, 0}) + Op(0x81, {5, 0}) + Op(0x81, {3, 0}), 3, true},
        {"If false runs it", Op(0x96, {5, 0}) + Op(0x9D, {5, 0}) + Op(0x81, {5, 0}) + Op(0x07), 5, false},
        {"Jump over a GotoFrame", Op(0x99, {5, 0}) + Op(0x81, {5, 0}) + Op(0x81, {2, 0}), 2, true},
        {"Jump out of the block ends it", Op(0x99, {0x40, 0}) + Op(0x81, {5, 0}), 1, true},
        {"An endless loop of Jumps ends the step, not the player", Op(0x99, {0xFB, 0xFF}) + Op(0x81, {5, 0}), 1, true},
        // if (_currentframe == 2) gotoAndStop(5)
        {"_currentframe compared", Op(0x96, Bytes{0} + Str("_currentframe")) + Op(0x1C) + Op(0x96, {7, 2, 0, 0, 0}) +
             Op(0x49) + Op(0x12) + Op(0x9D, {12, 0}) + Op(0x96, {7, 5, 0, 0, 0}) + Op(0x9F, {0}), 4, false},
        // Actions we only keep the stack for, and ones we do not know, between a Push and its GotoFrame2.
        {"SetVariable, Trace and unknown actions between", Op(0x96, {7, 3, 0, 0, 0}) + Op(0x96, Bytes{0} + Str("x") + Bytes{7, 9, 0, 0, 0}) +
             Op(0x1D) + Op(0x96, Bytes{0} + Str("hi")) + Op(0x26) + Op(0x7F) + Op(0xC4, {1, 2, 3}) + Op(0x9F, {1}), 2, true},
        // function f() { gotoAndStop(6); } gotoAndPlay(4): the body is not run.
        {"A function's body is stepped over", Op(0x9B, Str("f") + Bytes{0, 0, 6, 0}) + Op(0x81, {5, 0}) + Op(0x07) +
             Op(0x81, {3, 0}) + Op(0x06), 3, true},
    };
    for (const Case& c : cases) {
        SwfWriter w(100, 100, 12, 6);
        w.Background(kWhite);
        w.Tag(32, RectShape(1, 0, 0, 200, 200, Solid(kGreen)));
        for (int f = 0; f < 6; ++f) {
            if (f == 4) w.Label("far");
            w.Place(1, f == 0 ? 1 : -1, f * 200, 0, f > 0);
            if (f == 1) w.Actions(c.code);
            w.ShowFrame();
        }
        w.End();
        auto player = Open(w.Fws());
        player->Tick();
        EXPECT_EQ(player->CurrentFrame(), c.frame) << c.what;
        EXPECT_EQ(player->IsPlaying(), c.playing) << c.what;
        gfx::Surface s = Paint(*player, 100, 100);
        EXPECT_TRUE(Near(s.Pixel(c.frame * 10 + 5, 5), kGreen)) << c.what;
    }
}

// The root's frame 1 acts on the mover sprite; the root plays on, looping.
TEST(FlashTimeline, TellTargetActsOnTheNamedSpriteOnly) {
    struct Case { const char* what; Bytes code; int spriteFrame; };
    const Case cases[] = {
        {"SetTarget, Stop", Op(0x8B, Str("/mover")) + Op(0x07) + Op(0x8B, Str("")), 1},
        {"SetTarget, Push 3, GotoFrame2", Op(0x8B, Str("mover")) + Op(0x96, {7, 3, 0, 0, 0}) + Op(0x9F, {0}) + Op(0x8B, Str("")), 2},
        {"Push \"/mover:4\", GotoFrame2", Op(0x96, Bytes{0} + Str("/mover:4")) + Op(0x9F, {0}), 3},
        {"SetTarget2 \"_root.mover\", NextFrame", Op(0x96, Bytes{0} + Str("_root.mover")) + Op(0x20) + Op(0x04), 2},
        {"SetTarget to no sprite, Stop", Op(0x8B, Str("nobody")) + Op(0x07) + Op(0x8B, Str("")), -1},
    };
    for (const Case& c : cases) {
        SwfWriter w(100, 100, 12, 3);
        w.Tag(32, RectShape(1, 0, 0, 200, 200, Solid(kBlue)));
        w.Tag(39, MoverSprite(2));
        w.Place(1, 2, 0, 0, false, -1, 0, "mover");
        w.ShowFrame();
        w.Actions(c.code);
        w.ShowFrame();
        w.ShowFrame();
        w.End();
        auto player = Open(w.Fws());
        player->Tick();
        EXPECT_EQ(player->CurrentFrame(), 1) << c.what;
        EXPECT_TRUE(player->IsPlaying()) << c.what;
        int frame = c.spriteFrame >= 0 ? c.spriteFrame : 1;   // untouched, it is on its frame 1 too
        gfx::Surface s = Paint(*player, 100, 100);
        EXPECT_TRUE(Near(s.Pixel(frame * 10 + 5, 5), kBlue)) << c.what;
        EXPECT_TRUE(Near(s.Pixel(frame * 10 + 15, 5), kWhite)) << c.what;
    }
}

// A second sprite's first frame tells the mover, its sibling, to stop.
TEST(FlashTimeline, TellTargetFromASpriteReachesItsSibling) {
    for (const char* path : {"../mover", "_parent.mover", "_root.mover", "/mover"}) {
        SwfWriter w(100, 100, 12, 2);
        w.Background(kWhite);
        w.Tag(32, RectShape(1, 0, 0, 200, 200, Solid(kBlue)));
        w.Tag(39, MoverSprite(2));
        SwfWriter teller(0, 0, 0, 0);
        teller.Actions(Op(0x8B, Str(path)) + Op(0x07) + Op(0x8B, Str("")));
        teller.ShowFrame();
        teller.End();
        Bits def;
        def.U16(3), def.U16(1), def.Append(teller.Tags());
        w.Tag(39, def.Data());
        w.Place(1, 2, 0, 0, false, -1, 0, "mover");
        w.Place(2, 3, 0, 0);
        w.ShowFrame();
        w.ShowFrame();
        w.End();
        auto player = Open(w.Fws());
        for (int i = 0; i < 3; ++i) player->Tick();
        gfx::Surface s = Paint(*player, 100, 100);
        EXPECT_TRUE(Near(s.Pixel(5, 5), kBlue)) << path;
        EXPECT_TRUE(Near(s.Pixel(15, 5), kWhite)) << path;
    }
}

// A sprite's first frame sends the root back to its frame 0, which removes
// the sprite; the rest of the sprite's actions then act on nothing.
TEST(FlashTimeline, ActionsOfASpriteThatAGotoRemovedActOnNothing) {
    SwfWriter w(100, 100, 12, 3);
    SwfWriter sprite(0, 0, 0, 0);
    sprite.Actions(Op(0x8B, Str("/")) + Op(0x81, {0, 0}) + Op(0x8B, Str("")) + Op(0x07) + Op(0x04));
    sprite.ShowFrame();
    sprite.ShowFrame();
    sprite.End();
    Bits def;
    def.U16(2), def.U16(2), def.Append(sprite.Tags());
    w.Tag(39, def.Data());
    w.ShowFrame();
    w.Place(1, 2, 0, 0, false, -1, 0, "back");
    w.Place(2, 2, 0, 0, false, -1, 0, "again");
    w.ShowFrame();
    w.ShowFrame();
    w.End();
    auto player = Open(w.Fws());
    for (int i = 0; i < 4; ++i) {
        player->Tick();
        EXPECT_EQ(player->CurrentFrame(), 0);
        EXPECT_TRUE(player->IsPlaying());
    }
}

// What a depth shows when a later frame places onto it, and which
// background colour the stage keeps.
TEST(FlashTimeline, DisplayListKeepsWhatFlashKeeps) {
    struct Case {
        const char* what;
        bool move;
        uint32_t secondBackground;
        uint32_t square, corner;
    };
    const Case cases[] = {
        {"a placement onto a taken depth is ignored", false, kBlue, kRed, kWhite},
        {"a move with a character replaces what the depth shows", true, kBlue, kBlue, kWhite},
    };
    for (const Case& c : cases) {
        SwfWriter w(100, 100, 12, 2);
        w.Background(kWhite);
        w.Tag(32, RectShape(1, 0, 0, 400, 400, Solid(kRed)));
        w.Tag(32, RectShape(2, 0, 0, 400, 400, Solid(kBlue)));
        w.Place(1, 1, 0, 0);
        w.ShowFrame();
        w.Background(c.secondBackground);   // the first one set the stage's colour for good
        w.Place(1, 2, 0, 0, c.move);
        w.ShowFrame();
        w.End();
        auto player = Open(w.Fws());
        player->Tick();
        gfx::Surface s = Paint(*player, 100, 100);
        EXPECT_TRUE(Near(s.Pixel(10, 10), c.square)) << c.what;
        EXPECT_TRUE(Near(s.Pixel(90, 90), c.corner)) << c.what;
    }
}

TEST(FlashTimeline, FrameRateIsBounded) {
    const std::pair<double, double> cases[] = {{0, 12}, {0.5, 1}, {24, 24}, {250, 120}};
    for (auto [stored, played] : cases) {
        SwfWriter w(10, 10, stored, 1);
        w.ShowFrame();
        w.End();
        EXPECT_EQ(Open(w.Fws())->FrameRate(), played) << stored;
    }
}

// By GetURL, or by GetURL2 with the address pushed; any other address is
// ignored.
TEST(FlashTimeline, QuitCommandStopsTheMovieForGood) {
    struct Case { const char* what; Bytes code; bool quits; };
    const Case cases[] = {
        {"GetURL", Op(0x83, Str("FSCommand:quit") + Str("")), true},
        {"GetURL2", Op(0x96, Bytes{0} + Str("fscommand:QUIT") + Bytes{0} + Str("")) + Op(0x9A, {0}), true},
        {"GetURL of a page", Op(0x83, Str("http://example.org/") + Str("_blank")), false},
    };
    for (const Case& c : cases) {
        SwfWriter w(100, 100, 12, 3);
        w.ShowFrame();
        w.Actions(c.code);
        w.ShowFrame();
        w.ShowFrame();
        w.End();
        auto player = Open(w.Fws());
        player->Tick();
        EXPECT_EQ(player->HasQuit(), c.quits) << c.what;
        player->Play();
        player->Tick();
        EXPECT_EQ(player->CurrentFrame(), c.quits ? 1 : 2) << c.what;
    }
}

} // namespace
} // namespace showsaver::flash::test
