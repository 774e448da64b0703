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

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace showsaver;
    static const std::filesystem::path folder = [] {
        auto path = std::filesystem::temp_directory_path() / ("fuzz-description-" + std::to_string(::getpid()));
        std::filesystem::create_directories(path);
        return path;
    }();
    const auto file = folder / "show.json";
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
