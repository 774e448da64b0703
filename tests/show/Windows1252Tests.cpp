#include "show/Windows1252.h"

#include <gtest/gtest.h>

namespace showsaver {
namespace {

TEST(Windows1252, EveryByteRoundTripsThroughUtf8) {
    std::string all;
    for (int b = 1; b < 256; ++b) all += static_cast<char>(b);
    bool lossless = false;
    EXPECT_EQ(Utf8ToCp1252(Cp1252ToUtf8(all), '?', &lossless), all);
    EXPECT_TRUE(lossless);
}

TEST(Windows1252, MapsTheHighControlsAndRefusesWhatItCannotHold) {
    EXPECT_EQ(Cp1252ToUtf8("\x80\xE9"), "\u20AC\u00E9");
    bool lossless = true;
    EXPECT_EQ(Utf8ToCp1252("x\u4E2Dy", '?', &lossless), "x?y");
    EXPECT_FALSE(lossless);
    // Invalid UTF-8 (a lone continuation byte, an overlong form) is replaced too.
    EXPECT_EQ(Utf8ToCp1252("\x80\xC0\xAF"), "???");
}

} // namespace
} // namespace showsaver
