#include "app/ScreenSaverApp.h"

#include "platform/shell/Shell.h"
#include "platform/sys/TempFiles.h"
#include "resources/StringTable.h"

#include <cstdio>
#include <system_error>

namespace showsaver {

ScreenSaverApp::ScreenSaverApp() : m_itemRegistry(std::make_unique<ItemRegistry>()) {}

ScreenSaverApp::~ScreenSaverApp() { Shutdown(); }

void ScreenSaverApp::Shutdown() {
    if (m_shutDown) return;
    m_shutDown = true;
    m_itemRegistry.reset();
    // FIXME: the main window is deleted here once the windowed shell exists.
    std::error_code ignored;
    if (!m_desktopCapturePath.empty()) std::filesystem::remove(m_desktopCapturePath, ignored);
    if (!m_wallpaperCapturePath.empty()) std::filesystem::remove(m_wallpaperCapturePath, ignored);
    if (!m_exitUrl.empty()) shell::OpenAddress(m_exitUrl);
}

int ScreenSaverApp::Run(std::span<const char* const> args) {
    // The capture files live in the process's private temporary directory.
    const auto& temp = sys::TempDirectory::ForProcess().Path();
    if (!temp.empty()) {
        m_desktopCapturePath = temp / "desktop.bmp";
        m_wallpaperCapturePath = temp / "wallpaper.bmp";
    }
    // FIXME: capture the desktop and the wallpaper here, in every mode,
    // before the command line is looked at.

    m_executable = shell::SelfExecutablePath();
    if (!m_executable.empty()) m_applicationName = shell::DisplayName(m_executable);
    m_messages = std::make_unique<ui::MessageBoxSink>(m_applicationName);

    CommandLine line = ParseCommandLine(args);
    switch (line.mode) {
    case RunMode::Show: return RunShow() ? 0 : 1;
    case RunMode::Settings:
    case RunMode::SettingsWithParent:
    case RunMode::Preview:
    case RunMode::Password:
        // FIXME: the dialogs and the preview arrive with the windowed shell.
        return 0;
    case RunMode::None: break;
    }
    return 0;
}

bool ScreenSaverApp::LoadShowFile() {
    if (m_executable.empty()) {
        std::fprintf(stderr, "%s: cannot find the program's own file\n", m_applicationName.c_str());
        return false;
    }
    auto error = showsaver::LoadShowFile(m_executable, kShowOffset, *m_itemRegistry, m_itemRegistry->Items(),
                                         m_showInfo, m_messages.get());
    if (error) {
        std::fprintf(stderr, "%s: the show cannot be loaded: %s (at byte %llu)\n", m_applicationName.c_str(),
                     error->what.c_str(), static_cast<unsigned long long>(error->offset));
        return false;
    }
    return true;
}

bool ScreenSaverApp::RunShow() {
    if (!LoadShowFile()) return false;
    // FIXME: the fullscreen window and the scene thread arrive with the
    // windowed shell; until then a loaded show reports success.
    return true;
}

} // namespace showsaver
