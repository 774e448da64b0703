#include "gfx/Font.h"

#include "gfx/TextSupport.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>
#include <string_view>

namespace showsaver::gfx {

namespace {

struct FaceSubstitute {
    std::string_view face;
    std::string_view substitute;
};

// Windows faces that fontconfig has no alias for. "Arial", "Times New
// Roman" and "Courier New" need none: fontconfig maps them to the metric-
// compatible Liberation fonts itself.
constexpr std::array kFaceSubstitutes{
    FaceSubstitute{"MS Sans Serif", "Liberation Sans"},
    FaceSubstitute{"Microsoft Sans Serif", "Liberation Sans"},
    FaceSubstitute{"MS Shell Dlg", "Liberation Sans"},
    FaceSubstitute{"MS Shell Dlg 2", "Liberation Sans"},
    FaceSubstitute{"System", "Liberation Sans"},
    FaceSubstitute{"MS Serif", "Liberation Serif"},
};

// Tried after the face and its substitute, before fontconfig's own defaults.
constexpr std::string_view kFallbackFamilies = "Liberation Sans,DejaVu Sans,sans-serif";

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return g_ascii_tolower(x) == g_ascii_tolower(y);
           });
}

struct LoadedFont {
    text::PangoFontPtr font;
    int ascent = 0;
    int descent = 0;
    int averageCharWidth = 0;
};

std::optional<LoadedFont> Load(PangoContext* context, PangoFontDescription* description, double emPixels) {
    pango_font_description_set_absolute_size(description, emPixels * PANGO_SCALE);
    text::PangoFontPtr font(pango_context_load_font(context, description));
    if (!font) return std::nullopt;
    PangoFontMetrics* metrics = pango_font_get_metrics(font.get(), nullptr);
    if (!metrics) return std::nullopt;
    LoadedFont loaded;
    loaded.ascent = PANGO_PIXELS(pango_font_metrics_get_ascent(metrics));
    loaded.descent = PANGO_PIXELS(pango_font_metrics_get_descent(metrics));
    loaded.averageCharWidth = PANGO_PIXELS(pango_font_metrics_get_approximate_char_width(metrics));
    pango_font_metrics_unref(metrics);
    loaded.font = std::move(font);
    return loaded;
}

int MaxCharWidth(PangoFont* font) {
    if (!PANGO_IS_CAIRO_FONT(font)) return 0;
    cairo_scaled_font_t* scaled = pango_cairo_font_get_scaled_font(PANGO_CAIRO_FONT(font));
    if (!scaled) return 0;
    cairo_font_extents_t extents{};
    cairo_scaled_font_extents(scaled, &extents);
    return static_cast<int>(std::ceil(extents.max_x_advance));
}

} // namespace

std::string Font::FamilyListFor(const std::string& faceName) {
    // A comma would split the family list; blanks around the name are noise.
    std::string face = text::ToValidUtf8(faceName);
    std::replace(face.begin(), face.end(), ',', ' ');
    auto first = face.find_first_not_of(' ');
    face = first == std::string::npos ? std::string() : face.substr(first, face.find_last_not_of(' ') - first + 1);

    std::string families;
    if (!face.empty()) families = face + ",";
    for (const auto& entry : kFaceSubstitutes) {
        if (EqualsIgnoringCase(face, entry.face)) {
            families += entry.substitute;
            families += ",";
        }
    }
    families += kFallbackFamilies;
    return families;
}

std::shared_ptr<Font> Font::Create(const FontSpec& request) {
    text::FontDescriptionPtr description(pango_font_description_new());
    pango_font_description_set_family(description.get(), FamilyListFor(request.faceName).c_str());
    int weight = request.weight <= 0 ? 400 : std::clamp(request.weight, 100, 1000);
    pango_font_description_set_weight(description.get(), static_cast<PangoWeight>(weight));
    pango_font_description_set_style(description.get(), request.italic ? PANGO_STYLE_ITALIC : PANGO_STYLE_NORMAL);

    auto cr = text::CreateMeasuringCairo();
    auto context = text::CreateContext(cr.get(), !request.NonAntialiased());

    double em = 0;
    std::optional<LoadedFont> loaded;
    if (request.height < 0) {
        em = static_cast<double>(std::min<int64_t>(-int64_t{request.height}, kMaxHeight));
        loaded = Load(context.get(), description.get(), em);
    } else {
        // The cell height is asked for: scale the em height until the font's
        // ascent + descent meets it (hinted metrics round, so a few rounds).
        int cell = request.height == 0 ? kDefaultCellHeight : std::min(request.height, kMaxHeight);
        em = cell;
        for (int round = 0; round < 4; ++round) {
            loaded = Load(context.get(), description.get(), em);
            if (!loaded) break;
            int measured = loaded->ascent + loaded->descent;
            if (measured == cell || measured <= 0) break;
            em = std::max(1.0, std::round(em * cell / measured * 8) / 8);
        }
        if (loaded && loaded->ascent + loaded->descent > cell && em > 1) {
            // Never taller than asked: step down in small steps.
            for (int round = 0; round < 8 && loaded && loaded->ascent + loaded->descent > cell; ++round) {
                em = std::max(1.0, em - 0.25);
                loaded = Load(context.get(), description.get(), em);
            }
        }
    }
    if (!loaded) return nullptr;

    auto font = std::shared_ptr<Font>(new Font(request, description.release()));
    font->m_emHeight = static_cast<int>(std::lround(em));
    FontMetrics& metrics = font->m_metrics;
    metrics.ascent = loaded->ascent;
    metrics.descent = loaded->descent;
    metrics.height = loaded->ascent + loaded->descent;
    metrics.internalLeading = std::max(0, metrics.height - font->m_emHeight);
    metrics.averageCharWidth = loaded->averageCharWidth;
    metrics.maxCharWidth = MaxCharWidth(loaded->font.get());

    text::FontDescriptionPtr resolved(pango_font_describe(loaded->font.get()));
    if (const char* family = pango_font_description_get_family(resolved.get())) font->m_family = family;
    return font;
}

Font::Font(FontSpec request, PangoFontDescription* description)
    : m_request(std::move(request)), m_description(description) {}

Font::~Font() { pango_font_description_free(m_description); }

void ReleaseTextCaches() {
    // Only the font map: FcFini and cairo_debug_reset_static_data assert
    // when a cache entry is still referenced, which cairo's font holdover
    // cache may do for a while after the map is gone.
    pango_cairo_font_map_set_default(nullptr);
}

} // namespace showsaver::gfx
