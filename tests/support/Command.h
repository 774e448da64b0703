#pragma once
// Runs a command line through the shell and captures what it printed.

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace showsaver::testing {

struct CommandResult {
    int status = -1;   // exit status, -1 when killed by a signal
    std::string out, err;
};

inline CommandResult RunCommand(const std::string& command) {
    static int counter = 0;
    auto errFile = std::filesystem::temp_directory_path() /
                   ("showsaver-test-err-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
    CommandResult result;
    FILE* pipe = ::popen((command + " 2>'" + errFile.string() + "'").c_str(), "r");
    if (!pipe) return result;
    std::array<char, 4096> buffer{};
    size_t n;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) result.out.append(buffer.data(), n);
    int status = ::pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::ifstream err(errFile);
    result.err.assign(std::istreambuf_iterator<char>(err), {});
    std::filesystem::remove(errFile);
    return result;
}

inline std::string Quoted(const std::filesystem::path& path) { return "'" + path.string() + "'"; }

} // namespace showsaver::testing
