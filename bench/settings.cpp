// How the settings store reads a large hive.
//
// A user.reg of 20,000 keys and about 5 MB, as a real export can be, and
// one of 4,000 keys and about 1 MB are written to private folders before
// anything is timed. `read_bytes` reads the 5 MB file whole into memory;
// `first_value` opens a new Store and reads one value, which reads and
// parses the file (the Store is freed outside the timing); `hundred_values` opens
// a new Store and reads 100 values of keys spread over the file, as
// start-up reads its settings; `first_value_1mb` is `first_value` on the
// small file. After the run the program prints, from the same run (of the
// medians when the benchmarks are repeated),
//   hundred_values / first_value   (goal: at most 1.2: the file is parsed once)
//   first_value / read_bytes       (goal: at most 10)
//   the time per byte of the 1 MB parse against the 5 MB one (1 when a
//   parse is linear in the file's size)

#include "bench/TimingReporter.h"
#include "platform/registry/HiveText.h"
#include "platform/registry/Store.h"
#include "platform/sys/RegularFile.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

using namespace showsaver;
namespace fs = std::filesystem;

constexpr int kKeys = 20000;
constexpr int kSmallKeys = 4000;
constexpr int kValuesRead = 100;

std::string KeyPath(int key) {
    return "Software\\Vendor " + std::to_string(key % 97) + "\\Product " + std::to_string(key) + "\\Settings";
}

std::string HiveText(int keys) {
    registry::HiveData data;
    for (int key = 0; key < keys; ++key) {
        std::string path = KeyPath(key);
        data.SetValue(path, "Window", "left=" + std::to_string(key) + ",top=40,width=1024,height=768,maximized=0");
        data.SetValue(path, "Recent", "/home/someone/Documents/Project " + std::to_string(key) + "/notes.txt");
        data.SetValue(path, "Count", static_cast<uint32_t>(key));
        data.SetValue(path, "Colour", std::string("\"#") + std::to_string(100000 + key) + "\" \\ of the theme");
    }
    return registry::FormatHive(data, registry::Hive::CurrentUser);
}

void ReadBytes(benchmark::State& state, const fs::path& file) {
    for (auto _ : state) {
        auto bytes = sys::ReadRegularFile(file, UINT64_MAX);
        if (!bytes) return state.SkipWithError(bytes.Error().what.c_str());
        benchmark::DoNotOptimize(bytes->data.get());
    }
}

void ReadValues(benchmark::State& state, const fs::path& directory, int keys, int count) {
    // The key paths are known before reading, as start-up's are.
    std::vector<std::pair<int, std::string>> paths;
    for (int i = 0; i < count; ++i) {
        int key = static_cast<int>((static_cast<int64_t>(i) * 7919) % keys);
        paths.emplace_back(key, KeyPath(key));
    }
    for (auto _ : state) {
        auto store = std::make_unique<registry::Store>(directory);
        for (const auto& [key, path] : paths) {
            auto value = store->GetDword(registry::Hive::CurrentUser, path, "Count");
            if (value != static_cast<uint32_t>(key)) return state.SkipWithError("a value reads wrong");
        }
        // Freeing the parsed hive is no part of reading it.
        state.PauseTiming();
        store.reset();
        state.ResumeTiming();
    }
}

// With --benchmark_repetitions, the ratios are of the medians of the repetitions, which
// a loaded machine disturbs less than any one of them.
class MedianReporter : public bench::TimingReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median" && !run.error_occurred)
            {
                double unit = benchmark::GetTimeUnitMultiplier(run.time_unit);
                m_medians[run.run_name.function_name] = run.GetAdjustedRealTime() / unit;
                m_cpuMedians[run.run_name.function_name] = run.GetAdjustedCPUTime() / unit;
            }
        bench::TimingReporter::ReportRuns(runs);
    }
    double Seconds(const std::string& name) const {
        auto median = m_medians.find(name);
        return median != m_medians.end() ? median->second : bench::TimingReporter::Seconds(name + "/");
    }

    // The median CPU time, 0 without repetitions.
    double CpuSeconds(const std::string& name) const {
        auto median = m_cpuMedians.find(name);
        return median != m_cpuMedians.end() ? median->second : 0;
    }

private:
    std::map<std::string, double> m_medians, m_cpuMedians;
};

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    std::string pattern = (fs::temp_directory_path() / "showsaver-bench-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) return 1;
    const fs::path directory = pattern, small = directory / "small";
    fs::create_directories(small);
    const fs::path file = directory / "user.reg";
    std::ofstream(file, std::ios::binary) << HiveText(kKeys);
    std::ofstream(small / "user.reg", std::ios::binary) << HiveText(kSmallKeys);
    double bytes = static_cast<double>(fs::file_size(file)), smallBytes = static_cast<double>(fs::file_size(small / "user.reg"));
    std::printf("hives: %s, %.0f bytes, %d keys; %.0f bytes, %d keys\n", file.c_str(), bytes, kKeys, smallBytes,
                kSmallKeys);

    benchmark::RegisterBenchmark("read_bytes", ReadBytes, file)->Unit(benchmark::kMillisecond)->UseRealTime();
    benchmark::RegisterBenchmark("first_value", ReadValues, directory, kKeys, 1)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark("hundred_values", ReadValues, directory, kKeys, kValuesRead)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark("first_value_1mb", ReadValues, small, kSmallKeys, 1)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    double read = reporter.Seconds("read_bytes"), first = reporter.Seconds("first_value"),
           hundred = reporter.Seconds("hundred_values"), firstSmall = reporter.Seconds("first_value_1mb");
    if (read > 0 && first > 0 && firstSmall > 0) {
        std::printf("ratio hundred_values / first_value = %.2f (goal: at most 1.2)\n", hundred / first);
        std::printf("ratio first_value / read_bytes = %.2f (goal: at most 10)\n", first / read);
        std::printf("ratio of the time per byte, 1 MB / 5 MB = %.2f (1 when linear)\n",
                    (firstSmall / smallBytes) / (first / bytes));
    }
    // The same of the CPU times, which other processes on a busy machine disturb less.
    double cpuRead = reporter.CpuSeconds("read_bytes"), cpuFirst = reporter.CpuSeconds("first_value"),
           cpuHundred = reporter.CpuSeconds("hundred_values");
    if (cpuRead > 0 && cpuFirst > 0)
        std::printf("CPU time ratios: hundred_values / first_value = %.2f, first_value / read_bytes = %.2f\n",
                    cpuHundred / cpuFirst, cpuFirst / cpuRead);
    std::error_code ignored;
    fs::remove_all(directory, ignored);
    benchmark::Shutdown();
    return 0;
}
