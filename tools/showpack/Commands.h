#pragma once
// The showpack commands. Each returns the process's exit status: 0 done,
// 1 the input was refused (one line on stderr says why), 2 usage error.

#include "platform/sys/Result.h"

#include <filesystem>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "show/ShowLoader.h"

namespace showsaver::showpack {

// The engine's files are padded to this size; the show follows.
inline constexpr uint64_t kEngineSize = kShowOffset;

struct DumpOptions {
    bool json = false;
    bool raw = false;   // the numeric record instead of the friendly form
    std::optional<std::filesystem::path> filesDirectory;   // also write embedded files there
};

int Dump(const std::filesystem::path& file, const DumpOptions& options, std::ostream& out, std::ostream& err);

// Builds a bare show (signature A, version 4.5) from a JSON description.
// The error is a line naming the item and the field.
Result<std::vector<uint8_t>> BuildShow(const std::filesystem::path& description);

// Loads and validates a show as the engine does. Every message box's text
// goes to `err`; status 1 when the show is refused. With `json`, prints
// {"valid", "messages", "pictures": [{"index", "naturalWidth", "naturalHeight"}]}.
int Check(const std::filesystem::path& file, bool json, std::ostream& out, std::ostream& err);

// With `validate` (as the command line does) the show is loaded and
// validated as Check does first; one the engine would refuse is not written,
// its messages go to `err` and the status is 1. Without, a refused show is
// built too (for testing what refuses it).
int Build(const std::filesystem::path& description, const std::filesystem::path& output,
          const std::optional<std::filesystem::path>& engine, std::ostream& err, bool validate = false);

int Pack(const std::filesystem::path& showFile, const std::filesystem::path& output,
         const std::optional<std::filesystem::path>& engine, std::ostream& err);

// Writes the engine padded with zero bytes to kEngineSize, then the show,
// replacing `output` at once (a failure leaves no torn file).
Status<> WritePacked(const std::filesystem::path& engine, std::span<const uint8_t> show,
                     const std::filesystem::path& output);

// BuildShow, then WritePacked.
Status<> BuildPacked(const std::filesystem::path& description, const std::filesystem::path& engine,
                     const std::filesystem::path& output);

struct FlashOptions {
    std::filesystem::path file;
    int width = 0, height = 0, frames = 1;
    std::filesystem::path outDir;
};

// Writes the first `frames` frames of a Flash movie, played as the engine
// plays it (its clock, its root looping), as frame-NNNN.png files in `outDir`.
int Flash(const FlashOptions& options, std::ostream& out, std::ostream& err);

// The engine next to the running showpack, or the given one.
std::filesystem::path EnginePath(const std::optional<std::filesystem::path>& engine);

} // namespace showsaver::showpack
