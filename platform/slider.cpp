#include "platform/slider.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>

namespace platform {

Slider::Slider(QWidget *parent) : QSlider(Qt::Horizontal, parent)
{
    connect(this, &QSlider::valueChanged, this, &Slider::changed);
}

void Slider::mousePressEvent(QMouseEvent *event)
{
    QSlider::mousePressEvent(event);
    // Any button the slider acts on (the left pages or drags, the middle jumps) starts an action.
    m_pressed = m_pressed || event->isAccepted();
}

void Slider::mouseReleaseEvent(QMouseEvent *event)
{
    QSlider::mouseReleaseEvent(event);
    if (m_pressed && event->buttons() == Qt::NoButton) {
        m_pressed = false;
        emit clicked();
    }
}

void Slider::keyPressEvent(QKeyEvent *event)
{
    QSlider::keyPressEvent(event);
    // The slider accepts only the keys that move it (arrows, page keys, Home, End).
    if (event->isAccepted())
        emit clicked();
}

void Slider::wheelEvent(QWheelEvent *event)
{
    const int before = value();
    QSlider::wheelEvent(event);
    if (event->isAccepted() || value() != before)
        emit clicked();
}

} // namespace platform
