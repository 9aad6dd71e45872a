#pragma once

#include <QPointF>
#include <QRect>

// The window is designed in twips (1/1440 inch). At 96 dots per inch fifteen twips make
// one device-independent pixel; Qt's own scaling takes care of high-DPI screens.
namespace platform {

inline constexpr int twipsPerPixel = 15;

constexpr int pixels(int twips)
{
    // Round to the nearest pixel, halves away from zero, for negative positions too.
    return twips >= 0 ? (twips + twipsPerPixel / 2) / twipsPerPixel
                      : -((-twips + twipsPerPixel / 2) / twipsPerPixel);
}

inline QRect rectFromTwips(int left, int top, int width, int height)
{
    return {pixels(left), pixels(top), pixels(width), pixels(height)};
}

inline QPointF pointFromTwips(int x, int y)
{
    return {x / double(twipsPerPixel), y / double(twipsPerPixel)};
}

} // namespace platform
