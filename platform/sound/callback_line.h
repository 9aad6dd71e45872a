#pragma once

#include <array>
#include <cstdint>

namespace platform {

// The straight line through the times of the last steady audio callbacks against the frames
// they asked for, fitted by least squares. Over tens of seconds of callbacks it knows the
// device's rate to a fraction of a part per million, where a loop that follows each callback
// keeps some of their jitter in its rate. Fixed storage: nothing is allocated after
// construction, so the audio callback may use it.
class CallbackLine
{
public:
    static constexpr int kCapacity = 2048; // 43 s of 1008-frame buffers at 48 kHz

    // Forgets everything, the kept measurement too.
    void clear()
    {
        startAgain(0);
        kept_ = {};
    }
    // Starts again after a jump of the times, which would bend the line. The fit so far, if it
    // spans `minSpan` and longer than the one kept, is kept as the measurement (see below).
    void startAgain(double minSpan);
    // The callback asking for `frame` came at `seconds` (from any fixed origin).
    void add(std::int64_t frame, double seconds);

    // Seconds from the oldest stored callback to the newest.
    double span() const;
    // The slope of the line in seconds per frame, with its standard error. Needs three
    // callbacks at least. The line is fitted again only after every kRefitAdds callbacks added,
    // since a device's rate moves far too slowly to need more: the audio callback does not sum
    // the whole window each time.
    struct Slope {
        double secondsPerFrame = 0;
        double standardError = 0;
    };
    Slope slope();
    static constexpr int kRefitAdds = 16;

    // The rate to give out: the line's once it spans `minSpan`, and nine tenths of the span
    // of the one kept at the last jump (a full line's span varies a little); until then the
    // kept one, so that a jump does not set the measurement back to nothing.
    struct Measurement {
        Slope slope;
        double span = 0;
    };
    Measurement measurement(double minSpan);

private:
    int oldest() const { return size_ < kCapacity ? 0 : next_; }
    Slope fit() const;

    std::array<std::int64_t, kCapacity> frames_{};
    std::array<double, kCapacity> seconds_{};
    int size_ = 0;
    int next_ = 0;
    Slope slope_;          // the last fit's, 0 before the first
    int addsSinceFit_ = 0; // callbacks added since then
    Measurement kept_;
};

} // namespace platform
