#pragma once

#include "core/interfaces.h"

#include <string>
#include <vector>

// A beat source that notes what the metronome asked of it, and says a beat was heard only when
// the test says: however slow the machine, no real beat races the test's checks.
struct TestBeats : core::BeatSource {
    void prepare(const std::string &path) override { prepared = path; }
    void start(Clock::time_point press, double periodMs) override
    {
        runs.push_back(periodMs);
        presses.push_back(press);
        running = true;
    }
    void stop(Clock::time_point press) override
    {
        ++stops;
        presses.push_back(press);
        running = false;
    }
    void setSoundOn(bool on) override { soundOn = on; }
    // The period of the run begun last.
    double period() const { return runs.empty() ? 0 : runs.back(); }

    std::string prepared;
    std::vector<double> runs; // the period of each run begun
    std::vector<Clock::time_point> presses;
    int stops = 0;
    bool running = false;
    bool soundOn = true;
};
