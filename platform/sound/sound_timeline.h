#pragma once

#include <cstdint>

namespace platform {

// When the output's frames are heard, against the times at which the server asks for them.
//
// For a server that tells of every silence it plays in the stream's place (PulseAudio and
// pipewire-pulse do), the times of its requests are not the sound's: they move by whole server
// cycles now and then while the sound goes on unbroken (recorded on PipeWire: 11 to 32 ms later,
// with no gap in the sink's output). Once settled, this timeline therefore runs on from where it
// settled, at the device's measured rate, and moves only by the silences the server tells of.
// For any other output it is simply the requests' own. Times in seconds from any fixed origin.
class SoundTimeline
{
public:
    // Requests this much earlier than the timeline leave a click too little time to be written;
    // this much later, they are no longer a server's cycles. Either way the timeline takes the
    // requests' phase again, as after a silence.
    static constexpr double kEarlyLimitSeconds = 0.02;
    static constexpr double kLateLimitSeconds = 0.06;

    // Frame `frame` is asked for at `seconds`, and a frame lasts `perFrame` seconds.
    void follow(double seconds, std::int64_t frame, double perFrame)
    {
        seconds_ = seconds;
        frame_ = frame;
        perFrame_ = perFrame;
    }

    // Runs on to `frame`, later by the `silence` the server told of, and counts with `perFrame`
    // from there. Returns true when the requests' time for the frame, `asked`, lay beyond the
    // limits and was taken instead.
    bool runOn(double asked, std::int64_t frame, double perFrame, double silence)
    {
        seconds_ += double(frame - frame_) * perFrame_ + silence;
        frame_ = frame;
        perFrame_ = perFrame;
        const double later = asked - seconds_;
        if (later >= -kEarlyLimitSeconds && later <= kLateLimitSeconds)
            return false;
        seconds_ = asked;
        return true;
    }

    double seconds() const { return seconds_; }
    std::int64_t frame() const { return frame_; }
    double perFrame() const { return perFrame_; }

private:
    double seconds_ = 0;
    std::int64_t frame_ = 0;
    double perFrame_ = 0;
};

} // namespace platform
