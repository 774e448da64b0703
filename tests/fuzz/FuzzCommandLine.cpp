// The command line: NUL-separated words as the arguments. Whatever they are,
// a window id is an X id or nothing, and the window-id mode always has one.

#include "app/CommandLine.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::string> words(1);
    for (size_t i = 0; i < size && words.size() < 64; ++i) {
        if (data[i] == 0) words.emplace_back();
        else words.back() += static_cast<char>(data[i]);
    }
    std::vector<const char*> args;
    for (const auto& word : words) {
        args.push_back(word.c_str());
        unsigned long id = showsaver::ParseWindowId(word);
        if (id > 0x1FFFFFFFu) std::abort();
    }
    auto line = showsaver::ParseCommandLine(args);
    if (line.mode == showsaver::RunMode::HackWindowId && (line.window <= 0 || !line.hasWindow)) std::abort();
    return 0;
}
