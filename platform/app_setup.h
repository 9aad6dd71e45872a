#pragma once

class QApplication;
class QCoreApplication;

namespace platform {

// False when the program is about to start without any screen to show its window on, and the
// user chose no platform.
bool displayAvailable(int argc, char **argv);

// Where the window is shown when the user chose no platform (-platform, QT_QPA_PLATFORM): on
// a Wayland desktop through XWayland, since Qt is never told there that a window is
// minimised (the caption shows the count only then) and Wayland places windows itself; on
// Wayland itself only when no X server is reachable.
struct DisplaySetting {
    bool platformChosen = false;
    bool waylandSession = false;
    bool xServerReachable = false;
};
// The platform to ask Qt for, or nullptr to leave the choice to Qt.
const char *platformFor(const DisplaySetting &setting);
// Reads the setting from the environment and the command line, and asks Qt for the platform.
void choosePlatform(int argc, char **argv);

// Look and language of the whole program: one widget style everywhere, Qt's own texts in
// Italian (the OK button, the text box's context menu), and metric-compatible substitutes for
// the design's fonts where they are missing.
void setUpApplication(QApplication &app);

// Qt's own texts in Italian, from Qt's translations.
void installItalianTranslations(QCoreApplication &app);

} // namespace platform
