#pragma once
// Helpers of the codec tests: a private temporary folder, running
// ImageMagick's convert and djpeg as independent decoders, synthetic
// pictures, and pixel comparisons that report where images differ.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "codec/Codec.h"

namespace showsaver::codec::testing {

using Bytes = std::vector<uint8_t>;

// A folder made with mkdtemp, removed with its contents at the end.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& Path() const { return m_path; }
    std::filesystem::path operator/(const std::string& name) const { return m_path / name; }

private:
    std::filesystem::path m_path;
};

// True when `program` is an executable file on PATH.
bool HaveProgram(const std::string& program);
// Runs argv[0] (found on PATH) without a shell, output discarded; returns
// its exit status, or -1 when it could not be started.
int RunProgram(const std::vector<std::string>& argv);

Bytes ReadBytes(const std::filesystem::path& path);
void WriteBytes(const std::filesystem::path& path, const Bytes& bytes);

// A photograph-like test picture: smooth gradients plus deterministic noise.
RgbImage MakePicture(int width, int height, uint32_t seed = 1);
// Writes an image as a binary PPM, the input we hand to convert.
void WritePpm(const std::filesystem::path& path, const RgbImage& image);

// Runs `convert source args... output` (output may carry a coder prefix
// such as "BMP2:"); true when convert succeeded.
bool Convert(const std::filesystem::path& source, const std::vector<std::string>& args, const std::string& output);

// ImageMagick's own decoding of `path` as 8-bit RGB bytes, or nullopt when
// convert fails. `before` goes between the input and the output operands.
std::optional<Bytes> MagickRgb(const std::filesystem::path& path, const std::vector<std::string>& before = {});

// Runs `reader` on a file source (the way the wallpaper is read) or on
// `bytes` in memory.
using Reader = std::optional<RgbImage> (*)(Source&);
std::optional<RgbImage> ReadFile(Reader reader, const std::filesystem::path& path);
std::optional<RgbImage> ReadMemory(Reader reader, const Bytes& bytes);

// Every byte equal (or within `tolerance`); on failure names the first
// differing pixel and how many differ.
::testing::AssertionResult SamePixels(const RgbImage& ours, const Bytes& expected, int tolerance = 0);
::testing::AssertionResult SamePixels(const RgbImage& ours, const RgbImage& expected, int tolerance = 0);

// An image from literal pixels, row by row.
RgbImage ImageOf(int width, int height, const Bytes& rgb);

} // namespace showsaver::codec::testing
