#pragma once

#include "platform/app_setup.h"
#include "program.h"

#include <QApplication>
#include <QWindow>

// The whole program as main() makes it, its window shown: on return the window is exposed on
// the screen with its first paint done. The drivers' own arguments are not the program's.
struct ShownProgram {
    explicit ShownProgram(char **argv) : app(argc, argv)
    {
        platform::setUpApplication(app);
        program = std::make_unique<Program>();
        QWidget &window = program->window;
        window.show();
        while (!window.windowHandle() || !window.windowHandle()->isExposed())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QCoreApplication::processEvents();
    }

    int argc = 1;
    QApplication app;
    std::unique_ptr<Program> program;
};
