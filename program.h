#pragma once

#include "core/metronome.h"
#include "platform/sound/sound.h"
#include "window/metronome_window.h"

// The whole program, wired: the beat as heard, the metronome it serves and the window that
// shows it. main() makes one and shows its window; the benches drive one.
struct Program {
    Program();

    platform::Sound sound;
    core::Metronome metronome;
    window::MetronomeWindow window;
};
