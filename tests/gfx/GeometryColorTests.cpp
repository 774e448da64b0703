#include "gfx/Color.h"
#include "gfx/Geometry.h"
#include "show/ScenePlayer.h"

#include <gtest/gtest.h>

#include <climits>
#include <type_traits>

namespace showsaver::gfx {
namespace {

static_assert(std::is_same_v<gfx::ColorRef, showsaver::ColorRef>);

TEST(Rect, RightAndBottomAreExclusive) {
    Rect r = Rect::FromSize(2, 3, 4, 5);
    EXPECT_EQ(r, (Rect{2, 3, 6, 8}));
    EXPECT_TRUE(r.Contains({5, 7}));
    EXPECT_FALSE(r.Contains({6, 7}));
    EXPECT_FALSE(r.Contains({5, 8}));
    EXPECT_EQ(r.Width(), 4);
    EXPECT_EQ(r.Height(), 5);
}

TEST(Rect, NegativeAndZeroSizesAreEmpty) {
    EXPECT_TRUE(Rect::FromSize(0, 0, 0, 5).IsEmpty());
    EXPECT_TRUE(Rect::FromSize(0, 0, 5, 0).IsEmpty());
    EXPECT_TRUE(Rect::FromSize(10, 10, -3, 5).IsEmpty());
    EXPECT_TRUE((Rect{5, 5, 2, 9}).IsEmpty());
    EXPECT_FALSE(Rect::FromSize(0, 0, 1, 1).IsEmpty());
}

TEST(Rect, IntersectedCopiesAndIntersectMutates) {
    const Rect a{0, 0, 10, 10};
    Rect b{5, -5, 20, 7};
    EXPECT_EQ(a.Intersected(b), (Rect{5, 0, 10, 7}));
    EXPECT_EQ(b, (Rect{5, -5, 20, 7}));   // untouched
    b.Intersect(a);
    EXPECT_EQ(b, (Rect{5, 0, 10, 7}));
    // Touching rectangles share no pixel.
    EXPECT_TRUE(a.Intersected(Rect{10, 0, 20, 10}).IsEmpty());
    EXPECT_EQ(a.Intersected(Rect{10, 0, 20, 10}), Rect{});
}

TEST(Rect, ExtremeCoordinatesSaturateInsteadOfOverflowing) {
    Rect r = Rect::FromSize(INT_MAX - 1, INT_MIN, 100, -100);
    EXPECT_EQ(r.right, INT_MAX);
    EXPECT_EQ(r.bottom, INT_MIN);
    EXPECT_TRUE(r.IsEmpty());
    Rect wide{INT_MIN, 0, INT_MAX, 1};
    EXPECT_EQ(wide.Width(), INT_MAX);
    EXPECT_EQ(wide.Translated(INT_MAX, 0).right, INT_MAX);
    EXPECT_EQ(wide.Translated(INT_MIN, 0).left, INT_MIN);
    EXPECT_EQ(wide.Inflated(5).left, INT_MIN);
}

TEST(Color, ColorRefAndXrgbSwapRedAndBlue) {
    EXPECT_EQ(ToXrgb(Rgb(0x12, 0x34, 0x56)), 0x123456u);
    EXPECT_EQ(Rgb(0x12, 0x34, 0x56), 0x563412u);
    EXPECT_EQ(ToColorRef(0x123456), Rgb(0x12, 0x34, 0x56));
    // The flag byte of a ColorRef and the unused byte of a pixel are ignored.
    EXPECT_EQ(ToXrgb(0x02563412), 0x123456u);
    EXPECT_EQ(ToColorRef(0xFF123456), 0x563412u);
    EXPECT_EQ(ToXrgb(kWindowColor), 0xFFFFFFu);
    EXPECT_EQ(ToXrgb(kWindowTextColor), 0u);
}

TEST(DesktopBackgroundColor, ParsesThreeDecimalComponents) {
    EXPECT_EQ(DesktopBackgroundColor("0 78 152"), Rgb(0, 78, 152));
    EXPECT_EQ(DesktopBackgroundColor("255 255 255"), Rgb(255, 255, 255));
    EXPECT_EQ(DesktopBackgroundColor("  58\t110  165 "), Rgb(58, 110, 165));
}

TEST(DesktopBackgroundColor, AbsentOrMalformedIsBlack) {
    for (const char* bad : {"", "1 2", "1 2 3 4", "256 0 0", "1,2,3", "a b c", "1 2 3x", "-1 2 3", "123456789012 0 0",
                            "12 3"}) {
        EXPECT_EQ(DesktopBackgroundColor(std::string(bad)), 0u) << bad;
    }
    EXPECT_EQ(DesktopBackgroundColor(std::nullopt), 0u);
}

} // namespace
} // namespace showsaver::gfx
