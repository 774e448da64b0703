// libFuzzer target: arbitrary bytes as a show description for showpack
// build. A description either builds a show that loads back, or is refused
// with one error that names the file; a line it names lies within the text.
// Never a crash or a hang.

#include "app/ItemKinds.h"
#include "show/ShowLoader.h"
#include "show/ShowReader.h"
#include "tools/showpack/Commands.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace showsaver;
    // A file's path stays inside the description's own folder, which holds
    // only the description: no slash, plain or escaped, reaches the host's files.
    std::string_view text(reinterpret_cast<const char*>(data), size);
    if (text.find('/') != std::string_view::npos || text.find("u002f") != std::string_view::npos ||
        text.find("u002F") != std::string_view::npos)
        return 0;
    // Removed when the fuzzer ends.
    static const struct Folder {
        std::filesystem::path path = std::filesystem::temp_directory_path() /
                                     ("fuzz-description-" + std::to_string(::getpid()));
        Folder() { std::filesystem::create_directories(path); }
        ~Folder() {
            std::error_code ignored;
            std::filesystem::remove_all(path, ignored);
        }
    } folder;
    const auto file = folder.path / "show.json";
    {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    auto built = showpack::BuildShow(file);
    if (!built) {
        const std::string& what = built.Error().what;
        if (!what.starts_with("show.json:") && what.find("show.json") == std::string::npos) std::abort();
        if (what.starts_with("show.json:")) {
            long line = std::strtol(what.c_str() + 10, nullptr, 10);
            long lines = std::count(data, data + size, '\n') + 1;
            if (line < 0 || line > lines) std::abort();
        }
        return 0;
    }
    ShowItemRegistry registry;
    ShowInfo info;
    ShowReader reader(*built);
    info.headerWord = reader.ReadUInt32();
    if (!LoadShow(reader, registry, registry.Items(), info, nullptr)) std::abort();
    return 0;
}
