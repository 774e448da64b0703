#include "platform/sys/TempFiles.h"

#include "platform/sys/FileDescriptor.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdlib.h>
#include <system_error>
#include <unistd.h>

namespace showsaver::sys {

namespace {

constexpr std::string_view kDirectoryTemplate = "showsaver-XXXXXX";
constexpr size_t kUniqueLength = 6;

std::string ErrnoText(int error)
{
    return std::generic_category().message(error);
}

bool IsValidNamePart(std::string_view part)
{
    return part.find('/') == std::string_view::npos && part.find('\0') == std::string_view::npos;
}

}

TempDirectory& TempDirectory::ForProcess()
{
    // A function-local static: initialised once even when threads race to first use,
    // and destroyed (removing the directory) at normal exit.
    static TempDirectory s_processDirectory(DefaultParents());
    return s_processDirectory;
}

std::vector<std::filesystem::path> TempDirectory::DefaultParents()
{
    std::vector<std::filesystem::path> parents;
    // A relative $TMPDIR would put the directory wherever the current folder happens to be.
    const char* tmpdir = std::getenv("TMPDIR");
    if (tmpdir && tmpdir[0] == '/' && std::string_view(tmpdir) != "/tmp")
        parents.emplace_back(tmpdir);
    parents.emplace_back("/tmp");
    return parents;
}

TempDirectory::TempDirectory(const std::filesystem::path& parent)
    : TempDirectory(std::span<const std::filesystem::path>(&parent, 1))
{
}

TempDirectory::TempDirectory(std::span<const std::filesystem::path> parents)
    : m_ownerProcess(getpid())
{
    for (const auto& parent : parents) {
        if (TryMakeUnder(parent))
            return;
    }
    if (parents.empty())
        m_error = "no folder to make a temporary directory in";
}

TempDirectory::~TempDirectory()
{
    if (m_path.empty() || getpid() != m_ownerProcess)
        return;
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

bool TempDirectory::TryMakeUnder(const std::filesystem::path& parent)
{
    std::string name = (parent / kDirectoryTemplate).string();
    // mkdtemp creates the directory with mode 0700 and fails rather than reuse a name.
    if (!mkdtemp(name.data())) {
        int error = errno;
        if (!m_error.empty())
            m_error += "; ";
        m_error += "cannot make a temporary directory in " + parent.string() + ": " + ErrnoText(error);
        return false;
    }
    m_path = name;
    m_error.clear();
    return true;
}

Result<std::filesystem::path> TempDirectory::CreateUniqueFile(std::string_view prefix, std::string_view suffix)
{
    auto fail = [](std::string message) { return showsaver::Error { std::move(message) }; };
    if (m_path.empty())
        return fail(m_error.empty() ? "there is no temporary directory" : m_error);
    if (!IsValidNamePart(prefix) || !IsValidNamePart(suffix))
        return fail("a temporary file name may not contain '/' or NUL");

    std::string name = (m_path / prefix).string();
    name.append(kUniqueLength, 'X');
    name.append(suffix);
    // mkstemps opens with O_CREAT | O_EXCL, so the name is ours alone.
    FileDescriptor file(mkstemps(name.data(), static_cast<int>(suffix.size())));
    if (!file.IsValid())
        return fail("cannot create a temporary file in " + m_path.string() + ": " + ErrnoText(errno));
    return std::filesystem::path(name);
}

}
