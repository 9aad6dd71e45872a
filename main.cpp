#include "platform/app_setup.h"
#include "platform/command_line.h"
#include "platform/platform_failure.h"
#include "program.h"

#include <cstdio>
#include <memory>
#include <QApplication>

int main(int argc, char *argv[])
{
    if (const auto status = platform::answerCommandLine(argc, argv))
        return *status;
    platform::choosePlatform(argc, argv);
    if (!platform::displayAvailable(argc, argv)) {
        std::fprintf(stderr,
                     "Ritmolino ha bisogno di uno schermo per mostrare la sua finestra, e non ne "
                     "ha trovato nessuno (DISPLAY e WAYLAND_DISPLAY non indicano uno schermo in "
                     "funzione).\nAvviarlo da una sessione grafica, o con uno schermo virtuale: "
                     "xvfb-run -a %s\n",
                     argc > 0 ? argv[0] : "cadrel");
        return 1;
    }
    const char *name = argc > 0 ? argv[0] : "cadrel";
    auto starting = std::make_unique<platform::PlatformFailureGuard>(name);
    QApplication app(argc, argv);
    starting.reset();
    platform::setUpApplication(app);
    Program program;
    program.window.show();
    return QApplication::exec();
}
