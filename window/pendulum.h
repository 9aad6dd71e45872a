#pragma once

#include "platform/colours.h"

#include <QStringView>

// The pendulum and the beat light follow the parity of the beat count.
namespace window {

struct PendulumPose {
    int x1, y1, x2, y2;           // the line, in twips: the pivot and the free end
    platform::DesignColour light; // the beat light's fill
};

// Leaning left with the dark yellow light for an even count (0 included), right with the pale
// yellow light for an odd one. The count is the counter label's whole number.
PendulumPose poseForCount(QStringView count);

} // namespace window
