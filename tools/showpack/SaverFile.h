#pragma once
// Saver files as they come: a bare show, or any executable followed by a
// show at kEngineSize bytes, whatever engine (or platform) it was made for.

#include "platform/sys/Result.h"
#include "platform/sys/TempFiles.h"

#include <cstdint>
#include <filesystem>
#include <iosfwd>
#include <memory>
#include <vector>

namespace showsaver::showpack {

// The show's bytes, checked to load as a show.
Result<std::vector<uint8_t>> ReadShowOf(const std::filesystem::path& file);

// A saver our engine runs: the file itself when our engine already sits in
// front of its show, else its show packed anew with our engine into a
// private temporary folder, under the file's own name, with the engine
// library linked beside it. The folder goes with this object.
class OurSaver {
public:
    Status<> Prepare(const std::filesystem::path& file, const std::filesystem::path& engine,
                     const std::filesystem::path& engineLibrary);
    const std::filesystem::path& Path() const { return m_path; }
    bool Repacked() const { return m_folder != nullptr; }

private:
    std::unique_ptr<sys::TempDirectory> m_folder;
    std::filesystem::path m_path;
};

// showpack play: plays a saver file fullscreen with our engine (its /s) and
// returns the engine's exit status. SIGINT and SIGTERM are passed on to it.
int Play(const std::filesystem::path& file, std::ostream& err);

} // namespace showsaver::showpack
