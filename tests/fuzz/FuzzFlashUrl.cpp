// A movie's loadMovie URL, arbitrary bytes, against a folder that holds a
// file, a folder and a link leading out: no crash, and a file found only
// inside the folder.

#include "flash/player/FlashPlayer.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

const fs::path& Folder() {
    static const fs::path folder = [] {
        fs::path root = fs::temp_directory_path() / ("showsaver-fuzz-url-" + std::to_string(getpid()));
        fs::create_directories(root / "show" / "sub");
        std::ofstream(root / "show" / "a.swf") << "x";
        std::ofstream(root / "show" / "sub" / "b.png") << "x";
        std::ofstream(root / "outside.swf") << "x";
        std::error_code ec;
        fs::create_symlink(root / "outside.swf", root / "show" / "out.swf", ec);
        return fs::canonical(root / "show");
    }();
    return folder;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string url(reinterpret_cast<const char*>(data), size);
    auto file = showsaver::flash::FileBesideMovie(Folder(), url);
    if (file) {
        std::string inside = Folder().string() + "/";
        if (file->string().compare(0, inside.size(), inside) != 0) std::abort();
    }
    return 0;
}
