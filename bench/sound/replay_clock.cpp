// Replays recorded callback times (from cadrel_trace_callbacks) through the frame clock and
// places a beat every PERIOD ms, each asked for 1 ms after its due time and placed 29 ms ahead
// as the program does. Prints how far each placed beat lies from where the device really
// plays that frame, judged from the steady line of the callbacks around it (the median of
// five, so that one late callback does not count), and the clock's restarts and jumps.
//
//   cadrel_replay_clock TRACE [PERIOD_MS]
#include "platform/sound/frame_clock.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s TRACE [PERIOD_MS]\n", argv[0]);
        return 2;
    }
    const double periodNs = (argc > 2 ? std::atof(argv[2]) : 240.0) * 1e6;
    std::ifstream in(argv[1]);
    std::string line;
    int buffer = 1008;
    double rate = 48000;
    std::vector<long long> times;
    while (std::getline(in, line)) {
        if (line.rfind("# buffer", 0) == 0)
            std::sscanf(line.c_str(), "# buffer %d rate %lf", &buffer, &rate);
        else if (!line.empty() && line[0] != '#')
            times.push_back(std::stoll(line));
    }
    if (times.size() < 200) {
        std::fprintf(stderr, "too short a trace\n");
        return 1;
    }

    platform::FrameClock clock(rate);
    const long long first = times[1] + 3'000'000'000LL; // the first beat 3 s in
    std::vector<double> frames;
    for (std::size_t i = 0; i < times.size(); ++i) {
        clock.update(std::int64_t(i) * buffer, buffer, times[i]);
        // Beats whose request (1 ms after the due time) comes before the next callback.
        while (i + 1 < times.size() &&
               first + double(frames.size()) * periodNs + 1e6 < double(times[i + 1])) {
            const double due = first + double(frames.size()) * periodNs;
            frames.push_back(clock.mapping().frameAt(std::int64_t(due + 29e6)));
        }
    }

    const double bufferNs = buffer / rate * 1e9;
    std::vector<double> residual(times.size());
    for (std::size_t i = 0; i < times.size(); ++i)
        residual[i] = double(times[i] - times[0]) - double(i) * bufferNs;
    const auto steady = [&](long long i) {
        std::vector<double> w;
        for (long long j = i - 2; j <= i + 2; ++j)
            if (j >= 1 && j < (long long)times.size())
                w.push_back(residual[std::size_t(j)]);
        std::sort(w.begin(), w.end());
        return w[w.size() / 2];
    };
    std::vector<double> error;
    for (std::size_t k = 0; k < frames.size(); ++k) {
        const long long i = std::min<long long>((long long)(frames[k] / buffer), times.size() - 1);
        const double plays = double(times[0]) + double(i) * bufferNs + steady(i) +
                             (frames[k] - double(i) * buffer) / rate * 1e9;
        error.push_back((plays - (first + double(k) * periodNs)) / 1e6);
    }
    std::vector<double> sorted = error;
    std::sort(sorted.begin(), sorted.end());
    const double median = sorted[sorted.size() / 2];
    int off = 0;
    for (std::size_t k = 0; k < error.size(); ++k)
        if (std::abs(error[k] - median) > 0.05 && ++off <= 10)
            std::printf("beat %zu at %.2f s: %+.3f ms off\n", k,
                        (first + double(k) * periodNs - double(times[0])) / 1e9, error[k] - median);
    std::printf("%zu beats, %d off by more than 0.05 ms, placement spread %.3f ms\n", frames.size(),
                off, sorted.back() - sorted.front());
    std::printf("clock: %d restarts, %d jumps, rate %.3f frames/s\n", clock.restarts(),
                clock.steps(), clock.mapping().framesPerNs * 1e9);
    return 0;
}
