#include "platform/buttons.h"

#include <QKeyEvent>

namespace platform {

CommandButton::CommandButton(const QString &caption, QWidget *parent) : QPushButton(caption, parent)
{}

void CommandButton::keyPressEvent(QKeyEvent *event)
{
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        animateClick();
        return;
    }
    QPushButton::keyPressEvent(event);
}

OptionButton::OptionButton(const QString &caption, QWidget *parent) : QRadioButton(caption, parent)
{}

bool OptionButton::hitButton(const QPoint &position) const
{
    return rect().contains(position);
}

} // namespace platform
