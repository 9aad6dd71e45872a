// Measures the clicks in a recording of the null sink's monitor (s16le, mono, 48 kHz) against
// the ideal beat interval of a tempo, with the onset finder the sound tests use, and prints
// "key value" lines. Asserts nothing.
//
//   cadrel_program_onsets RECORDING BPM [--list]
// --list adds every onset, "rec.onset FRAME", in frames of the recording.
#include "onset_finder.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

int main(int argc, char *argv[])
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s RECORDING BPM [--list]\n", argv[0]);
        return 2;
    }
    constexpr double rate = 48000;
    const double bpm = std::stod(argv[2]);
    const std::vector<float> mono = cadrel_test::readRaw(argv[1], "s16le", 1);
    // Clicks are tens of milliseconds long and beats hundreds apart: a 50 ms gap separates them.
    const auto onsets = cadrel_test::findOnsets(mono, 0.3f, std::int64_t(rate / 20));
    const auto f = cadrel_test::measureOnsets(onsets, rate, 60000.0 / bpm);
    std::printf("rec.seconds %.3f\nrec.onsets %d\nrec.ideal_ms %.6f\n", mono.size() / rate,
                f.onsets, 60000.0 / bpm);
    std::printf("rec.mean_interval_ms %.6f\nrec.mean_deviation_ms %.6f\n", f.meanInterval,
                f.meanDeviation);
    std::printf("rec.spread_ms %.4f\nrec.std_dev_ms %.4f\n", f.spread, f.stdDev);
    std::printf("rec.worst_deviation_ms %.4f\nrec.drift_ms %.4f\n", f.worstDeviation, f.drift);
    // The intervals furthest from the ideal, with where they end in the recording: an underrun
    // of the stream shows as one long interval, a click placed on the wrong buffer as a short one.
    std::vector<std::pair<double, std::size_t>> worst;
    for (std::size_t i = 1; i < onsets.size(); ++i) {
        const double ms = (onsets[i] - onsets[i - 1]) * 1000.0 / rate;
        if (std::abs(ms - 60000.0 / bpm) > 0.05)
            worst.emplace_back(std::abs(ms - 60000.0 / bpm), i);
    }
    std::sort(worst.rbegin(), worst.rend());
    std::printf("rec.outliers %zu\n", worst.size());
    for (std::size_t k = 0; k < std::min<std::size_t>(worst.size(), 8); ++k) {
        const std::size_t i = worst[k].second;
        std::printf("rec.outlier.%zu at %.3f s interval %.4f ms\n", k, onsets[i] / rate,
                    (onsets[i] - onsets[i - 1]) * 1000.0 / rate);
    }
    if (!onsets.empty())
        std::printf("rec.first_onset_s %.6f\nrec.last_onset_s %.6f\n", onsets.front() / rate,
                    onsets.back() / rate);
    if (argc > 3 && std::string(argv[3]) == "--list")
        for (const double onset : onsets)
            std::printf("rec.onset %.4f\n", onset);
    return 0;
}
