#include "platform/app_setup.h"
#include "window/frm_cadrel.h"

#include <cstdio>
#include <QApplication>

int main(int argc, char *argv[])
{
    if (!platform::displayAvailable()) {
        std::fprintf(
            stderr,
            "Ritmolino needs a display to show its window, and none was found (DISPLAY "
            "and WAYLAND_DISPLAY name no running display).\nStart it from a desktop session, or "
            "with a virtual display: xvfb-run -a %s\n",
            argc > 0 ? argv[0] : "cadrel");
        return 1;
    }
    QApplication app(argc, argv);
    platform::setUpApplication(app);
    window::frmCadrel form;
    form.show();
    return QApplication::exec();
}
