#include "codec/JpegSupport.h"

namespace showsaver::codec::detail {
namespace {

[[noreturn]] void Fail(j_common_ptr info) {
    auto* failure = static_cast<JpegFailure*>(info->client_data);
    failure->messageCode = info->err->msg_code;
    std::longjmp(failure->jump, 1);
}

// Level -1 is a warning about corrupt data, which libjpeg decodes past (as
// every viewer does), except for data that simply stops: a truncated file is
// refused rather than shown half grey.
void OnMessage(j_common_ptr info, int level) {
    if (level < 0 && info->err->msg_code == JWRN_JPEG_EOF) {
        static_cast<JpegFailure*>(info->client_data)->prematureEnd = true;
        Fail(info);
    }
}

void Silence(j_common_ptr) {}

} // namespace

void SetJpegHandlers(jpeg_error_mgr& errors) {
    errors.error_exit = Fail;
    errors.emit_message = OnMessage;
    errors.output_message = Silence;
}

} // namespace showsaver::codec::detail
