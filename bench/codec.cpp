// Speed of the codec layer, as ratios to baselines measured in the same run:
//  - JPEG and PNG decoding of a 1920 × 1080 picture to RGB, against
//    libjpeg-turbo's and libpng's own decoding of the same bytes to RGB
//    (goal: at most 1.2);
//  - checking a JPEG as validation does, without its pixels, against our
//    decoding of it (no goal: entropy decoding, which both do, dominates
//    at this size; the check saves more on larger pictures, whose pixels
//    cost page faults too);
//  - a JPEG shown at a quarter of its size (480 × 270), decoded and
//    resampled whole against decoded at that scale and resampled (no goal;
//    for scale);
//  - BMP, TGA and PCX decoding, against allocating and copying the RGB
//    bytes they produce (goal: at most 4);
//  - PCX's two stages apart (expanding the runs, interleaving the planes),
//    against the same copy, to show where its time goes;
//  - resampling 1920 × 1080 to 1280 × 720, reported against the same copy
//    for scale.
// The inputs are made at start-up from a synthetic photograph (smooth
// gradients plus noise) and decoded from memory. After the usual table the
// program prints one "ratio" line per comparison, from CPU times.

#include <benchmark/benchmark.h>
#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "codec/Codec.h"
#include "codec/PcxRle.h"
#include "codec/PixelRows.h"

namespace {

using namespace showsaver::codec;
using Bytes = std::vector<uint8_t>;

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;

RgbImage MakePhotograph() {
    RgbImage image = RgbImage::Uninitialized(kWidth, kHeight);
    std::mt19937 random(42);
    std::normal_distribution<double> noise(0.0, 6.0);
    for (int y = 0; y < kHeight; ++y) {
        uint8_t* row = image.Row(y);
        for (int x = 0; x < kWidth; ++x) {
            const double base[3] = {40 + 180.0 * x / kWidth, 30 + 160.0 * y / kHeight,
                                    200 - 150.0 * (x + y) / (kWidth + kHeight)};
            for (int c = 0; c < 3; ++c)
                row[3 * x + c] = static_cast<uint8_t>(std::clamp(base[c] + noise(random), 0.0, 255.0));
        }
    }
    return image;
}

Bytes ReadAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

// JPEG and BMP through our own writers, via a private temporary file.
Bytes Encode(const RgbImage& image, bool jpeg) {
    char folder[] = "/tmp/codec-bench-XXXXXX";
    if (!mkdtemp(folder)) return {};
    const auto path = std::filesystem::path(folder) / "picture";
    const bool written = jpeg ? WriteJpeg(path, image, 90) : WriteBmp(path, image);
    Bytes bytes = written ? ReadAll(path) : Bytes{};
    std::filesystem::remove_all(folder);
    return bytes;
}

Bytes EncodePng(const RgbImage& image) {
    png_image description{};
    description.version = PNG_IMAGE_VERSION;
    description.width = static_cast<png_uint_32>(image.Width());
    description.height = static_cast<png_uint_32>(image.Height());
    description.format = PNG_FORMAT_RGB;
    png_alloc_size_t size = 0;
    if (!png_image_write_to_memory(&description, nullptr, &size, 0, image.Data(), 0, nullptr)) return {};
    Bytes out(size);
    if (!png_image_write_to_memory(&description, out.data(), &size, 0, image.Data(), 0, nullptr)) return {};
    out.resize(size);
    return out;
}

// 24-bit TGA, raw, top-left origin.
Bytes EncodeTga(const RgbImage& image) {
    Bytes out{0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, static_cast<uint8_t>(kWidth), static_cast<uint8_t>(kWidth >> 8),
              static_cast<uint8_t>(kHeight), static_cast<uint8_t>(kHeight >> 8), 24, 0x20};
    for (size_t i = 0; i < image.SizeBytes(); i += 3) out.insert(out.end(), {image.Data()[i + 2], image.Data()[i + 1], image.Data()[i]});
    return out;
}

// 24-bit PCX: three RLE-compressed planes per line.
Bytes EncodePcx(const RgbImage& image) {
    Bytes out(128, 0);
    out[0] = 0x0A;
    out[1] = 5;
    out[2] = 1;
    out[3] = 8;
    out[8] = static_cast<uint8_t>(kWidth - 1);
    out[9] = static_cast<uint8_t>((kWidth - 1) >> 8);
    out[10] = static_cast<uint8_t>(kHeight - 1);
    out[11] = static_cast<uint8_t>((kHeight - 1) >> 8);
    out[65] = 3;
    out[66] = static_cast<uint8_t>(kWidth);
    out[67] = static_cast<uint8_t>(kWidth >> 8);
    for (int y = 0; y < kHeight; ++y)
        for (int plane = 0; plane < 3; ++plane)
            for (int x = 0; x < kWidth;) {
                const uint8_t value = image.Row(y)[3 * x + plane];
                int run = 1;
                while (x + run < kWidth && run < 63 && image.Row(y)[3 * (x + run) + plane] == value) ++run;
                if (run > 1 || value >= 0xC0) out.push_back(static_cast<uint8_t>(0xC0 | run));
                out.push_back(value);
                x += run;
            }
    return out;
}

struct Inputs {
    RgbImage photograph = MakePhotograph();
    Bytes jpeg = Encode(photograph, true);
    Bytes png = EncodePng(photograph);
    Bytes bmp = Encode(photograph, false);
    Bytes tga = EncodeTga(photograph);
    Bytes pcx = EncodePcx(photograph);
};

void CheckJpegs(benchmark::State& state, const Bytes& bytes) {
    for (auto _ : state) {
        auto source = OpenMemorySource(bytes);
        auto size = CheckJpeg(*source);
        if (!size) state.SkipWithError("the check failed");
        benchmark::DoNotOptimize(size);
    }
}

// The JPEG decoded as a picture shown at 480 × 270 is: whole, or at the
// smallest scale that covers that size; then resampled to it.
void ShowJpegSmall(benchmark::State& state, const Bytes& bytes, bool scaled) {
    for (auto _ : state) {
        auto source = OpenMemorySource(bytes);
        PictureSize full;
        auto image = scaled ? ReadJpegScaled(*source, 480, 270, full) : ReadJpeg(*source);
        if (!image) state.SkipWithError("decoding failed");
        auto shown = Resample(std::move(*image), 480, 270);
        benchmark::DoNotOptimize(shown);
    }
}

void DecodeOurs(benchmark::State& state, const Bytes& bytes, std::optional<RgbImage> (*reader)(Source&)) {
    for (auto _ : state) {
        auto source = OpenMemorySource(bytes);
        auto image = reader(*source);
        if (!image) state.SkipWithError("decoding failed");
        benchmark::DoNotOptimize(image);
    }
    state.SetBytesProcessed(state.iterations() * kWidth * kHeight * 3);
}

// libjpeg-turbo on its own: the same bytes to RGB rows in one block.
void DecodeWithLibjpeg(benchmark::State& state, const Bytes& bytes) {
    for (auto _ : state) {
        jpeg_decompress_struct info{};
        jpeg_error_mgr errors{};
        info.err = jpeg_std_error(&errors);
        jpeg_create_decompress(&info);
        jpeg_mem_src(&info, bytes.data(), bytes.size());
        jpeg_read_header(&info, TRUE);
        info.out_color_space = JCS_RGB;
        jpeg_start_decompress(&info);
        const size_t stride = size_t{info.output_width} * 3;
        auto pixels = std::make_unique_for_overwrite<uint8_t[]>(stride * info.output_height);
        while (info.output_scanline < info.output_height) {
            JSAMPROW row = pixels.get() + stride * info.output_scanline;
            jpeg_read_scanlines(&info, &row, 1);
        }
        jpeg_finish_decompress(&info);
        jpeg_destroy_decompress(&info);
        benchmark::DoNotOptimize(pixels);
    }
}

struct MemoryInput {
    const Bytes* bytes;
    size_t at;
};

void ReadFromMemory(png_structp png, png_bytep out, size_t size) {
    auto* input = static_cast<MemoryInput*>(png_get_io_ptr(png));
    std::memcpy(out, input->bytes->data() + input->at, size);
    input->at += size;
}

// libpng on its own: the same bytes to RGB rows in one block.
void DecodeWithLibpng(benchmark::State& state, const Bytes& bytes) {
    for (auto _ : state) {
        png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
        png_infop info = png_create_info_struct(png);
        MemoryInput input{&bytes, 0};
        png_set_read_fn(png, &input, ReadFromMemory);
        png_read_info(png, info);
        const uint32_t width = png_get_image_width(png, info), height = png_get_image_height(png, info);
        auto pixels = std::make_unique_for_overwrite<uint8_t[]>(size_t{width} * height * 3);
        std::vector<png_bytep> rows(height);
        for (uint32_t y = 0; y < height; ++y) rows[y] = pixels.get() + size_t{y} * width * 3;
        png_read_image(png, rows.data());
        png_destroy_read_struct(&png, &info, nullptr);
        benchmark::DoNotOptimize(pixels);
    }
}

// PCX's two stages on their own: expanding the runs of every line (with
// the kernel this processor runs, and the portable one), and interleaving
// the three planes of every line into the RGB rows.
void ExpandPcxRuns(benchmark::State& state, const Bytes& pcx, detail::RleKernel kernel) {
    const std::span<const uint8_t> data = std::span(pcx).subspan(128);
    std::vector<uint8_t> line(3 * kWidth + detail::RleLineReader::kSlack);
    for (auto _ : state) {
        detail::RleLineReader reader(data, true, kernel);
        for (int y = 0; y < kHeight; ++y)
            if (!reader.Next(std::span(line.data(), 3 * kWidth))) state.SkipWithError("expanding failed");
        benchmark::DoNotOptimize(line.data());
    }
    state.SetBytesProcessed(state.iterations() * kWidth * kHeight * 3);
}

void InterleavePcxPlanes(benchmark::State& state, const RgbImage& photograph) {
    Bytes planes(3 * kWidth);
    for (int x = 0; x < kWidth; ++x)
        for (int c = 0; c < 3; ++c) planes[c * kWidth + x] = photograph.Row(0)[3 * x + c];
    for (auto _ : state) {
        auto pixels = std::make_unique_for_overwrite<uint8_t[]>(photograph.SizeBytes());
        for (int y = 0; y < kHeight; ++y)
            detail::PlanesToRgb(planes.data(), planes.data() + kWidth, planes.data() + 2 * kWidth,
                                pixels.get() + static_cast<size_t>(y) * kWidth * 3, kWidth);
        benchmark::DoNotOptimize(pixels);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(photograph.SizeBytes()));
}

// What any decoder must at least do: allocate the RGB block and fill it.
void CopyRgb(benchmark::State& state, const RgbImage& photograph) {
    for (auto _ : state) {
        auto pixels = std::make_unique_for_overwrite<uint8_t[]>(photograph.SizeBytes());
        std::memcpy(pixels.get(), photograph.Data(), photograph.SizeBytes());
        benchmark::DoNotOptimize(pixels);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(photograph.SizeBytes()));
}

void ResampleToHd(benchmark::State& state, const RgbImage& photograph) {
    for (auto _ : state) {
        auto small = Resample(photograph, 1280, 720);
        benchmark::DoNotOptimize(small);
    }
}

// Keeps every benchmark's CPU time per iteration, by name: the median when
// the run has repetitions (--benchmark_repetitions), otherwise the single
// run. CPU time, because a shared machine's load inflates wall time.
class RecordingReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const auto& run : runs) {
            if (run.error_occurred) continue;
            const std::string name = run.run_name.str();
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median")
                m_medians[name] = run.GetAdjustedCPUTime();
            else if (run.run_type == Run::RT_Iteration)
                m_singles[name] = run.GetAdjustedCPUTime();
        }
        ConsoleReporter::ReportRuns(runs);
    }
    double Time(const std::string& name) const {
        if (const auto it = m_medians.find(name); it != m_medians.end()) return it->second;
        const auto it = m_singles.find(name);
        return it == m_singles.end() ? 0.0 : it->second;
    }

private:
    std::map<std::string, double> m_medians;
    std::map<std::string, double> m_singles;
};

void PrintRatio(const RecordingReporter& reporter, const std::string& ours, const std::string& baseline, double goal) {
    const double a = reporter.Time(ours), b = reporter.Time(baseline);
    if (a == 0 || b == 0) return; // filtered out or failed
    std::printf("ratio %-26s / %-22s = %5.2f  (goal <= %.1f)\n", ours.c_str(), baseline.c_str(), a / b, goal);
}

} // namespace

int main(int argc, char** argv) {
    const Inputs inputs;
    if (inputs.jpeg.empty() || inputs.png.empty() || inputs.bmp.empty()) {
        std::fprintf(stderr, "could not make the benchmark's inputs\n");
        return 1;
    }
    benchmark::RegisterBenchmark("Jpeg/Ours", DecodeOurs, inputs.jpeg, ReadJpeg)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Jpeg/Libjpeg", DecodeWithLibjpeg, inputs.jpeg)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Jpeg/Check", CheckJpegs, inputs.jpeg)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Jpeg/ShownSmall/Whole", ShowJpegSmall, inputs.jpeg, false)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Jpeg/ShownSmall/Scaled", ShowJpegSmall, inputs.jpeg, true)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Png/Ours", DecodeOurs, inputs.png, ReadPng)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Png/Libpng", DecodeWithLibpng, inputs.png)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Bmp/Ours", DecodeOurs, inputs.bmp, ReadBmp)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Tga/Ours", DecodeOurs, inputs.tga, ReadTga)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Pcx/Ours", DecodeOurs, inputs.pcx, ReadPcx)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Pcx/Runs", ExpandPcxRuns, inputs.pcx, detail::FastestRleKernel())
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Pcx/RunsPortable", ExpandPcxRuns, inputs.pcx, detail::RleKernel::Portable)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Pcx/Planes", InterleavePcxPlanes, std::cref(inputs.photograph))
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Rgb/Copy", CopyRgb, std::cref(inputs.photograph))->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Resample/1920x1080to1280x720", ResampleToHd, std::cref(inputs.photograph))
        ->Unit(benchmark::kMillisecond);

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    RecordingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    std::printf("\n");
    PrintRatio(reporter, "Jpeg/Ours", "Jpeg/Libjpeg", 1.2);
    if (reporter.Time("Jpeg/Check") > 0 && reporter.Time("Jpeg/Ours") > 0)
        std::printf("ratio %-26s / %-22s = %5.2f  (no goal; for scale)\n", "Jpeg/Check", "Jpeg/Ours",
                    reporter.Time("Jpeg/Check") / reporter.Time("Jpeg/Ours"));
    if (reporter.Time("Jpeg/ShownSmall/Scaled") > 0 && reporter.Time("Jpeg/ShownSmall/Whole") > 0)
        std::printf("ratio %-26s / %-22s = %5.2f  (no goal; for scale)\n", "Jpeg/ShownSmall/Scaled",
                    "Jpeg/ShownSmall/Whole", reporter.Time("Jpeg/ShownSmall/Scaled") / reporter.Time("Jpeg/ShownSmall/Whole"));
    PrintRatio(reporter, "Png/Ours", "Png/Libpng", 1.2);
    PrintRatio(reporter, "Bmp/Ours", "Rgb/Copy", 4.0);
    PrintRatio(reporter, "Tga/Ours", "Rgb/Copy", 4.0);
    PrintRatio(reporter, "Pcx/Ours", "Rgb/Copy", 4.0);
    for (const char* stage : {"Pcx/Runs", "Pcx/RunsPortable", "Pcx/Planes"})
        if (reporter.Time(stage) > 0 && reporter.Time("Rgb/Copy") > 0)
            std::printf("ratio %-26s / %-22s = %5.2f  (a stage of Pcx/Ours)\n", stage, "Rgb/Copy",
                        reporter.Time(stage) / reporter.Time("Rgb/Copy"));
    const double resample = reporter.Time("Resample/1920x1080to1280x720");
    if (resample > 0 && reporter.Time("Rgb/Copy") > 0)
        std::printf("ratio %-26s / %-22s = %5.2f  (no goal; for scale)\n", "Resample/1920x1080to1280x720", "Rgb/Copy",
                    resample / reporter.Time("Rgb/Copy"));
    return 0;
}
