#pragma once

#include <cstdint>
#include <QString>
#include <QStringView>
#include <string>

// The small rules behind a beat and what shows it: the count, the captions, the click's path,
// and the pendulum's pose and the light's colour for a count.
namespace core {

enum class RunState;

// The count after one more beat. The count is decimal text and is advanced as text, digit by
// digit, so it never rounds or overflows however long the program runs ("9" gives "10",
// "18446744073709551615" gives "18446744073709551616"). Only the leading digits count.
QString advanceCount(QStringView count);

// The window caption after a beat: the count while minimised, the window's name otherwise.
QString beatCaption(bool minimised, QStringView count);

// The start/stop toggle's caption, which names what it will do next: "&Abilita" until the
// metronome runs, "&Disabilita" while it does.
QString startStopCaption(RunState state);

// The click's path: the folder as reported, the separator and the file name, even when the
// folder already ends with a separator (at the root of a drive or file system). Paths are the
// file system's own bytes.
std::string soundPath(const std::string &folder, char separator);

// What the pendulum and the light show: the pendulum from its pivot (x1, y1) to its free end
// (x2, y2), in twips of the window, and the light's fill as 0x00BBGGRR.
struct Pose {
    int x1, y1, x2, y2;
    std::uint32_t light;
    bool operator==(const Pose &) const = default;
};

// Before the first start: upright, with the dark yellow light.
constexpr Pose kUpright{2040, 6000, 2040, 2280, 0x0000C0C0};
// Leaning left with the dark yellow light for an even count (0 included), right with the pale
// yellow light for an odd one: the swing is not symmetric about the pivot.
constexpr Pose kEvenCount{2040, 6000, 240, 2850, 0x0000C0C0};
constexpr Pose kOddCount{2040, 6000, 4080, 2850, 0x00C0FFFF};

// The pose for a count, by the parity of its leading whole number.
Pose poseForCount(QStringView count);

} // namespace core
