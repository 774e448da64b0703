#pragma once
// Small AVI files made at test time with the ffmpeg command from raw RGB
// frames whose colours we choose, so every decoded picture has a known answer.

#include "support/Command.h"

#include <gtest/gtest.h>

#include <array>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include "media/VideoHost.h"
#include "platform/video/VideoOutput.h"

namespace showsaver::testing {

struct Rgb {
    int r, g, b;
};

// Ten saturated colours, far apart, for frames 0..9 (repeating after).
inline constexpr std::array<Rgb, 10> kFrameColours {{
    {255, 0, 0}, {0, 0, 255}, {0, 200, 0}, {255, 255, 0}, {0, 255, 255},
    {255, 0, 255}, {255, 255, 255}, {0, 0, 0}, {128, 64, 0}, {64, 128, 255},
}};

struct VideoRecipe {
    std::string codec;          // ffmpeg encoder name
    int frames = 10;
    int width = 64, height = 48;
    int rate = 10;
    bool sound = false;         // a 440 Hz tone as long as the pictures
    std::string soundCodec = "pcm_s16le";
};

// A directory of fixtures for one test program, removed at the end.
class VideoFixtures {
public:
    VideoFixtures() {
        m_dir = std::filesystem::temp_directory_path() / ("showsaver-video-" + std::to_string(::getpid()));
        std::filesystem::create_directories(m_dir);
    }
    ~VideoFixtures() {
        std::error_code ignored;
        std::filesystem::remove_all(m_dir, ignored);
    }
    const std::filesystem::path& Dir() const { return m_dir; }

    // Makes (once) the video of `recipe` and returns its path; empty on failure.
    std::filesystem::path Make(const VideoRecipe& recipe) {
        const auto path = m_dir / (Name(recipe) + ".avi");
        if (std::filesystem::exists(path)) return path;
        const auto raw = WriteFrames(recipe);
        std::string command = "ffmpeg -nostdin -v error -y -f rawvideo -pix_fmt rgb24 -s " +
                              std::to_string(recipe.width) + "x" + std::to_string(recipe.height) + " -r " +
                              std::to_string(recipe.rate) + " -i " + Quoted(raw);
        if (recipe.sound)
            command += " -f lavfi -i sine=frequency=440:sample_rate=44100:duration=" +
                       std::to_string(double(recipe.frames) / recipe.rate) + " -ac 2 -c:a " + recipe.soundCodec;
        command += " -c:v " + recipe.codec + (recipe.codec == "mjpeg" ? " -q:v 2" : "") + " " + Quoted(path);
        const auto result = RunCommand(command);
        std::filesystem::remove(raw);
        if (result.status != 0) {
            ADD_FAILURE() << command << "\n" << result.err;
            return {};
        }
        return path;
    }

    // A copy of `source` as bytes, for the bad-input cases to change.
    static std::vector<uint8_t> Bytes(const std::filesystem::path& source) {
        std::ifstream in(source, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    std::filesystem::path Write(const std::string& name, const std::vector<uint8_t>& bytes) const {
        const auto path = m_dir / name;
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                    static_cast<std::streamsize>(bytes.size()));
        return path;
    }

private:
    static std::string Name(const VideoRecipe& recipe) {
        return recipe.codec + "-" + std::to_string(recipe.width) + "x" + std::to_string(recipe.height) + "-" +
               std::to_string(recipe.frames) + "f" + std::to_string(recipe.rate) + (recipe.sound ? "-tone-" + recipe.soundCodec : "");
    }
    std::filesystem::path WriteFrames(const VideoRecipe& recipe) const {
        const auto path = m_dir / (Name(recipe) + ".rgb");
        std::ofstream out(path, std::ios::binary);
        std::vector<char> frame(size_t(recipe.width) * recipe.height * 3);
        for (int i = 0; i < recipe.frames; ++i) {
            const Rgb c = kFrameColours[size_t(i) % kFrameColours.size()];
            for (size_t p = 0; p < frame.size(); p += 3) {
                frame[p] = char(c.r);
                frame[p + 1] = char(c.g);
                frame[p + 2] = char(c.b);
            }
            out.write(frame.data(), std::streamsize(frame.size()));
        }
        return path;
    }

    std::filesystem::path m_dir;
};

// True when the xRGB pixel is within `tolerance` of the colour on each channel.
inline bool Near(uint32_t xrgb, Rgb c, int tolerance = 24) {
    const int r = int(xrgb >> 16 & 0xff), g = int(xrgb >> 8 & 0xff), b = int(xrgb & 0xff);
    return std::abs(r - c.r) <= tolerance && std::abs(g - c.g) <= tolerance && std::abs(b - c.b) <= tolerance;
}

// A frame target that keeps the centre pixel of every picture it is shown.
class RecordingTarget : public video::FrameTarget {
public:
    void ShowFrame(const uint32_t* xrgb, int width, int height, size_t stride) override {
        const auto* row = reinterpret_cast<const uint8_t*>(xrgb) + size_t(height / 2) * stride;
        std::lock_guard lock(m_mutex);
        m_size = {width, height};
        m_centres.push_back(reinterpret_cast<const uint32_t*>(row)[width / 2]);
        m_shown.notify_all();
    }
    // Blocks until `count` pictures have been shown (the test's own time-out ends a hang).
    void WaitForFrames(size_t count) {
        std::unique_lock lock(m_mutex);
        m_shown.wait(lock, [&] { return m_centres.size() >= count; });
    }
    std::vector<uint32_t> Centres() const {
        std::lock_guard lock(m_mutex);
        return m_centres;
    }
    gfx::Size Size() const {
        std::lock_guard lock(m_mutex);
        return m_size;
    }

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_shown;
    std::vector<uint32_t> m_centres;
    gfx::Size m_size;
};

// Makes recording layers and remembers where each was asked for. A layer's
// target forwards to a RecordingTarget that outlives it, so a test can look
// at what a closed layer was shown.
class RecordingLayers : public media::VideoLayerFactory {
public:
    struct Layer {
        gfx::Point topLeft;
        gfx::Size size;
        std::shared_ptr<RecordingTarget> target;
        std::shared_ptr<bool> alive;
    };

    std::unique_ptr<video::FrameTarget> CreateLayer(gfx::Point topLeft, gfx::Size size) override {
        std::lock_guard lock(m_mutex);
        m_layers.push_back({topLeft, size, std::make_shared<RecordingTarget>(), std::make_shared<bool>(true)});
        m_made.notify_all();
        return std::make_unique<Forward>(m_layers.back().target, m_layers.back().alive);
    }
    // Blocks until `count` layers have been made, and returns the last one.
    Layer WaitForLayer(size_t count) {
        std::unique_lock lock(m_mutex);
        m_made.wait(lock, [&] { return m_layers.size() >= count; });
        return m_layers[count - 1];
    }
    std::vector<Layer> Layers() const {
        std::lock_guard lock(m_mutex);
        return m_layers;
    }

private:
    class Forward : public video::FrameTarget {
    public:
        Forward(std::shared_ptr<RecordingTarget> target, std::shared_ptr<bool> alive)
            : m_target(std::move(target)), m_alive(std::move(alive)) {}
        ~Forward() override { *m_alive = false; }
        void ShowFrame(const uint32_t* xrgb, int width, int height, size_t stride) override {
            m_target->ShowFrame(xrgb, width, height, stride);
        }

    private:
        std::shared_ptr<RecordingTarget> m_target;
        std::shared_ptr<bool> m_alive;
    };

    mutable std::mutex m_mutex;
    std::condition_variable m_made;
    std::vector<Layer> m_layers;
};

} // namespace showsaver::testing
