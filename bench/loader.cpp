// How much slower loading a show is than reading its file's bytes.
//
// Two shows are written to a private temporary folder before anything is
// timed: 10,000 items of every kind (pictures with small embedded files and
// the scenes that show them, pauses, loops, notes, media items and their
// players, web links), and a single picture with a 50 MB embedded file.
// For each, `read_bytes` opens the file, reads it whole into a new buffer
// with read(2), asking at each call for all that is left (a call per small
// chunk would charge the baseline system calls the loader, which reads four
// mebibytes at a time, does not make), into a buffer that asks for huge pages
// as the loader's does, and closes it; `loader` runs LoadShowFile into a
// fresh ItemRegistry and destroys it again (the 50 MB file, like any embedded
// file of 256 KiB or more, stays in the show's file: the loader reads only
// the chunk it starts in, and gives that back). After the run the program prints
// loader / read_bytes for each show from the median real times, then from
// the median CPU times, which a loaded machine disturbs less; the goal
// is a ratio of at most 2. `make_items` times one stage of the loader
// alone, for the 10,000 items: making them in the arena and destroying
// them, records unread.

#include "app/ItemKinds.h"
#include "links/WebLinkItem.h"
#include "media/LineItem.h"
#include "media/MediaItem.h"
#include "media/MediaPlayItem.h"
#include "playback/PictureItem.h"
#include "playback/PictureScenes.h"
#include "resources/StringTable.h"
#include "media/MediaStopItem.h"
#include "show/ControlItems.h"
#include "show/FileBuffer.h"
#include "show/ItemList.h"
#include "show/Random.h"
#include "show/ShowLoader.h"
#include "show/ShowSaver.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

using namespace showsaver;
namespace fs = std::filesystem;

constexpr int kMixedItems = 10000;
constexpr uint32_t kLargeFileSize = 50u * 1024 * 1024;

// --- Writing the shows ---

// Stand-in file contents; the loader never looks into them.
std::unique_ptr<uint8_t[]> FileBytes(uint32_t size, uint32_t seed) {
    auto bytes = std::make_unique_for_overwrite<uint8_t[]>(size);
    for (uint32_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(i * 131 + (i >> 8) + seed);
    return bytes;
}

// Appends a new item of `kind` and returns it as its class.
template <typename T>
T& Add(const ItemRegistry& registry, ItemList& items, ItemKind kind, std::string name) {
    auto item = registry.Prototype(static_cast<int32_t>(kind))->Clone();
    item->SetIndex(items.Size());
    item->SetName(std::move(name));
    auto& typed = static_cast<T&>(*item);
    items.Append(std::move(item));
    return typed;
}

void Link(Item& user, Item& source) {
    user.SetSource(&source);
    source.AddUser(&user);
}

// The items of one block of 20, which repeats until the show holds
// kMixedItems: a looped sequence of an image and a caption with their
// scenes, pauses, a note, a sound with its player and stop, a web link, a
// background colour and a line.
void AddMixedBlock(const ItemRegistry& registry, ItemList& items, CRand& rand, int block) {
    std::string n = std::to_string(block);
    Add<LoopStartItem>(registry, items, ItemKind::LoopStart, "loop " + n);
    auto& image = Add<PictureItem>(registry, items, ItemKind::Picture, "photo " + n);
    uint32_t imageSize = 1024 + static_cast<uint32_t>(rand.Next() % 3072);
    image.image.Assign("photo" + n + ".jpg", FileBytes(imageSize, imageSize), imageSize);
    Link(Add<ShowPictureItem>(registry, items, ItemKind::ShowPicture, "show photo"), image);
    Add<PauseItem>(registry, items, ItemKind::Pause, "pause").duration.duration = 2000;
    Link(Add<PictureEffectItem>(registry, items, ItemKind::PictureEffect, "move photo"), image);
    Add<PauseItem>(registry, items, ItemKind::Pause, "pause").duration.duration = 500;
    Link(Add<HidePictureItem>(registry, items, ItemKind::HidePicture, "hide photo"), image);
    auto& caption = Add<PictureItem>(registry, items, ItemKind::Picture, "caption " + n);
    caption.contentType = PictureItem::kText;
    caption.text = "Caption number " + n + "\r\nwith a second line";
    caption.font.SetFaceName("Arial");
    Link(Add<ShowPictureItem>(registry, items, ItemKind::ShowPicture, "show caption"), caption);
    Add<PauseItem>(registry, items, ItemKind::Pause, "pause").duration.duration = 1000;
    Link(Add<HidePictureItem>(registry, items, ItemKind::HidePicture, "hide caption"), caption);
    Add<NoteItem>(registry, items, ItemKind::Note, "note").text.text = "Block " + n + " of the benchmark show";
    auto& sound = Add<MediaItem>(registry, items, ItemKind::Media, "sound " + n);
    uint32_t soundSize = 4096 + static_cast<uint32_t>(rand.Next() % 4096);
    sound.file.Assign("sound" + n + ".wav", FileBytes(soundSize, soundSize), soundSize);
    sound.mediaType = static_cast<int32_t>(MediaType::Wave);
    Link(Add<MediaPlayItem>(registry, items, ItemKind::MediaPlay, "play"), sound);
    Add<PauseItem>(registry, items, ItemKind::Pause, "pause").duration.duration = 300;
    Link(Add<MediaStopItem>(registry, items, ItemKind::MediaStop, "stop"), sound);
    Add<WebLinkItem>(registry, items, ItemKind::WebLink, "link").address.text = "http://example.org/" + n;
    Add<BackgroundItem>(registry, items, ItemKind::Background, "background").color.color = 0x102030;
    Add<LineItem>(registry, items, ItemKind::Line, "line");
    Add<LoopEndItem>(registry, items, ItemKind::LoopEnd, "loop end " + n).repeat.repeatCount = 2;
}

// The bare show of `items` in the current layout, as showpack builds it.
std::vector<uint8_t> Serialize(const ItemList& items) { return SaveShow(items, ShowInfo{0, 'A', 4.5f, 0.0f}); }

std::vector<uint8_t> MixedShow() {
    ShowItemRegistry registry;
    CRand rand(12345);
    for (int block = 0; registry.Items().Size() < kMixedItems; ++block)
        AddMixedBlock(registry, registry.Items(), rand, block);
    return Serialize(registry.Items());
}

std::vector<uint8_t> LargePictureShow() {
    ShowItemRegistry registry;
    auto& picture = Add<PictureItem>(registry, registry.Items(), ItemKind::Picture, "large");
    picture.image.Assign("large.bmp", FileBytes(kLargeFileSize, 0), kLargeFileSize);
    return Serialize(registry.Items());
}

// A folder of its own under the temporary directory, removed with its files.
class ScratchFolder {
public:
    ScratchFolder() {
        std::string pattern = (fs::temp_directory_path() / "showsaver-bench-XXXXXX").string();
        if (::mkdtemp(pattern.data())) m_path = pattern;
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    ~ScratchFolder() {
        std::error_code ignored;
        if (!m_path.empty()) fs::remove_all(m_path, ignored);
    }
    bool Valid() const { return !m_path.empty(); }
    const fs::path& Path() const { return m_path; }

private:
    fs::path m_path;
};

bool WriteFile(const fs::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream stream(path, std::ios::binary | std::ios::trunc);
    stream.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(stream.flush());
}

// --- The timed parts ---

// The baseline: the file's bytes in memory and nothing else.
bool ReadWholeFile(const fs::path& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        ::close(fd);
        return false;
    }
    auto size = static_cast<size_t>(info.st_size);
    auto buffer = std::make_unique_for_overwrite<uint8_t[]>(size);
    AdviseHugePages(buffer.get(), size);
    size_t done = 0;
    while (done < size) {
        ssize_t n = ::read(fd, buffer.get() + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    ::close(fd);
    benchmark::DoNotOptimize(buffer.get());
    benchmark::ClobberMemory();
    return done == size;
}

void ReadBytes(benchmark::State& state, const fs::path& path) {
    for (auto _ : state) {
        if (!ReadWholeFile(path)) {
            state.SkipWithError("cannot read the show file");
            break;
        }
    }
}

void Loader(benchmark::State& state, const fs::path& path) {
    for (auto _ : state) {
        ShowItemRegistry registry;
        ShowInfo info;
        auto loaded = LoadShowFile(path, 0, registry, registry.Items(), info, nullptr);
        if (!loaded) {
            state.SkipWithError(loaded.Error().what.c_str());
            break;
        }
        benchmark::DoNotOptimize(registry.Items().Size());
    }
}

// A stage of the loader on its own: the show's items made in a fresh
// registry's arena, kind for kind, and destroyed with it, without reading a
// record. What it costs the loader pays whatever its parsing costs.
void MakeItems(benchmark::State& state, const fs::path& path) {
    std::vector<int32_t> kinds;
    {
        ShowItemRegistry registry;
        ShowInfo info;
        if (!LoadShowFile(path, 0, registry, registry.Items(), info, nullptr)) {
            state.SkipWithError("cannot load the show");
            return;
        }
        for (int i = 0; i < registry.Items().Size(); ++i)
            kinds.push_back(static_cast<int32_t>(registry.Items().At(i).Kind()));
    }
    for (auto _ : state) {
        ShowItemRegistry registry;
        registry.Items().Reserve(kinds.size());
        for (int32_t kind : kinds) registry.Items().Make(*registry.Factory(kind));
        benchmark::DoNotOptimize(registry.Items().Size());
    }
}

// --- Reporting the ratios ---

// Passes everything on to the reporter the command line chose and keeps
// every repetition's real time per iteration, by benchmark name.
class RatioReporter final : public benchmark::BenchmarkReporter {
public:
    // `display` is the library's own default reporter, which it keeps alive.
    explicit RatioReporter(benchmark::BenchmarkReporter& display) : m_display(display) {}

    bool ReportContext(const Context& context) override { return m_display.ReportContext(context); }
    void Finalize() override { m_display.Finalize(); }

    void ReportRuns(const std::vector<Run>& runs) override {
        m_display.ReportRuns(runs);
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Iteration && !run.error_occurred && run.iterations > 0)
            {
                m_seconds[run.run_name.function_name].push_back(run.real_accumulated_time /
                                                                 static_cast<double>(run.iterations));
                m_cpuSeconds[run.run_name.function_name].push_back(run.cpu_accumulated_time /
                                                                    static_cast<double>(run.iterations));
            }
    }

    // The median seconds per iteration of `name`, or nothing if it did not run.
    static std::optional<double> Median(const std::map<std::string, std::vector<double>>& seconds,
                                        const std::string& name) {
        auto it = seconds.find(name);
        if (it == seconds.end() || it->second.empty()) return std::nullopt;
        auto times = it->second;
        std::sort(times.begin(), times.end());
        size_t middle = times.size() / 2;
        return times.size() % 2 ? times[middle] : (times[middle - 1] + times[middle]) / 2;
    }

    // The ratio of the real times, then that of the CPU times, which a
    // loaded machine disturbs less.
    void PrintRatio(const std::string& slow, const std::string& fast, const char* note = "goal: at most 2") const {
        auto a = Median(m_seconds, slow);
        auto b = Median(m_seconds, fast);
        if (!a || !b || *b <= 0) return;
        std::printf("ratio %s / %s = %.2f (%s)\n", slow.c_str(), fast.c_str(), *a / *b, note);
        auto cpuA = Median(m_cpuSeconds, slow);
        auto cpuB = Median(m_cpuSeconds, fast);
        if (!cpuA || !cpuB || *cpuB <= 0) return;
        std::printf("cpu ratio %s / %s = %.2f\n", slow.c_str(), fast.c_str(), *cpuA / *cpuB);
    }

private:
    benchmark::BenchmarkReporter& m_display;
    std::map<std::string, std::vector<double>> m_seconds;
    std::map<std::string, std::vector<double>> m_cpuSeconds;
};

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;

    ScratchFolder scratch;
    if (!scratch.Valid()) {
        std::fprintf(stderr, "cannot make a temporary folder: %s\n", std::strerror(errno));
        return 1;
    }
    const fs::path mixed = scratch.Path() / "mixed.show";
    const fs::path large = scratch.Path() / "large.show";
    if (!WriteFile(mixed, MixedShow()) || !WriteFile(large, LargePictureShow())) {
        std::fprintf(stderr, "cannot write the shows into %s\n", scratch.Path().c_str());
        return 1;
    }
    std::printf("shows: %s (%ju bytes, %d items), %s (%ju bytes, 1 item)\n", mixed.c_str(),
                static_cast<uintmax_t>(fs::file_size(mixed)), kMixedItems, large.c_str(),
                static_cast<uintmax_t>(fs::file_size(large)));

    struct Case {
        std::string show;
        fs::path path;
        double minTime;
    };
    const Case cases[] = {{"10000_items", mixed, 0.2}, {"50mb_picture", large, 0.3}};
    for (const auto& c : cases) {
        for (auto [name, function] : {std::pair{"read_bytes_", &ReadBytes}, std::pair{"loader_", &Loader}}) {
            benchmark::RegisterBenchmark((name + c.show).c_str(), function, c.path)
                ->Unit(benchmark::kMillisecond)
                ->UseRealTime()
                ->MinTime(c.minTime)
                ->Repetitions(5);
        }
    }

    benchmark::RegisterBenchmark("make_items_10000_items", &MakeItems, mixed)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime()
        ->MinTime(0.2)
        ->Repetitions(5);

    RatioReporter reporter(*benchmark::CreateDefaultDisplayReporter());
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::fflush(stdout);
    for (const auto& c : cases) reporter.PrintRatio("loader_" + c.show, "read_bytes_" + c.show);
    reporter.PrintRatio("make_items_10000_items", "read_bytes_10000_items", "a stage of the loader");
    benchmark::Shutdown();
    return 0;
}
