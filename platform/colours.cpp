#include "platform/colours.h"

#include <QPalette>

namespace platform {

namespace {

// The system colour numbers the desktop convention uses, mapped onto Qt's palette roles.
QColor systemColour(unsigned index, const QPalette &palette)
{
    switch (index) {
    case 5: // window background (the inside of text boxes and picture boxes)
        return palette.color(QPalette::Base);
    case 8: // window text
        return palette.color(QPalette::Text);
    case 13: // highlight
        return palette.color(QPalette::Highlight);
    case 14: // highlighted text
        return palette.color(QPalette::HighlightedText);
    case 15: // button face
        return palette.color(QPalette::Button);
    case 18: // button text
        return palette.color(QPalette::ButtonText);
    case 23: // tooltip text
        return palette.color(QPalette::ToolTipText);
    case 24: // tooltip background
        return palette.color(QPalette::ToolTipBase);
    default: // any other number: the dialog face, as good a neutral as any
        return palette.color(QPalette::Window);
    }
}

} // namespace

QColor toQColor(DesignColour value, const QPalette &palette)
{
    if (isSystemColour(value))
        return systemColour(value & 0xFFu, palette);
    return QColor(int(value & 0xFFu), int((value >> 8) & 0xFFu), int((value >> 16) & 0xFFu));
}

} // namespace platform
