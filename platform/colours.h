#pragma once

#include <cstdint>
#include <QColor>

class QPalette;

namespace platform {

// A design colour: 0x00BBGGRR, or 0x800000nn for the platform's system colour number nn.
using DesignColour = std::uint32_t;

constexpr bool isSystemColour(DesignColour value)
{
    return (value & 0x80000000u) != 0;
}

// Resolves a design colour; system colours come from the palette, so they follow the desktop theme.
QColor toQColor(DesignColour value, const QPalette &palette);

} // namespace platform
