#pragma once
// The device context that draws into surfaces: either a memory context,
// which draws into whatever bitmap is selected (a 1 × 1 black default at
// first), or a screen context, which always draws into the screen surface.
//
// A context is used by one thread at a time; the surfaces it draws into may
// be shared with a reader on another thread (see Surface).

#include "gfx/DeviceContext.h"

#include <memory>

namespace showsaver::gfx {

class SurfaceContext final : public DeviceContext {
public:
    // A context that draws into `screen`; its screen size is the surface's.
    // A null screen is taken as a 0 × 0 surface.
    static std::unique_ptr<SurfaceContext> ForScreen(std::shared_ptr<Surface> screen);
    // A memory context for a screen of `screenSize` with its default bitmap.
    static std::unique_ptr<SurfaceContext> ForMemory(Size screenSize);

    std::shared_ptr<Surface> SelectBitmap(std::shared_ptr<Surface> bitmap) override;
    Pen SelectPen(const Pen& pen) override;
    std::shared_ptr<Font> SelectFont(std::shared_ptr<Font> font) override;

    void BitBlt(int x, int y, int w, int h, DeviceContext& source, int sx, int sy) override;
    void StretchBlt(int x, int y, int w, int h, DeviceContext& source, int sx, int sy, int sw,
                    int sh) override;
    void FillSolid(const Rect& rect, ColorRef color) override;

    Point MoveTo(int x, int y) override;
    void LineTo(int x, int y) override;

    ColorRef SetTextColor(ColorRef color) override;
    ColorRef SetBkColor(ColorRef color) override;
    BkMode SetBkMode(BkMode mode) override;
    Size GetTextExtent(std::string_view text) override;
    FontMetrics GetTextMetrics() override;
    int DrawText(std::string_view text, Rect& rect, uint32_t format) override;

    Size ScreenSize() const override { return m_screenSize; }
    std::unique_ptr<DeviceContext> CreateCompatible() const override;
    Surface* Target() override { return m_target.get(); }

    bool IsScreen() const { return m_isScreen; }

private:
    SurfaceContext(std::shared_ptr<Surface> target, Size screenSize, bool isScreen);
    // The selected font, or the default one made on first use; may be null
    // when no font can be loaded at all.
    const Font* CurrentFont();

    std::shared_ptr<Surface> m_target;    // never null
    std::shared_ptr<Surface> m_selected;  // what SelectBitmap returns; null: the default bitmap
    std::shared_ptr<Surface> m_defaultBitmap;
    Size m_screenSize;
    bool m_isScreen;

    Pen m_pen;
    Point m_position;
    std::shared_ptr<Font> m_font;          // null: the default font
    std::shared_ptr<Font> m_defaultFont;   // made on first use
    ColorRef m_textColor = 0x000000;
    ColorRef m_bkColor = 0xFFFFFF;
    BkMode m_bkMode = BkMode::Opaque;
};

} // namespace showsaver::gfx
