#pragma once

#include <QCursor>
#include <QIcon>
#include <QPixmap>
#include <QPoint>

// The window's pictures, compiled into the program from assets/pictures.
namespace window {

// The pixel of the toggle button's 32 by 32 submarine pointer that points:
// the lens at the tip of its periscope. The icon file does not say.
constexpr QPoint toggleButtonHotSpot{4, 3};

// The pixel of the slider's 32 by 32 pointing hand that points: the tip of
// its index finger.
constexpr QPoint sliderHotSpot{12, 1};

// The window and program icon: a pendulum in three positions fanning out from
// a yellow half-disc under the word TEMPO.
QIcon programIcon();

// The 300 by 100 banner, gold lettering on black, for Picture1.
QPixmap bannerPicture();

// The submarine pointer shown over cmdAbilitaDisabilita.
QCursor toggleButtonCursor();

// The pointing hand for Slider1.
QCursor sliderCursor();

} // namespace window
