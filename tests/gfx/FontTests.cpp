#include "gfx/Font.h"
#include "gfx/SurfaceContext.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

namespace showsaver::gfx {
namespace {

bool IsSansStandIn(const std::string& family) { return family == "Liberation Sans" || family == "DejaVu Sans"; }

TEST(FontResolution, WindowsFacesResolveToInstalledFonts) {
    auto arial = Font::Create(FontSpec("Arial", -13));
    ASSERT_TRUE(arial);
    EXPECT_EQ(arial->ResolvedFamily(), "Liberation Sans");   // fontconfig's metric alias
    auto msSans = Font::Create(FontSpec("MS Sans Serif", -11));
    ASSERT_TRUE(msSans);
    EXPECT_TRUE(IsSansStandIn(msSans->ResolvedFamily())) << msSans->ResolvedFamily();
    auto times = Font::Create(FontSpec("Times New Roman", -13));
    ASSERT_TRUE(times);
    EXPECT_EQ(times->ResolvedFamily(), "Liberation Serif");
    for (const char* face : {"", "No Such Face", "ms sans serif", "  Arial  ", "A,rial", "\xff\xfe"}) {
        auto font = Font::Create(FontSpec(face, -12));
        ASSERT_TRUE(font) << face;
        EXPECT_TRUE(IsSansStandIn(font->ResolvedFamily())) << face << " -> " << font->ResolvedFamily();
    }
}

TEST(FontHeight, NegativeHeightIsTheCharacterHeight) {
    auto font = Font::Create(FontSpec("Arial", -40));
    ASSERT_TRUE(font);
    EXPECT_EQ(font->EmHeight(), 40);
    const FontMetrics& m = font->Metrics();
    EXPECT_EQ(m.height, m.ascent + m.descent);
    // Liberation Sans has a cell of about 1.15 em.
    EXPECT_GE(m.height, 44);
    EXPECT_LE(m.height, 48);
    EXPECT_EQ(m.internalLeading, m.height - 40);
}

TEST(FontHeight, PositiveHeightIsTheCellHeight) {
    for (int height : {8, 11, 20, 40, 97}) {
        auto font = Font::Create(FontSpec("Arial", height));
        ASSERT_TRUE(font);
        EXPECT_LE(font->Metrics().height, height);
        EXPECT_GE(font->Metrics().height, height - 1);
        EXPECT_LT(font->EmHeight(), height);
    }
    // A cell height of 40 is a smaller font than a character height of 40.
    auto cell = Font::Create(FontSpec("Arial", 40));
    auto character = Font::Create(FontSpec("Arial", -40));
    EXPECT_LT(cell->Metrics().height, character->Metrics().height);
}

TEST(FontHeight, ZeroIsTheDefaultAndExtremesAreClamped) {
    auto standard = Font::Create(FontSpec("Arial", 0));
    ASSERT_TRUE(standard);
    EXPECT_LE(standard->Metrics().height, Font::kDefaultCellHeight);
    EXPECT_GE(standard->Metrics().height, Font::kDefaultCellHeight - 1);
    for (int height : {INT_MIN, INT_MAX, -1, 1}) {
        auto font = Font::Create(FontSpec("Arial", height));
        ASSERT_TRUE(font) << height;
        EXPECT_LE(font->EmHeight(), Font::kMaxHeight);
        EXPECT_GE(font->Metrics().height, 1);
    }
}

TEST(FontStyle, WeightItalicAndMetrics) {
    auto dc = SurfaceContext::ForMemory({640, 480});
    auto widthWith = [&](FontSpec request) {
        dc->SelectFont(Font::Create(request));
        return dc->GetTextExtent("Screensaver").width;
    };
    EXPECT_GT(widthWith(FontSpec("Arial", -20, 700)), widthWith(FontSpec("Arial", -20, 0)));
    EXPECT_EQ(widthWith(FontSpec("Arial", -20, 0)), widthWith(FontSpec("Arial", -20, 400)));
    EXPECT_EQ(widthWith(FontSpec("Arial", -20, -5)), widthWith(FontSpec("Arial", -20, 400)));

    // Italic, underline and strike-out each change what is drawn.
    auto draw = [](FontSpec request) {
        auto surface = std::make_shared<Surface>(120, 30);
        auto c = SurfaceContext::ForScreen(surface);
        c->SelectFont(Font::Create(request));
        Rect r{2, 2, 120, 30};
        c->DrawText("Illinois", r, 0);
        return surface;
    };
    auto differs = [](const Surface& a, const Surface& b) {
        for (int y = 0; y < a.Height(); ++y)
            for (int x = 0; x < a.Width(); ++x)
                if (a.Pixel(x, y) != b.Pixel(x, y)) return true;
        return false;
    };
    FontSpec upright("Arial", -20);
    auto plain = draw(upright);
    for (int variant = 0; variant < 3; ++variant) {
        FontSpec request = upright;
        (variant == 0 ? request.italic : variant == 1 ? request.underline : request.strikeOut) = true;
        EXPECT_TRUE(differs(*plain, *draw(request))) << variant;
    }

    // The preview scroller lays out a strip by these two.
    const FontMetrics m = Font::Create(FontSpec("Arial", -11, 700))->Metrics();
    EXPECT_GT(m.averageCharWidth, 3);
    EXPECT_GE(m.maxCharWidth, m.averageCharWidth);
}

} // namespace
} // namespace showsaver::gfx
