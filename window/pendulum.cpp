#include "window/pendulum.h"

#include "core/beat_rules.h"
#include "core/metronome.h"
#include "platform/twips.h"

#include <QPainter>

namespace window {

namespace {

// Where a line of `width` pixels between two points in twips paints, round ends included.
QRect lineBounds(int x1, int y1, int x2, int y2, int width)
{
    const QRectF span =
        QRectF(platform::pointFromTwips(x1, y1), platform::pointFromTwips(x2, y2)).normalized();
    const int margin = width + 2;
    return span.toAlignedRect().adjusted(-margin, -margin, margin, margin);
}

QRect lineBounds(const PoseDesign &pose, int width)
{
    return lineBounds(pose.x1, pose.y1, pose.x2, pose.y2, width);
}

PoseDesign uprightPose(const ControlDesign &line, const ControlDesign &light)
{
    return {line.x1, line.y1, line.x2, line.y2, *light.fill};
}

QRect box(const ControlDesign &row)
{
    return platform::rectFromTwips(row.left, row.top, row.width, row.height);
}

} // namespace

void drawDesignLine(QPainter &painter, int x1, int y1, int x2, int y2, const QColor &colour,
                    int width)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(colour, width, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(platform::pointFromTwips(x1, y1), platform::pointFromTwips(x2, y2));
    painter.restore();
}

DesignLine::DesignLine(const ControlDesign &row, QWidget *parent) : QWidget(parent), m_row(row)
{
    setObjectName(QLatin1String(row.name));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setGeometry(lineBounds(row.x1, row.y1, row.x2, row.y2, row.borderWidth));
}

void DesignLine::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.translate(-pos());
    drawDesignLine(painter, m_row.x1, m_row.y1, m_row.x2, m_row.y2,
                   platform::toQColor(*m_row.fore, palette()), m_row.borderWidth);
}

Pendulum::Pendulum(const core::Metronome &metronome, const ControlDesign &line,
                   const ControlDesign &light, QWidget *parent)
    : QWidget(parent), m_metronome(metronome), m_line(line), m_light(light)
{
    setObjectName(QLatin1String(line.name));
    setAccessibleName(QString::fromUtf8(line.accessibleName));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    // Room for every pose and for the light.
    setGeometry(box(light)
                    .united(lineBounds(uprightPose(line, light), line.borderWidth))
                    .united(lineBounds(evenCountPose, line.borderWidth))
                    .united(lineBounds(oddCountPose, line.borderWidth)));
}

PoseDesign Pendulum::pose() const
{
    if (m_metronome.runState() == core::RunState::NeverStarted)
        return uprightPose(m_line, m_light);
    return core::isOddCount(m_metronome.count()) ? oddCountPose : evenCountPose;
}

// The light, a circle of its box's smaller side centred in the box, and the pendulum over it.
void Pendulum::paintEvent(QPaintEvent *)
{
    const PoseDesign shown = pose();
    QPainter painter(this);
    painter.translate(-pos());
    const QRect lightBox = box(m_light);
    const int diameter = std::min(lightBox.width(), lightBox.height());
    QRect circle(0, 0, diameter, diameter);
    circle.moveCenter(lightBox.center());
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(platform::toQColor(*m_light.fore, palette()), 1));
    painter.setBrush(platform::toQColor(shown.light, palette()));
    painter.drawEllipse(QRectF(circle).adjusted(0.5, 0.5, -0.5, -0.5));
    painter.restore();
    drawDesignLine(painter, shown.x1, shown.y1, shown.x2, shown.y2,
                   platform::toQColor(*m_line.fore, palette()), m_line.borderWidth);
}

} // namespace window
