// Separable resampling of RGB images. Each axis gets a table of weights per
// output position: along an axis that shrinks, an output pixel covers
// source / output source pixels and each takes a weight by the length it
// covers (an area average, no aliasing); along an axis that grows, an output
// pixel's centre falls between two source centres and they are mixed by
// distance (bilinear). The rows are first resampled across into 16-bit
// intermediates, then down the columns.

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "codec/CodecInternal.h"

namespace showsaver::codec {
namespace {

using detail::CheckPictureSize;
using detail::CodecError;
using detail::Status;

constexpr int kWeightBits = 14;
constexpr int32_t kWeightOne = 1 << kWeightBits;
// The horizontal pass keeps 8 extra bits of each channel; the vertical pass
// sums at most 255 × 256 × kWeightOne, well inside 32 bits.
constexpr int kIntermediateShift = kWeightBits - 8;

// The source taps of every output position along one axis.
struct AxisWeights {
    std::vector<int32_t> first; // first source index of each output position
    std::vector<int32_t> count; // number of taps
    std::vector<int32_t> weights; // `taps` weights per output position
    int taps = 0;
};

// Turns real-valued weights into integers that sum to exactly kWeightOne,
// so that a flat colour stays exactly that colour.
void Quantize(const double* in, int32_t* out, int n) {
    int32_t sum = 0;
    int largest = 0;
    for (int i = 0; i < n; ++i) {
        out[i] = static_cast<int32_t>(in[i] * kWeightOne + 0.5);
        sum += out[i];
        if (out[i] > out[largest]) largest = i;
    }
    out[largest] += kWeightOne - sum;
}

AxisWeights AreaWeights(int from, int to) {
    AxisWeights axis;
    const double scale = static_cast<double>(from) / to; // > 1: source pixels per output pixel
    axis.taps = static_cast<int>(scale) + 2;
    axis.first.resize(static_cast<size_t>(to));
    axis.count.resize(static_cast<size_t>(to));
    axis.weights.assign(static_cast<size_t>(to) * static_cast<size_t>(axis.taps), 0);
    std::vector<double> real(static_cast<size_t>(axis.taps));
    for (int i = 0; i < to; ++i) {
        const double begin = i * scale, end = (i + 1) * scale;
        const int first = static_cast<int>(begin);
        const int last = std::min(from - 1, static_cast<int>(end - 1e-9));
        const int count = last - first + 1;
        for (int k = 0; k < count; ++k) {
            const double cover = std::min(end, first + k + 1.0) - std::max(begin, static_cast<double>(first + k));
            real[static_cast<size_t>(k)] = cover / scale;
        }
        axis.first[static_cast<size_t>(i)] = first;
        axis.count[static_cast<size_t>(i)] = count;
        Quantize(real.data(), &axis.weights[static_cast<size_t>(i) * static_cast<size_t>(axis.taps)], count);
    }
    return axis;
}

// Pixel centres are aligned (output centre i + 0.5 maps to source position
// (i + 0.5) × from / to); beyond the outer source centres the edge pixel is
// repeated.
AxisWeights BilinearWeights(int from, int to) {
    AxisWeights axis;
    axis.taps = 2;
    axis.first.resize(static_cast<size_t>(to));
    axis.count.resize(static_cast<size_t>(to));
    axis.weights.resize(static_cast<size_t>(to) * 2);
    const double scale = static_cast<double>(from) / to;
    for (int i = 0; i < to; ++i) {
        const double position = std::clamp((i + 0.5) * scale - 0.5, 0.0, from - 1.0);
        const int left = std::min(static_cast<int>(position), std::max(from - 2, 0));
        const double fraction = position - left;
        const double real[2] = {1.0 - fraction, fraction};
        axis.first[static_cast<size_t>(i)] = left;
        axis.count[static_cast<size_t>(i)] = from > 1 ? 2 : 1;
        Quantize(real, &axis.weights[static_cast<size_t>(i) * 2], axis.count[static_cast<size_t>(i)]);
    }
    return axis;
}

AxisWeights WeightsFor(int from, int to) { return to < from ? AreaWeights(from, to) : BilinearWeights(from, to); }

void ResampleRow(const uint8_t* src, uint16_t* dst, const AxisWeights& axis, int width) {
    for (int x = 0; x < width; ++x) {
        const size_t at = static_cast<size_t>(x);
        const uint8_t* p = src + 3 * static_cast<size_t>(axis.first[at]);
        const int32_t* w = &axis.weights[at * static_cast<size_t>(axis.taps)];
        int32_t r = 0, g = 0, b = 0;
        for (int k = 0; k < axis.count[at]; ++k, p += 3) {
            r += w[k] * p[0];
            g += w[k] * p[1];
            b += w[k] * p[2];
        }
        constexpr int32_t half = 1 << (kIntermediateShift - 1);
        dst[3 * at] = static_cast<uint16_t>((r + half) >> kIntermediateShift);
        dst[3 * at + 1] = static_cast<uint16_t>((g + half) >> kIntermediateShift);
        dst[3 * at + 2] = static_cast<uint16_t>((b + half) >> kIntermediateShift);
    }
}

// Sums each output row tap by tap over whole rows, so that the inner loop
// runs over contiguous values.
void ResampleColumns(const uint16_t* rows, uint8_t* dst, const AxisWeights& axis, size_t rowValues,
                     int height) {
    constexpr int shift = kWeightBits + 8;
    constexpr int32_t half = 1 << (shift - 1);
    std::vector<int32_t> sums(rowValues);
    for (int y = 0; y < height; ++y) {
        const size_t at = static_cast<size_t>(y);
        const int32_t* w = &axis.weights[at * static_cast<size_t>(axis.taps)];
        std::fill(sums.begin(), sums.end(), half);
        for (int k = 0; k < axis.count[at]; ++k) {
            const uint16_t* src = &rows[(static_cast<size_t>(axis.first[at]) + static_cast<size_t>(k)) * rowValues];
            const int32_t weight = w[k];
            for (size_t i = 0; i < rowValues; ++i) sums[i] += weight * src[i];
        }
        uint8_t* out = dst + at * rowValues;
        for (size_t i = 0; i < rowValues; ++i) out[i] = static_cast<uint8_t>(std::clamp(sums[i] >> shift, 0, 255));
    }
}

Status CheckTarget(const RgbImage& source, int width, int height) {
    if (source.Empty()) return CodecError{ErrorCode::BadParameter, "there is no image to resample"};
    return CheckPictureSize(width, height, UINT64_MAX, ErrorCode::BadParameter);
}

// `consumed`: the source's rows are given back as they are read. The
// intermediate rows are left unset until written, so that their pages
// become resident only as the source's go.
void ResampleChecked(const RgbImage& source, uint8_t* destination, int width, int height,
                     RgbImage* consumed = nullptr) {
    if (width == source.Width() && height == source.Height()) {
        std::memcpy(destination, source.Data(), source.SizeBytes());
        return;
    }
    constexpr int kRowsPerGiveBack = 64;
    const AxisWeights across = WeightsFor(source.Width(), width);
    const AxisWeights down = WeightsFor(source.Height(), height);
    const size_t rowValues = static_cast<size_t>(width) * 3;
    auto rows = std::make_unique_for_overwrite<uint16_t[]>(rowValues * static_cast<size_t>(source.Height()));
    for (int y = 0; y < source.Height(); ++y) {
        ResampleRow(source.Row(y), &rows[static_cast<size_t>(y) * rowValues], across, width);
        if (consumed && (y + 1) % kRowsPerGiveBack == 0) consumed->GiveBackRowsBefore(y + 1);
    }
    if (consumed) *consumed = RgbImage();
    ResampleColumns(rows.get(), destination, down, rowValues, height);
}

bool Fail(const CodecError& error) {
    detail::RecordError(error);
    return false;
}

} // namespace

std::optional<RgbImage> Resample(const RgbImage& source, int width, int height) {
    return detail::AtBoundary([&]() -> detail::Result<RgbImage> {
        if (auto status = CheckTarget(source, width, height); !status) return status.Error();
        RgbImage result = RgbImage::Uninitialized(width, height);
        ResampleChecked(source, result.Data(), width, height);
        return result;
    });
}

std::optional<RgbImage> Resample(RgbImage&& source, int width, int height) {
    RgbImage consumed = std::move(source);
    return detail::AtBoundary([&]() -> detail::Result<RgbImage> {
        if (auto status = CheckTarget(consumed, width, height); !status) return status.Error();
        RgbImage result = RgbImage::Uninitialized(width, height);
        ResampleChecked(consumed, result.Data(), width, height, &consumed);
        return result;
    });
}

bool ResampleInto(const RgbImage& source, std::span<uint8_t> destination, int width, int height) {
    if (auto status = CheckTarget(source, width, height); !status) return Fail(status.Error());
    if (destination.size() != static_cast<size_t>(width) * static_cast<size_t>(height) * 3)
        return Fail({ErrorCode::BadParameter, "the destination is not width × height × 3 bytes"});
    try {
        ResampleChecked(source, destination.data(), width, height);
        return true;
    } catch (const std::bad_alloc&) {
        return Fail({ErrorCode::OutOfMemory, "no memory for the intermediate rows"});
    }
}

} // namespace showsaver::codec
