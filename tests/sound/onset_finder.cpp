#include "onset_finder.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>

namespace cadrel_test {

std::vector<double> findOnsets(std::span<const float> mono, float threshold, std::int64_t minGap)
{
    std::vector<double> onsets;
    std::int64_t lastCrossing = -minGap - 1;
    for (std::size_t i = 0; i < mono.size(); ++i) {
        const float level = std::abs(mono[i]);
        if (level < threshold)
            continue;
        const auto at = std::int64_t(i);
        if (at - lastCrossing > minGap) {
            const float before = i > 0 ? std::abs(mono[i - 1]) : 0.0f;
            const double fraction =
                before < threshold ? (threshold - before) / (level - before) : 1.0;
            onsets.push_back(double(at) - 1.0 + fraction);
        }
        lastCrossing = at;
    }
    return onsets;
}

std::vector<float> readRaw(const std::string &path, const std::string &format, int channels)
{
    std::ifstream in(path, std::ios::binary);
    const std::vector<char> bytes{std::istreambuf_iterator<char>(in),
                                  std::istreambuf_iterator<char>()};
    const std::size_t width = format == "s16le" ? 2 : 4;
    const std::size_t frames = bytes.size() / (width * channels);
    std::vector<float> mono(frames);
    for (std::size_t f = 0; f < frames; ++f) {
        const char *p = bytes.data() + f * width * channels;
        if (width == 2) {
            std::int16_t v;
            std::memcpy(&v, p, 2);
            mono[f] = v / 32768.0f;
        } else {
            std::memcpy(&mono[f], p, 4);
        }
    }
    return mono;
}

OnsetFigures measureOnsets(const std::vector<double> &onsets, double rate, double idealMs)
{
    OnsetFigures r;
    r.onsets = int(onsets.size());
    if (onsets.size() < 2)
        return r;
    std::vector<double> intervals;
    for (std::size_t i = 1; i < onsets.size(); ++i)
        intervals.push_back((onsets[i] - onsets[i - 1]) * 1000.0 / rate);
    const double n = double(intervals.size());
    r.meanInterval = (onsets.back() - onsets.front()) * 1000.0 / rate / n;
    const double ideal = idealMs > 0 ? idealMs : r.meanInterval;
    r.meanDeviation = r.meanInterval - ideal;
    const auto [lo, hi] = std::minmax_element(intervals.begin(), intervals.end());
    r.spread = *hi - *lo;
    double squares = 0;
    for (const double v : intervals) {
        squares += (v - r.meanInterval) * (v - r.meanInterval);
        r.worstDeviation = std::max(r.worstDeviation, std::abs(v - ideal));
    }
    r.stdDev = std::sqrt(squares / n);
    r.drift = (onsets.back() - onsets.front()) * 1000.0 / rate - n * ideal;
    return r;
}

} // namespace cadrel_test
