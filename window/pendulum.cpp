#include "window/pendulum.h"

#include "window/frm_cadrel.h"
#include "window/painted_controls.h"

namespace window {

namespace {

constexpr PendulumPose evenPose{2040, 6000, 240, 2850, 0x0000C0C0}; // left, dark yellow
constexpr PendulumPose oddPose{2040, 6000, 4080, 2850, 0x00C0FFFF}; // right, pale yellow

// The parity of the count's leading whole number: that of its last leading digit, so a count
// of any length is read without converting it to a number that could overflow.
bool isOdd(QStringView count)
{
    qsizetype digits = 0;
    while (digits < count.size() && count[digits].isSpace())
        ++digits;
    QChar last = u'0';
    for (; digits < count.size() && count[digits] >= u'0' && count[digits] <= u'9'; ++digits)
        last = count[digits];
    return (last.unicode() - u'0') % 2 == 1;
}

} // namespace

PendulumPose poseForCount(QStringView count)
{
    return isOdd(count) ? oddPose : evenPose;
}

// The pendulum tick: sets the line and the light from the count's parity. Assigning the pose
// the display already shows repaints nothing, so the 1 ms tick costs next to nothing between
// beats.
void frmCadrel::Timer1_Timer()
{
    const PendulumPose pose = poseForCount(Label1->caption());
    Line2->setX1(pose.x1);
    Line2->setX2(pose.x2);
    Line2->setY1(pose.y1);
    Line2->setY2(pose.y2);
    Shape1->setFillColor(platform::toQColor(pose.light, palette()));
}

} // namespace window
