// The desktop capture on a real X server: what the screen shows when the
// engine starts becomes "desktop.bmp".

#include "codec/Codec.h"
#include "platform/sys/TempFiles.h"
#include "playback/Captures.h"
#include "tests/e2e/ParentWindow.h"
#include "tests/e2e/XSession.h"
#include "tests/platform/TestSupport.h"
#include "tests/support/Command.h"

#include <gtest/gtest.h>

namespace showsaver::e2e {
namespace {

TEST(DesktopCapture, WritesTheScreenAsABmp) {
    sys::TempDirectory dir(std::filesystem::temp_directory_path());
    VirtualDisplay display((dir.Path() / "xvfb.log").string());
    ASSERT_FALSE(display.Name().empty()) << display.Error();
    test::ScopedEnvironment setDisplay("DISPLAY", display.Name());
    // A white window on an orange root window is the known pattern: the
    // orange's three channels differ, so none can take another's place.
    auto orange = dir.Path() / "orange.png";
    testing::RunCommand("convert -size 1024x768 xc:'#FF8010' " + testing::Quoted(orange.string()));
    testing::RunCommand("display -window root " + testing::Quoted(orange.string()));
    ParentWindow white(100, 50, 200, 120);
    auto path = dir.Path() / "desktop.bmp";
    // GTK stays in a child: its display connection must not outlive this Xvfb.
    auto child = ChildProcess::Fork([&] { return CaptureDesktop(path) ? 0 : 1; });
    ASSERT_EQ(child.WaitForExit(60s), 0);
    auto source = codec::OpenFileSource(path);
    ASSERT_TRUE(source);
    ASSERT_EQ(codec::GuessFormat(*source), codec::Format::Bmp);
    auto image = codec::ReadBmp(*source);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->Width(), 1024);
    EXPECT_EQ(image->Height(), 768);
    auto pixel = [&](int x, int y) {
        const uint8_t* p = image->Row(y) + x * 3;
        return uint32_t{p[0]} << 16 | uint32_t{p[1]} << 8 | p[2];
    };
    EXPECT_EQ(pixel(100, 50), 0xFFFFFFu);
    EXPECT_EQ(pixel(299, 169), 0xFFFFFFu);
    EXPECT_EQ(pixel(300, 170), 0xFF8010u);
    EXPECT_EQ(pixel(99, 49), 0xFF8010u);
}

} // namespace
} // namespace showsaver::e2e
