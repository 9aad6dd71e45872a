#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace cadrel_test {

// Finds click onsets in a recording, to a fraction of a frame: an onset is where the signal's
// magnitude first crosses `threshold` after at least `minGap` frames without a crossing, placed
// between the two frames around the crossing by linear interpolation. Clicks placed on exact
// frames therefore come out an exact number of frames apart.
std::vector<double> findOnsets(std::span<const float> mono, float threshold, std::int64_t minGap);

// Reads raw interleaved samples ("s16le" or "f32le") and keeps the first channel.
std::vector<float> readRaw(const std::string &path, const std::string &format, int channels);

// Figures of a series of onsets against an ideal spacing, all in milliseconds.
struct OnsetFigures {
    int onsets = 0;
    double meanInterval = 0;
    double meanDeviation = 0;  // mean interval minus the ideal
    double spread = 0;         // largest interval minus smallest
    double stdDev = 0;         // of the intervals
    double worstDeviation = 0; // largest |interval - ideal|
    double drift = 0;          // last onset minus its ideal time counted from the first
};

// `idealMs` <= 0 measures against the recording's own mean interval (for clocks that run off
// real time, like SDL's disk driver).
OnsetFigures measureOnsets(const std::vector<double> &onsets, double rate, double idealMs);

} // namespace cadrel_test
