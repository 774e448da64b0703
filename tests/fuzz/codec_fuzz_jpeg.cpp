// libFuzzer target: arbitrary bytes through the JPEG reader. Any input must
// give either an image whose size matches its bytes or a failure with a
// code that has a text; never a crash, a hang or an outsized allocation.
// The check that keeps no pixels, and decoding at a smaller scale, must
// agree with the reader: the same success and size, or the same failure.

#include <cstdlib>

#include "codec/Codec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace showsaver::codec;
    auto source = OpenMemorySource({data, size});
    if (!source) return 0;
    (void)GuessFormat(*source);
    const auto image = ReadJpeg(*source);
    const int readError = LastError();
    auto again = OpenMemorySource({data, size});
    const auto checked = CheckJpeg(*again);
    if (checked.has_value() != image.has_value()) std::abort();
    if (!image) {
        if (ErrorText(LastError()) == "Unknown error" || LastError() != readError) std::abort();
        return 0;
    }
    if (image->Empty() || image->SizeBytes() != size_t(image->Width()) * size_t(image->Height()) * 3) std::abort();
    if (checked->width != image->Width() || checked->height != image->Height()) std::abort();
    PictureSize full;
    auto third = OpenMemorySource({data, size});
    const auto scaled = ReadJpegScaled(*third, image->Width() / 3, image->Height() / 3, full);
    if (!scaled || full.width != image->Width() || full.height != image->Height()) std::abort();
    if (scaled->Width() < image->Width() / 3 || scaled->Height() < image->Height() / 3) std::abort();
    return 0;
}
