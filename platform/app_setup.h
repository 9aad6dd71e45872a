#pragma once

class QApplication;

namespace platform {

// False when the program is about to start without any screen to show its window on.
bool displayAvailable();

// Look and language of the whole program: one widget style everywhere, Qt's own texts in
// Italian (the OK button, the text box's context menu), and metric-compatible substitutes for
// the design's fonts where they are missing.
void setUpApplication(QApplication &app);

} // namespace platform
