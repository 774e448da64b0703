// Leak checking in the sanitizer build: the font map is released after the
// last test, so that only leaks of our own are reported.

#include "gfx/Font.h"

#include <gtest/gtest.h>

// fontconfig never frees a few objects made while it parses its
// configuration; the leak checker reads this hook at exit. It skips what
// fontconfig itself allocated (the stacks are too short to name the parse).
// A Pango layout or font that we forget to release is still reported when
// the tests run with G_SLICE=always-malloc (GLib's slice allocator hides
// GObject leaks otherwise).
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

namespace {

class TextCachesEnvironment : public ::testing::Environment {
public:
    void TearDown() override { showsaver::gfx::ReleaseTextCaches(); }
};

[[maybe_unused]] ::testing::Environment* const kTextCaches =
    ::testing::AddGlobalTestEnvironment(new TextCachesEnvironment);

} // namespace
