#pragma once

#include "window/design.h"

#include <QWidget>

namespace core {
class Metronome;
}

namespace window {

// A straight line between two points given in twips of the painter's coordinates, with a width in
// pixels and round ends.
void drawDesignLine(QPainter &painter, int x1, int y1, int x2, int y2, const QColor &colour,
                    int width);

// A line of the design (the separator under the top row): drawn on its container, passing
// mouse clicks through to what lies beneath.
class DesignLine : public QWidget
{
    Q_OBJECT

public:
    explicit DesignLine(const ControlDesign &row, QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    const ControlDesign &m_row;
};

// The pendulum and its beat light, drawn from the metronome as it is when they are painted:
// upright as designed until the metronome first starts, then leaning one way or the other by
// the parity of its count. Whoever changes the metronome calls update().
class Pendulum : public QWidget
{
    Q_OBJECT

public:
    // `line` is the pendulum's design row, `light` the light's.
    Pendulum(const core::Metronome &metronome, const ControlDesign &line,
             const ControlDesign &light, QWidget *parent = nullptr);

    // The pose the metronome calls for now, which is the one painted.
    PoseDesign pose() const;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    const core::Metronome &m_metronome;
    const ControlDesign &m_line;
    const ControlDesign &m_light;
};

} // namespace window
