#pragma once

#include <QSlider>

namespace platform {

// A horizontal slider that reports two things: its value changed (by the user or the program;
// assigning the current value reports nothing), and the user finished an action on it. The
// click comes after every user action that ends (a mouse release after a press or drag on it,
// each keyboard step, each wheel step), after that action's change reports.
class Slider : public QSlider
{
    Q_OBJECT

public:
    explicit Slider(QWidget *parent = nullptr);

signals:
    void changed();
    void clicked();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;

private:
    bool m_pressed = false;
};

} // namespace platform
