#pragma once
// What the JPEG reader and writer share: libjpeg's error manager set up so
// that it never prints and never exits. On a fatal error (and on the one
// warning we treat as fatal, the end of the data) libjpeg calls us and we
// longjmp back into the small guarded function that called libjpeg; the
// objects owning libjpeg's state live in that function's caller.

#include <csetjmp>
#include <cstddef>
#include <cstdio> // jpeglib.h needs FILE and size_t declared first

#include <jerror.h>
#include <jpeglib.h>

namespace showsaver::codec::detail {

struct JpegFailure {
    std::jmp_buf jump;
    int messageCode = 0; // libjpeg's message code of the failure
    bool prematureEnd = false;
    bool tooManyScans = false;
};

// Points `errors` at our handlers.
void SetJpegHandlers(jpeg_error_mgr& errors);

// Gives a compress or decompress struct our error manager and `failure` as
// its client data. Call it before jpeg_create_*, which keeps both fields.
template <typename Info>
void InstallJpegErrorHandlers(Info& info, jpeg_error_mgr& errors, JpegFailure& failure) {
    info.err = jpeg_std_error(&errors);
    SetJpegHandlers(errors);
    info.client_data = &failure;
}

} // namespace showsaver::codec::detail
