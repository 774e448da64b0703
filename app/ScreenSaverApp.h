#pragma once
// The application: decides the run mode from the command line, sets up what
// that mode needs, and cleans up in a fixed order at the end of the process.

#include "app/CommandLine.h"
#include "platform/audio/Output.h"
#include "platform/sys/Event.h"
#include "platform/ui/MessageBox.h"
#include "show/ItemList.h"
#include "show/ShowLoader.h"

#include <filesystem>
#include <memory>
#include <string>

typedef struct _GtkWidget GtkWidget;

namespace showsaver {

namespace registry { class Store; class Profile; }
class CSceneThread;
class HackWindow;
class SaverWindowControl;
namespace gfx { class DeviceContext; }
class PreviewWindow;
class SaverWindow;
class BackgroundLoad;
class CaptureThread;

class ScreenSaverApp {
public:
    ScreenSaverApp();
    ScreenSaverApp(const ScreenSaverApp&) = delete;
    ScreenSaverApp& operator=(const ScreenSaverApp&) = delete;
    // The end of the process: the item registry, the main window, the two
    // capture files, then the armed web address.
    ~ScreenSaverApp();

    // Start-up and the mode's road; returns the process's exit status.
    int Run(std::span<const char* const> args);

    // Loads the show appended to our own executable into the item list, and
    // lets a scene thread that waits for it go on. Reports a failure once,
    // on stderr, with its byte offset.
    bool LoadShowFile(ui::MessageSink& messages);

    const std::string& ApplicationName() const { return m_applicationName; }
    ItemRegistry& Registry() { return *m_itemRegistry; }
    uint32_t& Times() { return m_times; }
    const ShowInfo& Show() const { return m_showInfo; }
    void SetExitUrl(std::string url) { m_exitUrl = std::move(url); }
    const std::string& ExitUrl() const { return m_exitUrl; }
    int32_t WallpaperFlag() const { return m_wallpaperFlag; }
    const std::filesystem::path& DesktopCapturePath() const { return m_desktopCapturePath; }
    const std::filesystem::path& WallpaperCapturePath() const { return m_wallpaperCapturePath; }

    registry::Store& Store() { return *m_store; }
    registry::Profile& Profile() { return *m_profile; }

private:
    // Opens the display the mode runs on; says so on stderr, in one line,
    // when none can be reached.
    bool OpenDisplay(RunMode mode);
    bool RunShow();
    // Makes the show's window object and its screen, calibrates when no
    // calibration is stored, and starts the scene thread, which waits for
    // the show to be read. False without a display.
    bool StartShowScreen();
    bool RunPreview(const CommandLine& line);
    // The modes of the X screensaver daemons.
    bool RunHack(const CommandLine& line);
    // Starts the scene thread on `window`, whose context is `dc`.
    void StartScene(SaverWindowControl* window, gfx::DeviceContext* dc);
    // SIGTERM or SIGINT, on the UI thread: the show ends the clean way, an
    // open dialog is answered as cancelled, and no web link is opened.
    void OnTerminationSignal();
    void WatchDisplayLoss();
    bool CheckOnClose(GtkWidget* window);
    void Shutdown();

    std::unique_ptr<ItemRegistry> m_itemRegistry;
    // The show being read while the UI starts (in the show's mode).
    std::unique_ptr<BackgroundLoad> m_showLoad;
    // The captures being taken while the show's window is made (X11).
    std::unique_ptr<CaptureThread> m_captureThread;
    std::unique_ptr<registry::Store> m_store;
    std::unique_ptr<registry::Profile> m_profile;
    std::unique_ptr<SaverWindow> m_saverWindow;
    std::unique_ptr<HackWindow> m_hackWindow;
    std::unique_ptr<PreviewWindow> m_previewWindow;
    // The sound output, opened at the first sound and kept until the end.
    audio::OutputOwner m_sound;
    std::unique_ptr<CSceneThread> m_sceneThread;
    std::unique_ptr<ui::MessageSink> m_sceneMessages;
    std::unique_ptr<ui::MessageBoxSink> m_messages;
    std::filesystem::path m_executable;
    std::string m_applicationName = "showsaver";
    uint32_t m_times = 0;
    int32_t m_wallpaperFlag = 0;
    ShowInfo m_showInfo;
    std::filesystem::path m_desktopCapturePath;
    std::filesystem::path m_wallpaperCapturePath;
    std::string m_exitUrl;
    bool m_shutDown = false;
    // Set once the show is read and once the captures are written (or
    // skipped): the scene thread may start before either.
    sys::Event m_itemsReady;
    sys::Event m_capturesTaken;
    // Set once the show's window shows: the show's time starts there.
    sys::Event m_windowShown;
};

} // namespace showsaver
