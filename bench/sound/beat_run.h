#pragma once

#include "onset_finder.h"
#include "platform/sound/sound.h"

#include <QString>

// One measured run: the beat timer drives the click facility at one tempo while `parec`
// records the null sink's monitor; the recording's onsets are then measured.
struct BeatRun {
    double bpm = 120;
    bool naive = false;
    int seconds = 60;
    int bufferFrames = 1008;
    QString clickPath;
    QString monitor = QStringLiteral("cadrel_null.monitor");
};

struct BeatRunResult {
    bool ok = false;
    QString error;
    int requests = 0;
    double latencyMs = 0;
    double worstTickLateMs = 0; // how late the timer delivered its ticks
    platform::Sound::Stats stats;
    cadrel_test::OnsetFigures figures;
};

BeatRunResult runBeats(const BeatRun &run);
