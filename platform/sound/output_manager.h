#pragma once

#include "platform/sound/beat_engine.h"
#include "platform/sound/output_stream.h"
#include "platform/sound/sound_settings.h"

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace platform {

// The outputs the program tries, in order. SDL_AUDIODRIVER names the output the user chose;
// otherwise the desktop's sound server, PulseAudio or PipeWire, and where none answers, ALSA
// through SDL. Not SDL's own PulseAudio or PipeWire drivers: they would ask the server that did
// not answer again, and SDL's waits for it without end.
std::vector<std::unique_ptr<OutputStream>> defaultOutputs(const SoundSettings &settings);

// Finds the output the beat is heard on, in a thread of its own: nothing on the user-interface
// thread ever waits for a sound server. Until an output opens, and whenever one is lost or
// stalls, the silent stand-in keeps the beat; the engine moves the beat onto the next output
// that opens, or back onto one that paused, without a stumble. It says on standard error, one line
// each, when no output was found, when one was lost and when one came back, and when the server
// played silence in the stream's place.
class OutputManager
{
public:
    // Makes the outputs to try, in order; by default the sound server's, then SDL's.
    using StreamMaker = std::function<std::vector<std::unique_ptr<OutputStream>>()>;

    OutputManager(std::shared_ptr<BeatEngine> engine, const SoundSettings &settings,
                  StreamMaker streams = {});
    // Does not wait for an output that hangs: its thread ends on its own.
    ~OutputManager();
    OutputManager(const OutputManager &) = delete;
    OutputManager &operator=(const OutputManager &) = delete;

    // The beat starts: the output in use plays again, and a missing one is looked for.
    void wake();
    // Has the output in use write again what the engine took back.
    void takeBack();

    struct Stats {
        std::string output;       // the kind of output in use
        bool deviceOpen = false;  // a real output is in use
        int openAttempts = 0;     // the look at start, and every one since
        int dropouts = 0;         // times the server played silence for the stream
        int pauses = 0;           // times the stand-in kept the beat while the output paused
        std::int64_t watched = 0; // looks at the output in use
        bool realtime = false;    // the output's thread runs with real-time scheduling
    };
    Stats stats() const;

private:
    friend class SoundProbe; // the tests' look inside

    // Waits until the output has been looked for at least `looks` times.
    bool waitForLooks(int looks, std::chrono::milliseconds limit) const;

    struct Shared;
    std::shared_ptr<Shared> shared_;
};

} // namespace platform
