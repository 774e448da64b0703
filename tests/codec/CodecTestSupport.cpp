#include "CodecTestSupport.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>

extern char** environ;

namespace showsaver::codec::testing {

TempDir::TempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/codec-test-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    m_path = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

bool HaveProgram(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::stringstream folders(path ? path : "");
    for (std::string folder; std::getline(folders, folder, ':');)
        if (!folder.empty() && ::access((std::filesystem::path(folder) / program).c_str(), X_OK) == 0) return true;
    return false;
}

int RunProgram(const std::vector<std::string>& argv) {
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return -1;
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0)
        if (errno != EINTR) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

Bytes ReadBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

void WriteBytes(const std::filesystem::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

RgbImage MakePicture(int width, int height, uint32_t seed) {
    RgbImage image = RgbImage::Uninitialized(width, height);
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> noise(-12, 12);
    for (int y = 0; y < height; ++y) {
        uint8_t* row = image.Row(y);
        for (int x = 0; x < width; ++x) {
            const int base[3] = {255 * x / std::max(width - 1, 1), 255 * y / std::max(height - 1, 1),
                                 255 - 255 * (x + y) / std::max(width + height - 2, 1)};
            for (int c = 0; c < 3; ++c) row[3 * x + c] = static_cast<uint8_t>(std::clamp(base[c] + noise(random), 0, 255));
        }
    }
    return image;
}

void WritePpm(const std::filesystem::path& path, const RgbImage& image) {
    std::ofstream out(path, std::ios::binary);
    out << "P6\n" << image.Width() << ' ' << image.Height() << "\n255\n";
    out.write(reinterpret_cast<const char*>(image.Data()), static_cast<std::streamsize>(image.SizeBytes()));
}

bool Convert(const std::filesystem::path& source, const std::vector<std::string>& args, const std::string& output) {
    std::vector<std::string> argv{"convert", source.string()};
    argv.insert(argv.end(), args.begin(), args.end());
    argv.push_back(output);
    return RunProgram(argv) == 0;
}

std::optional<Bytes> MagickRgb(const std::filesystem::path& path, const std::vector<std::string>& before) {
    const auto out = path.string() + ".magick.rgb";
    std::vector<std::string> argv{"convert", path.string()};
    argv.insert(argv.end(), before.begin(), before.end());
    argv.insert(argv.end(), {"-depth", "8", "rgb:" + out});
    if (RunProgram(argv) != 0) return std::nullopt;
    return ReadBytes(out);
}

std::optional<RgbImage> ReadFile(Reader reader, const std::filesystem::path& path) {
    auto source = OpenFileSource(path);
    if (!source) return std::nullopt;
    return reader(*source);
}

std::optional<RgbImage> ReadMemory(Reader reader, const Bytes& bytes) {
    auto source = OpenMemorySource(bytes);
    if (!source) return std::nullopt;
    return reader(*source);
}

::testing::AssertionResult SamePixels(const RgbImage& ours, const Bytes& expected, int tolerance) {
    if (ours.SizeBytes() != expected.size())
        return ::testing::AssertionFailure() << "ours has " << ours.SizeBytes() << " bytes (" << ours.Width() << " x "
                                             << ours.Height() << "), expected " << expected.size();
    size_t differing = 0, first = 0;
    for (size_t i = 0; i < expected.size(); ++i) {
        if (std::abs(int{ours.Data()[i]} - int{expected[i]}) > tolerance && differing++ == 0) first = i;
    }
    if (differing == 0) return ::testing::AssertionSuccess();
    const size_t pixel = first / 3;
    const size_t width = static_cast<size_t>(std::max(ours.Width(), 1));
    return ::testing::AssertionFailure() << differing << " bytes differ by more than " << tolerance << "; first at pixel ("
                                         << pixel % width << ", " << pixel / width << ") channel " << first % 3 << ": ours "
                                         << int{ours.Data()[first]} << ", expected " << int{expected[first]};
}

::testing::AssertionResult SamePixels(const RgbImage& ours, const RgbImage& expected, int tolerance) {
    if (ours.Width() != expected.Width() || ours.Height() != expected.Height())
        return ::testing::AssertionFailure() << "ours is " << ours.Width() << " x " << ours.Height() << ", expected "
                                             << expected.Width() << " x " << expected.Height();
    return SamePixels(ours, Bytes(expected.Bytes().begin(), expected.Bytes().end()), tolerance);
}

RgbImage ImageOf(int width, int height, const Bytes& rgb) {
    RgbImage image = RgbImage::Uninitialized(width, height);
    if (rgb.size() != image.SizeBytes()) ADD_FAILURE() << "ImageOf needs " << image.SizeBytes() << " bytes";
    std::copy_n(rgb.begin(), std::min(rgb.size(), image.SizeBytes()), image.Data());
    return image;
}

} // namespace showsaver::codec::testing
