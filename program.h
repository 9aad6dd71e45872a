#pragma once

#include "core/metronome.h"
#include "platform/periodic_timer.h"
#include "platform/sound/sound.h"
#include "window/metronome_window.h"

// The whole program, wired: the click's sound, the beat timer, the metronome that they serve
// and the window that shows it. main() makes one and shows its window; the benches drive one.
struct Program {
    Program();

    platform::Sound sound;
    platform::PeriodicTimer beatTimer;
    core::Metronome metronome;
    window::MetronomeWindow window;
};
