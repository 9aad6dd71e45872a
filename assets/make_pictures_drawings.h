// The program's pictures, drawn from scratch; make_pictures.cpp writes them.
#pragma once

#include <QImage>
#include <QPoint>

namespace pictures {

// Hot spots, in pixels of the 32 by 32 pointer images: the submarine points
// with the lens at the tip of its periscope (at (2, 2) in the 16 by 16
// image), the hand with the tip of its index finger.
constexpr QPoint submarineHotSpot{4, 3};
constexpr QPoint handHotSpot{12, 1};

// The window and program icon, `size` pixels square. `flat` leaves out the
// shading of the ground, for images of few colours.
QImage programIcon(int size, bool flat = false);

// The 300 by 100 banner: "Ritmolino" in gold on black.
QImage banner();

// The toggle button's pointer, 16 or 32 pixels square.
QImage submarine(int size);

// The slider's pointing hand, 32 by 32.
QImage hand();

// A transparent image to draw on.
QImage canvas(int width, int height);

} // namespace pictures
