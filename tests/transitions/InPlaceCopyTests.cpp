// The wipes and cell grids that copy only what a frame changes, played side
// by side with the same effects copying their whole pattern in every frame
// (FullFrameWipes.h): on two memory screens, at several sizes and places,
// including pictures cut by the screen's edges, both take the same pauses
// and leave the same screen after every one of them and at the end.

#include "FullFrameWipes.h"
#include "support/EffectHarness.h"
#include "transitions/Families.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace showsaver::testing {
namespace {

// A pause as seen from outside: its arguments and what the screen showed.
struct Seen {
    uint32_t elapsed;
    double total;
    uint64_t screen;
    bool operator==(const Seen&) const = default;
};

uint64_t Fingerprint(const gfx::Surface& surface) {
    uint64_t hash = 1469598103934665603ull;
    for (int y = 0; y < surface.Height(); ++y)
        for (int x = 0; x < surface.Width(); ++x) hash = (hash ^ surface.Row(y)[x]) * 1099511628211ull;
    return hash;
}

class WatchingPacer final : public TransitionPacer {
public:
    explicit WatchingPacer(const gfx::Surface& screen) : m_screen(screen) {}
    void CalibratedWait(uint32_t elapsed, double total) override {
        seen.push_back({elapsed, total, Fingerprint(m_screen)});
    }
    bool IsStopRequested() const override { return false; }
    void Sleep(uint32_t) override {}
    uint32_t Times() const override { return 100000; }
    uint32_t TickCount() const override { return 0; }

    std::vector<Seen> seen;

private:
    const gfx::Surface& m_screen;
};

struct Placement {
    gfx::Size screen;
    gfx::Point at;
    int w, h;
};

// One side: a screen showing the old picture, the new one in a work surface.
struct Side {
    std::shared_ptr<gfx::Surface> surface;
    std::vector<EffectStep> log;
    std::unique_ptr<RecordingContext> screen;
    std::unique_ptr<gfx::DeviceContext> work;
    WatchingPacer pacer;

    explicit Side(const Placement& p)
        : surface(std::make_shared<gfx::Surface>(p.screen.width, p.screen.height)),
          screen(std::make_unique<RecordingContext>(surface, log)), pacer(*surface) {
        for (int y = 0; y < surface->Height(); ++y)
            for (int x = 0; x < surface->Width(); ++x) surface->Row(y)[x] = OldPixel(x, y);
        auto picture = gfx::Surface::Create(p.w, p.h);
        for (int y = 0; y < p.h; ++y)
            for (int x = 0; x < p.w; ++x) picture->Row(y)[x] = NewPixel(x, y);
        work = screen->CreateCompatible();
        work->SelectBitmap(std::move(picture));
        screen->SetWork(work.get());
    }
    TransitionFrame Frame(const Placement& p, int32_t speed) {
        return TransitionFrame{*screen, *work, pacer, p.at.x, p.at.y, p.w, p.h, speed, 1000.0,
                               (1100 - speed) / 1000 + 2, 2 * speed, nullptr};
    }
    int64_t CopiedArea() const {
        int64_t area = 0;
        for (const EffectStep& step : log)
            if (step.kind == EffectStep::Kind::Copy)
                area += int64_t{step.destination.Width()} * step.destination.Height();
        return area;
    }
};

constexpr int32_t kEffects[] = {8, 10, 33, 34, 35, 36, 52, 57, 58, 59, 60, 61, 62, 63, 64, 67, 68, 69, 70, 77, 78, 79, 81, 82, 83, 84, 85, 86, 87, 71, 72, 73, 74};

std::vector<Placement> Placements() {
    std::vector<Placement> placements;
    for (gfx::Size size : {gfx::Size{1, 1}, gfx::Size{5, 5}, gfx::Size{9, 6}, gfx::Size{2, 17}, gfx::Size{20, 16},
                           gfx::Size{37, 23}, gfx::Size{23, 37}, gfx::Size{100, 30}, gfx::Size{41, 123}})
        placements.push_back({{size.width + 14, size.height + 9}, {7, 4}, size.width, size.height});
    // Cut by the screen's right and bottom edges, and lying over its left
    // and top edges.
    placements.push_back({{70, 50}, {30, 20}, 61, 47});
    placements.push_back({{70, 50}, {-13, -9}, 64, 40});
    return placements;
}

TEST(InPlaceCopies, EveryFrameLeavesTheScreenOfTheFullFrameCopies) {
    for (int32_t number : kEffects)
        for (const Placement& p : Placements())
            for (int32_t speed : {1000, 300}) {
                std::string what = std::to_string(number) + " on " + std::to_string(p.w) + "x" + std::to_string(p.h) +
                                   " at " + std::to_string(p.at.x) + "," + std::to_string(p.at.y);
                Side full(p), ours(p);
                ASSERT_TRUE(full_frame::Play(number, full.Frame(p, speed))) << what;
                FamilyPlayer(number)(number, ours.Frame(p, speed));
                ASSERT_EQ(ours.pacer.seen.size(), full.pacer.seen.size()) << what;
                for (size_t i = 0; i < full.pacer.seen.size(); ++i)
                    ASSERT_EQ(ours.pacer.seen[i], full.pacer.seen[i]) << what << ", pause " << i;
                ASSERT_EQ(Fingerprint(*ours.surface), Fingerprint(*full.surface)) << what << ", at the end";
                // Nothing that is in place already is copied again: at most
                // a few lines more than the picture itself (the corners that
                // two of a frame's pieces share). The rolling wipes' band,
                // the uncovers' old picture and the strips move in every
                // frame and are not held to it.
                int64_t budget = int64_t{p.w} * p.h + 2 * (p.w + p.h) + 40;
                bool moving = number >= 82 || number == 10 || (number >= 33 && number <= 36) ||
                              (number >= 71 && number <= 74);
                if (!moving) {
                    EXPECT_LE(ours.CopiedArea(), budget) << what;
                }
            }
}

} // namespace
} // namespace showsaver::testing
