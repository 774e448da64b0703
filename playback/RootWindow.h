#pragma once
// The X root window's pixels, read in one request. GDK's own way of reading
// a window goes through cairo's pool of shared memory, which then stays
// mapped (and a screen's worth or two of it resident) for the rest of the
// process; here the image's memory goes as soon as it is converted.

#include "codec/RgbImage.h"

#include <optional>

typedef struct _XDisplay Display;

namespace showsaver {

// Over GDK's connection; null without an X11 display or when the server
// refuses the request.
std::optional<codec::RgbImage> ReadRootWindow();

// Over a connection of the caller's own, on any thread; null when the
// screen is larger than a picture may be or cannot be read.
std::optional<codec::RgbImage> ReadRootWindow(Display* x);

} // namespace showsaver
