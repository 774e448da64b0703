// The error texts and the per-thread last error, the codec's one piece of
// global state: the program asks for the code of the last failed call after
// the fact, from the thread that made it.

#include <algorithm>
#include <iterator>
#include <optional>
#include <utility>

#include "codec/CodecInternal.h"

namespace showsaver::codec {
namespace {

struct ErrorEntry {
    int code;
    std::string_view text;
};

// Codes 8, 12, 43, 44 and 52 have no entry and read "reserved value".
// Code 34's own text ends in a space.
constexpr ErrorEntry kErrorTexts[] = {
    {1, "out of memory"},
    {2, "error on file open"},
    {3, "error on file read"},
    {4, "error on file write"},
    {5, "bad user param"},
    {6, "bad BMP file"},
    {7, "some RLE variations are not supported"},
    {9, "bad JPG file"},
    {10, "error with device context"},
    {11, "problem with a GetDIBits call"},
    {13, "resource not found"},
    {14, "callback returned FALSE - operation aborted"},
    {15, "bad PNG file"},
    {16, "internal PNG decoder failure"},
    {17, "unexpected internal failure"},
    {18, "trouble creating a font object"},
    {19, "misc internal TIFF error"},
    {20, "invalid TIFF file"},
    {21, "this will not read TIFF-LZW images (note, unused error message)"},
    {22, "invalid PCX image"},
    {23, "a call to the fn CreateCompatibleBitmap failed"},
    {24, "end of an image while using single-line de/compression"},
    {25, "error during a call to GetDIBits"},
    {26, "device does not support an operation required by this function"},
    {27, "invalid windows metafile"},
    {28, "the file was not of the requested bit-depth"},
    {29, "a call to BitBlt failed."},
    {30, "output buffer is too small for this operation"},
    {31, "not enough room in the output palette to store the colors from this image"},
    {32, "Invalid TGA File"},
    {33, "No TGA Thumbnail in the file"},
    {34, "reserved value "},
    {35, "a call to the fn CreateDIBitmap failed"},
    {36, "LZW de/compression is not permitted"},
    {37, "a call to SelectObject has failed (DC does not support this operation?)"},
    {38, "the HISSRC or HISDEST object passed into the function does appear to be valid"},
    {39, "the function is obsolete"},
    {40, "a call to CreateDIBSection failed"},
    {41, "a call to SetWinMetaFileBits failed (95/98 only)"},
    {42, "a call to GetEnhMetaFileBits or GetWinMetaFileBits failed"},
    {45, "this function is not supported in this build (see DLL build options)"},
    {46, "invalid PSD (Photoshop) file"},
    {47, "this Photoshop sub-format is not supported"},
    {48, "decryption error - possible bad password for encrypted files"},
    {49, "encryption failed"},
    {50, "compression failed"},
    {51, "decompression error - possible bad password for encrypted files"},
    {53, "invalid or unsupported WBMP (Wireless Bitmap) image."},
    {54, "unsupported TIFF tag"},
    {55, "failed allocation of thread-local storage"},
    {56, "invalid EXIF format"},
    {57, "no EXIF string was found with the given ID"},
};

constexpr int kFirstCode = 1;
constexpr int kLastCode = 57;

static_assert(std::is_sorted(std::begin(kErrorTexts), std::end(kErrorTexts),
                             [](const ErrorEntry& a, const ErrorEntry& b) { return a.code < b.code; }));

thread_local detail::CodecError t_lastError{ErrorCode::None, ""};
thread_local std::optional<PictureSize> t_pendingRefusedSize;
thread_local std::optional<PictureSize> t_lastRefusedSize;

} // namespace

std::string_view ErrorText(int code) {
    if (code < kFirstCode || code > kLastCode) return "Unknown error";
    const auto* entry = std::lower_bound(std::begin(kErrorTexts), std::end(kErrorTexts), code,
                                         [](const ErrorEntry& e, int c) { return e.code < c; });
    if (entry == std::end(kErrorTexts) || entry->code != code) return "reserved value";
    return entry->text;
}

int LastError() { return static_cast<int>(t_lastError.code); }

std::string_view LastErrorDetail() { return t_lastError.what; }

std::optional<PictureSize> LastRefusedSize() { return t_lastRefusedSize; }

namespace detail {

void RecordError(const CodecError& error) {
    t_lastError = error;
    t_lastRefusedSize = std::exchange(t_pendingRefusedSize, std::nullopt);
}

void NoteRefusedSize(int64_t width, int64_t height) { t_pendingRefusedSize = PictureSize{width, height}; }

} // namespace detail
} // namespace showsaver::codec
