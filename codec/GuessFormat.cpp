// Format recognition by signature. The table is walked in order and the
// first match wins, so its order is part of the behaviour: "BM" beats an
// enhanced-metafile tag at offset 40, and the bare 00 00 of WBMP and TGA
// comes last.

#include <algorithm>
#include <cctype>
#include <string>
#include <string_view>

#include "codec/CodecInternal.h"

namespace showsaver::codec {
namespace {

using namespace std::string_view_literals;

constexpr size_t kProbeBytes = 44;

struct Signature {
    Format format;
    size_t offset;
    std::string_view bytes;
};

// The encrypted containers (codes 9, 11, 12) would sit after BMP and after
// Photoshop; we do not know their signatures and never decode them.
constexpr Signature kSignatures[] = {
    {Format::Bmp, 0, "BM"sv},
    {Format::Gif, 0, "GIF89a"sv},
    {Format::Gif, 0, "GIF87a"sv},
    {Format::Jpeg, 0, "\xFF\xD8\xFF\xE0"sv},
    {Format::Jpeg, 0, "\xFF\xD8\xFF"sv},
    {Format::Pcx, 0, "\x0A\x00"sv},
    {Format::Pcx, 0, "\x0A\x02"sv},
    {Format::Pcx, 0, "\x0A\x03"sv},
    {Format::Pcx, 0, "\x0A\x05"sv},
    {Format::Tiff, 0, "MM"sv},
    {Format::Tiff, 0, "II"sv},
    {Format::Png, 0, "\x89PNG\r\n\x1A\n"sv},
    {Format::WindowsMetafile, 0, "\x01\x00\x09\x00\x00"sv},
    {Format::WindowsMetafile, 0, "\xD7\xCD\xC6\x9A"sv},
    {Format::EnhancedMetafile, 40, " EMF"sv},
    {Format::Photoshop, 0, "8BPS"sv},
    {Format::WbmpOrTga, 0, "\x00\x00"sv},
};

static_assert(std::all_of(std::begin(kSignatures), std::end(kSignatures),
                          [](const Signature& s) { return s.offset + s.bytes.size() <= kProbeBytes; }));

bool Matches(std::span<const uint8_t> probe, const Signature& signature) {
    if (probe.size() < signature.offset + signature.bytes.size()) return false;
    return std::equal(signature.bytes.begin(), signature.bytes.end(), probe.begin() + signature.offset,
                      [](char want, uint8_t have) { return static_cast<uint8_t>(want) == have; });
}

bool HasTgaExtension(const std::filesystem::path& path) {
    std::string extension = path.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension == ".tga";
}

} // namespace

Format GuessFormat(const Source& source) {
    const auto probe = source.Bytes().first(std::min(source.Size(), kProbeBytes));
    if (probe.empty()) {
        detail::RecordError({ErrorCode::FileRead, "there are no bytes to recognise"});
        return Format::Unknown;
    }
    const auto* match = std::find_if(std::begin(kSignatures), std::end(kSignatures),
                                     [&](const Signature& s) { return Matches(probe, s); });
    if (match == std::end(kSignatures)) return Format::Unknown;
    // Both WBMP and TGA may start with 00 00; only a file's name tells them
    // apart, and only ".tga" makes it a TGA.
    if (match->format == Format::WbmpOrTga && source.FilePath() && HasTgaExtension(*source.FilePath()))
        return Format::Tga;
    return match->format;
}

} // namespace showsaver::codec
