#include "app/ScreenSaverApp.h"

int main(int argc, char** argv) {
    showsaver::ScreenSaverApp app;
    return app.Run(std::span<const char* const>(argv + 1, static_cast<size_t>(argc > 0 ? argc - 1 : 0)));
}
