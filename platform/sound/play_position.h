#pragma once

#include <array>
#include <cstdint>
#include <optional>

namespace platform {

// The frame the listener hears when a server answers: its read index less what its sink still
// holds, and less `queuedFrames` the server holds on its way to the sink without saying so.
// (PipeWire's PulseAudio service takes a cycle of its graph from the stream when the cycle
// begins and plays it from the next one: it answers about two cycles ahead of the ear.)
std::int64_t frameHeardWhenTold(std::int64_t readFrame, std::int64_t sinkFrames,
                                std::int64_t queuedFrames);

// How many frames a cycle of PipeWire's graph takes from the stream. The server asks for what
// its cycles took, 256 frames at least, so one request may span several cycles; its read index,
// asked for between requests too, moves a cycle at a time.
class ServerCycle
{
public:
    // The server asked for `frames`; a request of another size (a new cycle) starts over.
    void asked(std::int64_t frames);
    // An answer told the read index.
    void read(std::int64_t readFrame);
    // The shortest step of the read index that divides the request, or the request itself.
    std::int64_t frames() const { return cycle_ > 0 ? cycle_ : asked_; }
    std::int64_t lastAsked() const { return asked_; }

private:
    std::int64_t asked_ = 0;
    std::int64_t lastRead_ = -1;
    std::int64_t cycle_ = 0;
};

// Which frame of a stream the listener hears, from the server's answers: each tells the frame
// heard at a moment. A server's read index moves in whole cycles of its graph, so a single
// answer can be up to a cycle off (4 ms seen at PipeWire's 1024 frames). Between answers the
// device plays on at its rate, so every answer is a point on one line; the position is that
// line through the mean of the recent answers. An answer far off the line (the server played
// silence, took a new cycle size, or the stream paused) starts the line again.
class PlayPosition
{
public:
    PlayPosition(int rate, double jumpFrames);

    // The server says frame `heardFrame` is heard at `atNs`, and whether the device plays on.
    void told(std::int64_t heardFrame, std::int64_t atNs, bool playing);
    // The frame heard at `ns`, once the server has told.
    std::optional<double> heardAt(std::int64_t ns) const;
    // The line rests on enough answers from a device that plays. Until then the position is a
    // guess: a device yet to start is taken to start at once, and one answer may be a cycle off.
    // (A server that never says its device plays is believed after many answers.)
    bool settled() const;
    void forget();

private:
    static constexpr int kKept = 32;
    static constexpr int kSettled = 4;
    static constexpr int kBelievedStill = 50;

    int rate_;
    double jumpFrames_;
    std::array<double, kKept> offsets_{}; // heard frame less the frames played since time 0
    int count_ = 0;
    int next_ = 0;
    double sum_ = 0;
    bool playing_ = false;
    int stillAnswers_ = 0;        // answers since the device was last heard playing
    std::optional<double> still_; // the frame heard while the device does not play
};

} // namespace platform
