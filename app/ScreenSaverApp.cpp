#include "app/ScreenSaverApp.h"

#include "app/BackgroundLoad.h"
#include "app/CaptureThread.h"
#include "app/ItemKinds.h"
#include "media/ScenePlayers.h"
#include "app/ExitSettings.h"
#include "app/Password.h"
#include "app/PasswordDialogs.h"
#include "app/HackWindow.h"
#include "app/PreviewWindow.h"
#include "app/SettingsDialog.h"
#include "playback/Captures.h"
#include "app/SaverWindow.h"
#include "platform/registry/Profile.h"
#include "platform/registry/Store.h"
#include "platform/shell/Shell.h"
#include "platform/sys/TempFiles.h"
#include "platform/ui/DisplayLoss.h"
#include "platform/ui/UiLoop.h"
#include "platform/ui/StartTrace.h"
#include "playback/SceneThread.h"
#include "resources/StringTable.h"
#include "playback/SpeedCalibration.h"

#include <gtk/gtk.h>

#include <cstdio>
#include <cstdlib>
#include <system_error>

namespace showsaver {

namespace {

// The show's messages come up as boxes of its window, which the exit inputs
// end together with the show.
class SaverWindowMessages final : public ui::MessageSink {
public:
    SaverWindowMessages(SaverWindow& window, std::string caption, const sys::Event& stop)
        : m_window(window), m_caption(std::move(caption)), m_stop(stop) {}
    ui::MessageAnswer Show(std::string_view text, ui::MessageIcon icon, ui::MessageButtons buttons) override {
        return m_window.ShowMessage(m_caption, text, icon, buttons, &m_stop);
    }

private:
    SaverWindow& m_window;
    std::string m_caption;
    const sys::Event& m_stop;
};

// In the daemon's modes no one can answer a box over the daemon's window:
// the message goes to stderr, answered with OK, and the show goes on.
class StderrMessages final : public ui::MessageSink {
public:
    explicit StderrMessages(std::string caption) : m_caption(std::move(caption)) {}
    ui::MessageAnswer Show(std::string_view text, ui::MessageIcon, ui::MessageButtons) override {
        std::fprintf(stderr, "%s: %.*s\n", m_caption.c_str(), static_cast<int>(text.size()), text.data());
        return ui::MessageAnswer::Ok;
    }

private:
    std::string m_caption;
};

} // namespace

ScreenSaverApp::ScreenSaverApp() : m_itemRegistry(std::make_unique<ShowItemRegistry>()) {}

ScreenSaverApp::~ScreenSaverApp() {
    // A show still being read ends before anything it fills goes.
    m_showLoad.reset();
    Shutdown();
}

void ScreenSaverApp::Shutdown() {
    if (m_shutDown) return;
    m_shutDown = true;
    // The show's thread has normally ended with the window; make sure before
    // its items go.
    if (m_sceneThread) m_sceneThread->RequestStop();
    // The captures are written before their folder goes.
    m_captureThread.reset();
    m_itemRegistry.reset();
    m_sceneThread.reset();
    m_saverWindow.reset();
    m_hackWindow.reset();
    m_previewWindow.reset();
    std::error_code ignored;
    if (!m_desktopCapturePath.empty()) std::filesystem::remove(m_desktopCapturePath, ignored);
    if (!m_wallpaperCapturePath.empty()) std::filesystem::remove(m_wallpaperCapturePath, ignored);
    if (!m_exitUrl.empty()) shell::OpenAddress(m_exitUrl);
}

namespace {

constexpr const char* kHelp =
    "usage: NAME [/s | /p WINDOW | /c | /a WINDOW]\n"
    "       NAME [-root | -window-id WINDOW | -window]\n"
    "\n"
    "Plays the show packed into this program as a screensaver.\n"
    "\n"
    "  /s               the show, fullscreen, until the exit settings end it\n"
    "  /p WINDOW        the preview inside the X11 window WINDOW (decimal)\n"
    "  /c               the settings; no argument opens them too\n"
    "  /a WINDOW        change the password\n"
    "  -root            the show in $XSCREENSAVER_WINDOW, or on the root window,\n"
    "                   as xscreensaver and MATE run it\n"
    "  -window-id WINDOW  the show inside WINDOW (decimal or 0x hex)\n"
    "  -window          the show in a window of its own, 1024 x 768\n"
    "\n"
    "With -root, -window-id and -window the screensaver daemon owns the exit\n"
    "and the lock: the show plays until SIGTERM or SIGINT or until its window\n"
    "goes. In every mode SIGTERM and SIGINT end the show cleanly, exit status 0.\n"
    "Options take one or two dashes.\n"
    "\n"
    "/s, /c and /a run on Wayland when WAYLAND_DISPLAY names a compositor, and on\n"
    "X11 otherwise; /p, -root, -window-id and -window need X11 (DISPLAY).\n";

// The modes that draw into X11 windows of other programs.
bool NeedsX11(RunMode mode) {
    return mode == RunMode::Preview || mode == RunMode::HackRoot || mode == RunMode::HackWindowId ||
           mode == RunMode::HackWindow;
}

} // namespace

int ScreenSaverApp::Run(std::span<const char* const> args) {
    ui::TraceStart("main");
    const RunMode mode = ParseCommandLine(args).mode;
    if (mode == RunMode::Help) {
        std::string help = kHelp;
        std::string name = shell::SelfExecutablePath().filename().string();
        for (size_t at; (at = help.find("NAME")) != std::string::npos;) help.replace(at, 4, name.empty() ? "showsaver" : name);
        std::fputs(help.c_str(), stdout);
        return 0;
    }
    ui::SetDisplaySystems(NeedsX11(mode) ? ui::DisplaySystems::X11 : ui::DisplaySystems::WaylandOrX11);
    // From here on a signal ends the process the clean way, its temporary
    // folder removed.
    ui::WatchTerminationSignals([this] { OnTerminationSignal(); });
    // The capture files live in the process's private temporary directory.
    const auto& temp = sys::TempDirectory::ForProcess().Path();
    if (!temp.empty()) {
        m_desktopCapturePath = temp / "desktop.bmp";
        m_wallpaperCapturePath = temp / "wallpaper.bmp";
    }
    m_store = std::make_unique<registry::Store>(registry::Store::DefaultDirectory());
    m_executable = shell::SelfExecutablePath();
    if (!m_executable.empty()) m_applicationName = shell::DisplayName(m_executable);
    m_profile = std::make_unique<registry::Profile>(*m_store, std::string(strings::Load(strings::kRegistryKey)),
                                                    m_applicationName);
    // The show is read while GTK starts and the captures are taken; its
    // messages wait for the UI thread.
    if (mode == RunMode::Show)
        m_showLoad = std::make_unique<BackgroundLoad>([this](ui::MessageSink& messages) { return LoadShowFile(messages); });
    // The desktop and the wallpaper are captured in every mode, before the
    // command line is looked at (a picture of the show may show them).
    if (!temp.empty() && ui::InitUi()) {
        ui::TraceStart("gtk started");
        WatchDisplayLoss();
        // Meanwhile the scene thread clears the show's screen and, once the
        // show is read, draws its first items (a capture's picture waits for
        // the captures).
        if (mode == RunMode::Show) StartShowScreen();
        // A full or unwritable temporary folder costs the show those pictures,
        // nothing more: they are skipped as they come.
        auto taken = [this, temp](bool written, WallpaperStyle style) {
            m_wallpaperFlag = static_cast<int32_t>(style);
            if (!written)
                std::fprintf(stderr, "%s: cannot write the desktop captures to %s; their pictures are skipped\n",
                             m_applicationName.c_str(), temp.c_str());
            ui::TraceStart("captures taken");
            m_capturesTaken.Set();
        };
        // On X11 the show's captures are taken beside the making of its
        // window, which maps once the desktop has been read.
        if (mode == RunMode::Show && m_saverWindow && !ui::IsWayland())
            m_captureThread = CaptureThread::Start(gdk_display_get_name(gdk_display_get_default()),
                                                   {m_desktopCapturePath, m_wallpaperCapturePath}, *m_store, taken);
        if (!m_captureThread) {
            bool desktop = CaptureDesktop(m_desktopCapturePath);
            WallpaperStyle style = WallpaperStyle::Centred;
            auto screen = ui::GetScreenSize();
            bool wallpaper = CaptureWallpaper(m_wallpaperCapturePath, *m_store, {screen.width, screen.height}, style);
            taken(desktop && wallpaper, style);
        }
    } else {
        m_capturesTaken.Set();
    }

    m_messages = std::make_unique<ui::MessageBoxSink>(m_applicationName);

    CommandLine line = ParseCommandLine(args);
    switch (line.mode) {
    case RunMode::Show: return RunShow() ? 0 : 1;
    case RunMode::Preview: return OpenDisplay(line.mode) && RunPreview(line) ? 0 : 1;
    case RunMode::Settings:
        if (!OpenDisplay(line.mode)) return 1;
        RunSettingsDialog(*m_profile, DialogParent(), m_applicationName);
        return 0;
    case RunMode::SettingsWithParent:
        if (!OpenDisplay(line.mode)) return 1;
        RunSettingsDialog(*m_profile, DialogParent::Active(), m_applicationName);
        return 0;
    case RunMode::Password:
        if (!OpenDisplay(line.mode)) return 1;
        RunPasswordRoad(*m_profile,
                        line.hasWindow ? DialogParent::Foreign(static_cast<unsigned long>(line.window)) : DialogParent(),
                        m_applicationName);
        return 0;
    case RunMode::HackRoot:
    case RunMode::HackWindowId:
    case RunMode::HackWindow: return RunHack(line) ? 0 : 1;
    case RunMode::BadArguments:
        std::fprintf(stderr, "%s: -window-id needs the id of a window, in decimal or 0x hex\n",
                     m_applicationName.c_str());
        return 2;
    case RunMode::Help:
    case RunMode::None: break;
    }
    return 0;
}

bool ScreenSaverApp::OpenDisplay(RunMode mode) {
    if (ui::InitUi()) return true;
    if (NeedsX11(mode))
        std::fprintf(stderr, "%s: no X11 display can be reached (DISPLAY); this mode needs X11\n",
                     m_applicationName.c_str());
    else
        std::fprintf(stderr, "%s: no display can be reached: neither WAYLAND_DISPLAY nor DISPLAY names one\n",
                     m_applicationName.c_str());
    return false;
}

void ScreenSaverApp::WatchDisplayLoss() {
    // Xlib exits right after its handler: the temporary folder goes first, as
    // on every other end.
    ui::OnDisplayLost([this] {
        std::fprintf(stderr, "%s: lost the connection to the display\n", m_applicationName.c_str());
        sys::TempDirectory::ForProcess().RemoveNow();
    });
}

void ScreenSaverApp::OnTerminationSignal() {
    m_exitUrl.clear();
    // A dialog's own loop ends with its answer.
    GList* windows = gtk_window_list_toplevels();
    for (GList* it = windows; it; it = it->next)
        if (GTK_IS_DIALOG(it->data)) gtk_dialog_response(GTK_DIALOG(it->data), GTK_RESPONSE_CANCEL);
    g_list_free(windows);
    if (m_saverWindow) m_saverWindow->Destroy();
    if (m_hackWindow) m_hackWindow->End();
}

bool ScreenSaverApp::LoadShowFile(ui::MessageSink& messages) {
    if (m_executable.empty()) {
        std::fprintf(stderr, "%s: cannot find the program's own file\n", m_applicationName.c_str());
        return false;
    }
    auto loaded = showsaver::LoadShowFile(m_executable, kShowOffset, *m_itemRegistry, m_itemRegistry->Items(),
                                          m_showInfo, &messages);
    if (!loaded) {
        std::fprintf(stderr, "%s: the show cannot be loaded: %s (at byte %llu)\n", m_applicationName.c_str(),
                     loaded.Error().what.c_str(), static_cast<unsigned long long>(loaded.Error().offset));
        return false;
    }
    m_itemsReady.Set();
    return true;
}

bool ScreenSaverApp::StartShowScreen() {
    SaverWindow::Hooks hooks;
    hooks.stopPlayback = [this] {
        if (m_sceneThread) m_sceneThread->RequestStop();
    };
    hooks.storeExitUrl = [this](const std::string& address) { m_exitUrl = address; };
    hooks.checkOnClose = [this](GtkWidget* window) { return CheckOnClose(window); };
    m_saverWindow = std::make_unique<SaverWindow>(ExitSettings::Read(*m_profile), std::move(hooks));
    if (!m_saverWindow->MakeScreen()) {
        m_saverWindow.reset();
        return false;
    }
    SpeedCalibration calibration(*m_store);
    m_times = calibration.Measure(m_saverWindow.get(), std::chrono::seconds(1), ui::TerminationSignalFd());
    StartScene(m_saverWindow.get(), &m_saverWindow->Context());
    ui::TraceStart("scene thread started");
    return true;
}

bool ScreenSaverApp::RunShow() {
    bool loaded = m_showLoad ? m_showLoad->Finish(*m_messages) : LoadShowFile(*m_messages);
    m_showLoad.reset();
    if (!loaded) {
        // The screen drawn meanwhile was never shown.
        if (m_sceneThread) m_sceneThread->RequestStop();
        m_sceneThread.reset();
        m_saverWindow.reset();
        return false;
    }
    ui::TraceStart("show read");
    if (!OpenDisplay(RunMode::Show)) return false;
    // Without the captures (no temporary folder) nothing started early.
    if (!m_saverWindow && !StartShowScreen()) return false;
    bool created = m_saverWindow->Create([this] {
        if (m_captureThread) m_captureThread->WaitForDesktop();
    });
    if (!created) {
        m_sceneThread->RequestStop();
        m_saverWindow.reset();
        return false;
    }
    m_windowShown.Set();
    ui::TraceStart("window created");
    // A signal that came while the window was being made ends it now.
    if (ui::TerminationSignalled()) OnTerminationSignal();
    ui::RunUiLoop();
    return true;
}

bool ScreenSaverApp::RunHack(const CommandLine& line) {
    // No one answers a box in the daemon's modes, not even at load time: the
    // refusing item's message goes to stderr and the hack exits with status 1.
    StderrMessages loadMessages(m_applicationName);
    if (!LoadShowFile(loadMessages)) return false;
    if (!OpenDisplay(line.mode)) return false;
    auto stop = [this] {
        if (m_sceneThread) m_sceneThread->RequestStop();
    };
    unsigned long target = 0;
    if (line.mode == RunMode::HackWindowId) {
        target = static_cast<unsigned long>(line.window);
    } else if (line.mode == RunMode::HackRoot) {
        const char* daemonWindow = std::getenv("XSCREENSAVER_WINDOW");
        target = daemonWindow && *daemonWindow ? ParseWindowId(daemonWindow)
                                               : RootWindowId();
        if (target == 0) {
            std::fprintf(stderr, "%s: XSCREENSAVER_WINDOW is not a window id: %s\n", m_applicationName.c_str(),
                         daemonWindow);
            return false;
        }
    }
    m_hackWindow = line.mode == RunMode::HackWindow ? HackWindow::TopLevel(m_applicationName, stop)
                                                    : HackWindow::OnForeign(target, stop);
    if (!m_hackWindow) {
        std::fprintf(stderr, "%s: window 0x%lx does not exist\n", m_applicationName.c_str(), target);
        return false;
    }
    SpeedCalibration calibration(*m_store);
    m_times = calibration.Measure(m_hackWindow.get(), std::chrono::seconds(1), ui::TerminationSignalFd());
    StartScene(m_hackWindow.get(), &m_hackWindow->Context());
    if (ui::TerminationSignalled()) OnTerminationSignal();
    ui::RunUiLoop();
    // The daemon, not the viewer, ended the show.
    m_exitUrl.clear();
    return true;
}

void ScreenSaverApp::StartScene(SaverWindowControl* window, gfx::DeviceContext* dc) {
    CSceneThread::Setup setup;
    setup.window = window;
    setup.dc = dc;
    setup.items = &m_itemRegistry->Items();
    setup.times = &m_times;
    setup.settingsTimes = m_profile->GetInt("Settings", "Times", 0);
    setup.desktopCapture = m_desktopCapturePath.string();
    setup.wallpaperCapture = m_wallpaperCapturePath.string();
    setup.itemsReady = &m_itemsReady;
    setup.capturesTaken = &m_capturesTaken;
    if (m_saverWindow) setup.windowShown = &m_windowShown;
    // MIDI completion notices reach the window's thread, as the players expect.
    setup.media = std::make_unique<ScenePlayers>(m_sound, [](std::function<void()> notice) {
        ui::PostToUiThread(std::move(notice));
    });
    m_sceneThread = std::make_unique<CSceneThread>(std::move(setup), CSceneThread::Mode::Play);
    if (m_saverWindow)
        m_sceneMessages =
            std::make_unique<SaverWindowMessages>(*m_saverWindow, m_applicationName, m_sceneThread->StopEvent());
    else
        m_sceneMessages = std::make_unique<StderrMessages>(m_applicationName);
    m_sceneThread->SetMessages(m_sceneMessages.get());
    m_sceneThread->Resume();
}

// The password is asked only when the system demands passwords for
// screensavers and one is stored.
bool ScreenSaverApp::CheckOnClose(GtkWidget* window) {
    std::string stored = ReadStoredPassword(*m_profile);
    if (ReadPasswordSwitch(*m_store) == 0 || stored.empty()) return true;
    return RunPasswordCheckDialog(*m_profile, DialogParent(GTK_WINDOW(window)), m_applicationName);
}

bool ScreenSaverApp::RunPreview(const CommandLine& line) {
    if (!line.hasWindow || line.window <= 0) return false;
    m_previewWindow = PreviewWindow::Create(static_cast<unsigned long>(line.window), m_applicationName);
    if (!m_previewWindow) return false;
    m_previewWindow->Run();
    return true;
}

} // namespace showsaver
