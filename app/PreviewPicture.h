#pragma once
// The picture the preview shows at its left: 96 × 112 pixels, drawn by us.

#include "gfx/Surface.h"

namespace showsaver {

inline constexpr int kPreviewPictureWidth = 96;
inline constexpr int kPreviewPictureHeight = 112;

gfx::Surface MakePreviewPicture();

} // namespace showsaver
