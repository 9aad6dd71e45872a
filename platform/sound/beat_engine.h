#pragma once

#include "platform/sound/click_voices.h"
#include "platform/sound/output_stream.h"

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace platform {

// Where the beat is kept: in the frames of the output stream. The code that fills the stream
// places each beat of a run on a grid of stream frames (the first one period after the press
// that started the run, as heard; beat k exactly k periods after the press's frame, the
// fraction of a frame kept) and writes its click there. Each output says, as it asks for frames,
// when the first of them will be heard; that is used only to lay a run's grid and to tell when a
// placed beat is heard, never to move a beat once it is placed. If the server plays silence in
// the stream's place, the later frames, their clicks and the moments they are heard all move by
// the gap, and the spacing in the stream stays exact.
//
// The user-interface side starts and stops runs and asks which beats have been heard; the
// outputs' threads fill. One lock guards it all; nothing under it waits for anything.
class BeatEngine : public StreamFiller
{
public:
    struct Settings {
        int rate = 48000;       // frames per second of every output
        int channels = 2;       // interleaved
        int fadeFrames = 48;    // a click cut by the next one fades out within 1 ms
        int keptFrames = 48000; // clicks taken back no earlier than this before the stream's end
    };
    explicit BeatEngine(const Settings &settings);
    BeatEngine() : BeatEngine(Settings{}) {}

    // --- the user-interface side; times are the monotonic clock's, in nanoseconds ---
    // Begins a run whose first beat is heard `periodMs` after `pressNs`. A run under way ends at
    // the press, as with stop(), without a gap in the stream.
    int start(std::int64_t pressNs, double periodMs);
    // Ends the run: no beat heard after `pressNs` is heard at all. Clicks already in the stream
    // for such beats are taken back (see rewrite()); the tail of a click sounding goes on. An
    // output that cannot write again what it has written plays the clicks it holds: their
    // beats are counted as heard now, and their number returned.
    int stop(std::int64_t pressNs);
    // Whether beats sound from `nowNs` on: clicks of beats not yet heard are taken back or
    // written in.
    void setSoundOn(bool on, std::int64_t nowNs);
    void setClip(std::shared_ptr<const PcmClip> clip);
    // How many of the placed beats have been heard by `nowNs` since the last call.
    int takeHeard(std::int64_t nowNs);
    // When the next placed beat will be heard, as far as the output can tell now.
    std::optional<std::int64_t> nextHeardNs() const;
    bool running() const;
    // Nothing left to write but silence: no run, and every click heard to its end by `nowNs`.
    bool idle(int output, std::int64_t nowNs) const override;

    // --- the outputs' side ---
    // Output `output` writes from its next fill on; the run goes on there where the output
    // before it left off, beats heard from then on placed in the new stream.
    // `rewrites`: it can write again what it has written (see rewrite()).
    void use(int output, bool rewrites);
    int inUse() const;
    // Output `output` is in use, or about to be.
    bool wanted(int output) const;
    // Writes `frames` frames of output `output` into `out`: its frames from `firstFrame` on
    // (counted from its stream's first), the first of them heard at `firstHeardNs`. An output
    // not in use gets silence.
    void fill(int output, float *out, int frames, std::int64_t firstFrame,
              std::int64_t firstHeardNs, bool settled) override;
    // The server played silence in place of output `output`'s frames from `at` on: until it
    // asks again, no later frame is heard.
    void ranDry(int output, std::int64_t at) override;
    // The frames of output `output` to write again since clicks were taken back: from the first
    // one taken back to the end of what it wrote, into `out`. Returns how many (0: none).
    int rewrite(int output, std::vector<float> &out) override;
    void taken(int output, std::int64_t frame, std::int64_t atNs) override;

    struct Stats {
        std::int64_t placed = 0;          // beats placed in a stream
        std::int64_t takenBack = 0;       // placed beats taken back before they were heard
        std::int64_t missed = 0;          // beats asked for too late to play: not heard
        std::int64_t heard = 0;           // placed beats heard
        std::int64_t dropouts = 0;        // times an output in use ran dry
        std::int64_t takeovers = 0;       // times another output took over
        std::vector<std::int64_t> onsets; // frames of the clicks in the stream of the output in use
    };
    Stats stats() const;

private:
    static constexpr std::size_t kOnsetsKept = 1 << 16; // onsets noted for measurement

    struct Timing {
        int output = -1;
        std::int64_t frame = 0;  // this frame of the output...
        std::int64_t ns = 0;     // ...is heard at this time
        std::int64_t dryAt = -1; // the output ran dry here, and asked for nothing since
    };
    struct Placed {
        int output = -1;
        std::int64_t frame = 0;
        bool sounded = false;   // its click is in the stream
        std::int64_t atNs = -1; // when it is heard, fixed once its output is no longer in use
    };
    struct Run {
        std::int64_t pressNs = 0;
        double period = 0;     // in frames
        bool laid = false;     // the grid is in the stream
        double origin = 0;     // the frame heard at the press: beat k lies k periods after it
        std::int64_t next = 1; // the next beat to place
    };

    double frameHeardAt(const Timing &timing, std::int64_t ns) const;
    std::int64_t heardNs(const Timing &timing, double frame) const;
    std::int64_t earliestRewritable(std::int64_t ns) const;
    bool heardBy(const Placed &beat, std::int64_t ns) const;
    int takeBackAfter(std::int64_t pressNs);
    std::optional<std::int64_t> takeBackClicksAfter(std::int64_t ns);
    void rewriteFrom(std::int64_t frame);
    void takeOver(int output, std::int64_t firstFrame, std::int64_t firstHeardNs);
    void place(int output, std::int64_t firstFrame, int frames);

    Settings settings_;
    mutable std::mutex mutex_;
    ClickVoices voices_;
    int active_ = -1;
    int incoming_ = -1;
    bool rewrites_ = true, incomingRewrites_ = true;
    Timing current_;              // of the output in use
    std::int64_t written_ = 0;    // the end of what the output in use wrote
    std::optional<Timing> taken_; // its server holds the frames before this out of reach
    std::optional<std::int64_t> rewriteFrom_;
    std::optional<Run> run_;
    std::deque<Placed> placed_; // placed, not yet heard
    std::shared_ptr<const PcmClip> clip_;
    bool soundOn_ = true;
    Stats stats_;
};

} // namespace platform
