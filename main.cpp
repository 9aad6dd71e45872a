#include "platform/app_setup.h"
#include "window/frm_cadrel.h"

#include <cstdio>
#include <QApplication>

int main(int argc, char *argv[])
{
    if (!platform::displayAvailable()) {
        std::fputs("Ritmolino needs a display to show its window, and none was found (DISPLAY and "
                   "WAYLAND_DISPLAY are not set).\nStart it from a desktop session, or with a "
                   "virtual display: xvfb-run -a cadrel\n",
                   stderr);
        return 1;
    }
    QApplication app(argc, argv);
    platform::setUpApplication(app);
    window::frmCadrel form;
    form.show();
    return QApplication::exec();
}
