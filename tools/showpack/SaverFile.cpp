#include "tools/showpack/SaverFile.h"

#include "app/ItemKinds.h"
#include "platform/sys/RegularFile.h"
#include "show/ShowLoader.h"
#include "show/ShowReader.h"
#include "tools/showpack/Commands.h"
#include "tools/showpack/Install.h"

#include <csignal>
#include <cstring>
#include <ostream>
#include <sys/wait.h>
#include <unistd.h>

namespace showsaver::showpack {

namespace fs = std::filesystem;

namespace {

Result<sys::FileBytes> ReadAll(const fs::path& file) {
    auto read = sys::ReadRegularFile(file, UINT64_MAX);
    if (!read) return Error{read.Error().what};
    return std::move(*read);
}

// The engine's bytes as a packed saver holds them: padded with zeros.
Result<std::vector<uint8_t>> PaddedEngine(const fs::path& engine) {
    auto read = sys::ReadRegularFile(engine, kEngineSize);
    if (!read) return Error{read.Error().what};
    std::vector<uint8_t> bytes(read->data.get(), read->data.get() + read->size);
    bytes.resize(kEngineSize, 0);
    return bytes;
}

volatile sig_atomic_t g_child = 0;

void PassOn(int signal) {
    if (g_child > 0) ::kill(static_cast<pid_t>(g_child), signal);
}

} // namespace

Result<std::vector<uint8_t>> ReadShowOf(const fs::path& file) {
    auto offset = FindShowOffset(file);
    if (!offset) return Error{offset.Error().what};
    auto read = ReadAll(file);
    if (!read) return read.Error();
    if (read->size <= *offset)
        return Error{file.string() + " is neither a show nor a saver: a saver's show starts at byte " +
                     std::to_string(kEngineSize)};
    std::span<const uint8_t> bytes(read->data.get() + *offset, read->size - *offset);
    ShowItemRegistry registry;
    ShowInfo info;
    ShowReader reader(bytes);
    info.headerWord = reader.ReadUInt32();
    auto loaded = reader.Failed() ? Status<LoadError>(reader.Error())
                                  : LoadShow(reader, registry, registry.Items(), info, nullptr);
    if (!loaded)
        return Error{file.string() + ": " + loaded.Error().what + " (at byte " +
                     std::to_string(*offset + loaded.Error().offset) + ")"};
    return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

Status<> OurSaver::Prepare(const fs::path& file, const fs::path& engine, const fs::path& engineLibrary) {
    m_folder.reset();
    m_path.clear();
    auto show = ReadShowOf(file);
    if (!show) return show.Error();
    auto padded = PaddedEngine(engine);
    if (!padded) return padded.Error();
    if (FindShowOffset(file).Ok() && *FindShowOffset(file) == kEngineSize) {
        auto read = ReadAll(file);
        if (read && read->size >= kEngineSize && std::memcmp(read->data.get(), padded->data(), kEngineSize) == 0) {
            m_path = file;
            return {};
        }
    }
    m_folder = std::make_unique<sys::TempDirectory>(sys::TempDirectory::DefaultParents());
    if (m_folder->Path().empty()) return Error{"cannot make a temporary folder: " + m_folder->Error()};
    m_path = m_folder->Path() / file.filename();
    if (auto written = WritePacked(engine, *show, m_path); !written) return written.Error();
    if (!engineLibrary.empty()) {
        std::error_code ignored;
        fs::create_symlink(fs::absolute(engineLibrary), m_folder->Path() / engineLibrary.filename(), ignored);
    }
    return {};
}

int Play(const fs::path& file, std::ostream& err) {
    OurSaver saver;
    if (auto prepared = saver.Prepare(file, EnginePath(std::nullopt), FindEngineLibrary()); !prepared) {
        err << "showpack: " << prepared.Error().what << "\n";
        return 1;
    }
    std::string program = saver.Path().string();
    pid_t child = ::fork();
    if (child < 0) {
        err << "showpack: cannot start " << program << ": " << std::strerror(errno) << "\n";
        return 1;
    }
    if (child == 0) {
        char* argv[] = {program.data(), const_cast<char*>("/s"), nullptr};
        ::execv(program.c_str(), argv);
        ::_exit(127);
    }
    g_child = child;
    struct sigaction pass {};
    pass.sa_handler = PassOn;
    ::sigemptyset(&pass.sa_mask);
    struct sigaction oldInt {}, oldTerm {};
    ::sigaction(SIGINT, &pass, &oldInt);
    ::sigaction(SIGTERM, &pass, &oldTerm);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    g_child = 0;
    ::sigaction(SIGINT, &oldInt, nullptr);
    ::sigaction(SIGTERM, &oldTerm, nullptr);
    if (WIFEXITED(status)) {
        if (WEXITSTATUS(status) == 127) err << "showpack: cannot run " << program << "\n";
        return WEXITSTATUS(status);
    }
    return 128 + WTERMSIG(status);
}

} // namespace showsaver::showpack
