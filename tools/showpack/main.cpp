// showpack: builds and inspects showsaver shows.

#include "tools/showpack/Commands.h"
#include "tools/showpack/Export.h"
#include "tools/showpack/Install.h"
#include "tools/showpack/Render.h"
#include "tools/showpack/SaverFile.h"

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

#include <iostream>
#include <string_view>
#include <vector>

namespace {

constexpr const char* kAbout =
    "showpack builds, packs and inspects showsaver shows, and installs packed\n"
    "shows as screensavers of xscreensaver and MATE. A SAVER is a bare show or\n"
    "any executable followed by a show at byte 581,632, whatever engine made it.\n\n";

constexpr const char* kUsage =
    "usage: showpack dump [--json [--raw] [--files DIR]] FILE\n"
    "       showpack check [--json] FILE\n"
    "       showpack render FILE --size WxH --out DIR [--each-item] [--fast]\n"
    "       showpack flash FILE --size WxH --frames N --out DIR\n"
    "       showpack export SAVER -o FILM.mp4|FILM.webm|FILM.mkv [--size WxH] [--fps N] [--duration SECONDS]\n"
    "       showpack build DESCRIPTION.json -o OUTPUT [--engine PATH] [--no-check]\n"
    "       showpack pack SAVER -o OUTPUT [--engine PATH]\n"
    "       showpack play SAVER\n"
    "       showpack install SAVER [--name NAME] [--user | --prefix DIR] [--dry-run] [--force]\n";

int Usage(std::string_view problem = {}) {
    if (!problem.empty()) std::cerr << "showpack: " << problem << "\n";
    std::cerr << kUsage;
    return 2;
}

// Splits the arguments after the command into positional arguments and the
// values of the options that take one.
struct Arguments {
    std::vector<std::string> positional;
    std::optional<std::string> output, engine, files, size, out, frames, name, prefix, fps, duration;
    bool json = false, raw = false, eachItem = false, fast = false, user = false, dryRun = false, force = false;
    bool noCheck = false;   // build: also a show the engine would refuse
    std::string problem;
};

Arguments Parse(int argc, char** argv) {
    Arguments args;
    for (int i = 2; i < argc; ++i) {
        std::string_view word = argv[i];
        auto value = [&](std::optional<std::string>& slot) {
            if (i + 1 >= argc) {
                args.problem = std::string(word) + " needs a value";
                return;
            }
            slot = argv[++i];
        };
        if (word == "--json")
            args.json = true;
        else if (word == "--raw")
            args.raw = true;
        else if (word == "-o" || word == "--output")
            value(args.output);
        else if (word == "--engine")
            value(args.engine);
        else if (word == "--files")
            value(args.files);
        else if (word == "--size")
            value(args.size);
        else if (word == "--out")
            value(args.out);
        else if (word == "--frames")
            value(args.frames);
        else if (word == "--fps")
            value(args.fps);
        else if (word == "--duration")
            value(args.duration);
        else if (word == "--name")
            value(args.name);
        else if (word == "--prefix")
            value(args.prefix);
        else if (word == "--user")
            args.user = true;
        else if (word == "--dry-run")
            args.dryRun = true;
        else if (word == "--force")
            args.force = true;
        else if (word == "--no-check")
            args.noCheck = true;
        else if (word == "--each-item")
            args.eachItem = true;
        else if (word == "--fast")
            args.fast = true;
        else if (word.size() > 1 && word.front() == '-')
            args.problem = "unknown option " + std::string(word);
        else
            args.positional.emplace_back(word);
    }
    return args;
}

} // namespace

int main(int argc, char** argv) {
    using namespace showsaver::showpack;
    if (argc < 2) return Usage();
    std::string_view command = argv[1];
    if (command == "--help" || command == "-h") {
        std::cout << kAbout << kUsage;
        return 0;
    }
    Arguments args = Parse(argc, argv);
    if (!args.problem.empty()) return Usage(args.problem);
    auto engine = args.engine ? std::optional<std::filesystem::path>(*args.engine) : std::nullopt;

    if (command == "dump") {
        if (args.positional.size() != 1 || args.output || args.engine || ((args.files || args.raw) && !args.json))
            return Usage("dump takes one FILE (and --raw and --files only with --json)");
        DumpOptions options{args.json, args.raw,
                            args.files ? std::optional<std::filesystem::path>(*args.files) : std::nullopt};
        return Dump(args.positional[0], options, std::cout, std::cerr);
    }
    if (command == "render") {
        RenderOptions options;
        int w = 0, h = 0;
        char x = 0;
        if (args.positional.size() != 1 || !args.size || !args.out ||
            std::sscanf(args.size->c_str(), "%d%c%d", &w, &x, &h) != 3 || x != 'x' || w <= 0 || h <= 0)
            return Usage("render takes FILE --size WxH --out DIR");
        options.file = args.positional[0];
        options.width = w;
        options.height = h;
        options.outDir = *args.out;
        options.eachItem = args.eachItem;
        options.fast = args.fast;
        return Render(options, std::cerr);
    }
    if (command == "export") {
        ExportOptions options;
        char x = 0, rest = 0;
        if (args.positional.size() != 1 || !args.output || args.engine || args.json || args.out ||
            (args.size && (std::sscanf(args.size->c_str(), "%d%c%d%c", &options.width, &x, &options.height, &rest) != 3 ||
                           x != 'x' || options.width <= 0 || options.height <= 0 || options.width > 7680 ||
                           options.height > 4320)) ||
            (args.fps && (std::sscanf(args.fps->c_str(), "%d%c", &options.fps, &rest) != 1 || options.fps < 1 ||
                          options.fps > 120)) ||
            (args.duration && (std::sscanf(args.duration->c_str(), "%lf%c", &options.duration, &rest) != 1 ||
                               !(options.duration > 0) || options.duration > 86400)))
            return Usage("export takes SAVER -o FILM [--size WxH up to 7680x4320] [--fps 1 to 120] "
                         "[--duration SECONDS up to 86400]");
        options.file = args.positional[0];
        options.film = *args.output;
        options.progress = ::isatty(STDERR_FILENO) == 1;
        return Export(options, std::cout, std::cerr);
    }
    if (command == "flash") {
        FlashOptions options;
        char x = 0;
        if (args.positional.size() != 1 || !args.size || !args.out || !args.frames ||
            std::sscanf(args.size->c_str(), "%d%c%d", &options.width, &x, &options.height) != 3 || x != 'x' ||
            options.width <= 0 || options.height <= 0 || std::sscanf(args.frames->c_str(), "%d", &options.frames) != 1 ||
            options.frames <= 0)
            return Usage("flash takes FILE --size WxH --frames N --out DIR");
        options.file = args.positional[0];
        options.outDir = *args.out;
        return Flash(options, std::cout, std::cerr);
    }
    if (command == "check") {
        if (args.positional.size() != 1 || args.output || args.engine || args.files)
            return Usage("check takes one FILE");
        return Check(args.positional[0], args.json, std::cout, std::cerr);
    }
    if (command == "build" || command == "pack") {
        if (args.positional.size() != 1 || !args.output || args.json || args.files)
            return Usage(std::string(command) + " takes one input and -o OUTPUT");
        return command == "build" ? Build(args.positional[0], *args.output, engine, std::cerr, !args.noCheck)
                                  : Pack(args.positional[0], *args.output, engine, std::cerr);
    }
    if (command == "play") {
        if (args.positional.size() != 1 || args.output || args.engine || args.json || args.files)
            return Usage("play takes one SAVER");
        return Play(args.positional[0], std::cerr);
    }
    if (command == "install") {
        if (args.positional.size() != 1 || args.output || args.engine || args.json || (args.user && args.prefix))
            return Usage("install takes one SAVER and at most one of --user and --prefix");
        InstallOptions options;
        options.saver = args.positional[0];
        options.name = args.name;
        options.user = args.user;
        if (args.prefix) options.prefix = std::filesystem::path(*args.prefix);
        options.dryRun = args.dryRun;
        options.force = args.force;
        return Install(options, std::cout, std::cerr);
    }
    return Usage("unknown command " + std::string(command));
}
