#include "platform/ffmpeg/Ffmpeg.h"
#include "platform/sys/SharedLibrary.h"

#include <gtest/gtest.h>

#include <cstring>

namespace showsaver::sys {
namespace {

TEST(SharedLibrary, OpensByTheSonameAndResolvesOrSaysWhatIsMissing) {
    auto libc = SharedLibrary::Open("libc.so.6");
    ASSERT_TRUE(libc) << libc.Error().what;
    decltype(&std::strlen) length = nullptr;
    ASSERT_TRUE(libc->Resolve(length, "strlen"));
    EXPECT_EQ(length("four"), 4u);
    EXPECT_FALSE(libc->Resolve(length, "showsaver_no_such_function"));
    EXPECT_EQ(length, nullptr);

    auto missing = SharedLibrary::Open("libshowsaver-missing.so.7");
    ASSERT_FALSE(missing);
    EXPECT_NE(missing.Error().what.find("libshowsaver-missing.so.7"), std::string::npos) << missing.Error().what;
    EXPECT_EQ(missing.Error().what.find('\n'), std::string::npos) << "one line";
}

// The video libraries the build found resolve every function the engine
// calls through the table.
TEST(SharedLibrary, TheVideoTableResolvesWhole) {
    auto loaded = ffmpeg::Load();
    ASSERT_TRUE(loaded) << loaded.Error().what;
    EXPECT_NE(ffmpeg::Av().avcodec_find_decoder(AV_CODEC_ID_MJPEG), nullptr);
    EXPECT_NE(ffmpeg::Av().sws_setColorspaceDetails, nullptr);
}

} // namespace
} // namespace showsaver::sys
