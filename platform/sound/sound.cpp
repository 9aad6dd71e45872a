#include "platform/sound/sound.h"

#include <algorithm>
#include <cmath>

namespace platform {
namespace {

// While a beat due is not yet in the stream, it is looked for this often, from a little before
// it should be heard: every output places a beat at least that long before it is heard.
constexpr std::int64_t kRecheckNs = 2'000'000;
constexpr std::int64_t kPlacedAheadNs = 15'000'000;

std::int64_t toNs(core::BeatSource::Clock::time_point t)
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(t.time_since_epoch()).count();
}

BeatEngine::Settings engineSettings(const SoundSettings &s)
{
    BeatEngine::Settings settings;
    settings.rate = s.rate;
    settings.channels = s.channels;
    settings.fadeFrames = s.rate / 1000;
    return settings;
}

} // namespace

Sound::Sound(const SoundOptions &options, QObject *parent)
    : QObject(parent), options_(options),
      engine_(std::make_shared<BeatEngine>(engineSettings(options.settings))),
      outputs_(engine_, options.settings, options.streams)
{
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, [this] { sayHeard(monotonicNs()); });
}

// Nothing more is heard once the program ends.
Sound::~Sound()
{
    engine_->stop(monotonicNs());
    outputs_.takeBack();
}

// Every output takes stereo floats at one rate, so the clip is read before any is open.
void Sound::prepare(const std::string &clickPath)
{
    clickPath_ = clickPath;
    refreshClip();
}

// The file is looked at again each time: the clip as last read, or the beep.
void Sound::refreshClip()
{
    if (!clickPath_.empty())
        engine_->setClip(
            clips_.clip(clickPath_, options_.settings.rate, options_.settings.channels));
}

void Sound::start(core::BeatSource::Clock::time_point press, double periodMs)
{
    const std::int64_t pressNs = toNs(press);
    sayHeard(pressNs); // beats heard before the press belong to the run before
    refreshClip();     // the file as read by now, not the beep that stood in until it was
    for (int kept = engine_->start(pressNs, periodMs); kept > 0; --kept)
        emit heard();
    outputs_.takeBack();
    outputs_.wake();
    periodNs_ = periodMs * 1e6;
    expected_ = pressNs + std::int64_t(std::llround(periodNs_));
    armFor(expected_);
}

// The beats heard up to the press are said; those after it are taken back, and their clicks
// with them.
void Sound::stop(core::BeatSource::Clock::time_point press)
{
    const std::int64_t pressNs = toNs(press);
    sayHeard(pressNs);
    for (int kept = engine_->stop(pressNs); kept > 0; --kept)
        emit heard();
    outputs_.takeBack();
    timer_.stop();
}

void Sound::setSoundOn(bool on)
{
    engine_->setSoundOn(on, monotonicNs());
    outputs_.takeBack();
}

void Sound::armFor(std::int64_t ns)
{
    const std::int64_t wait = std::max<std::int64_t>(0, ns - monotonicNs());
    timer_.start(int((wait + 999'999) / 1'000'000));
}

// Says each beat heard by `now`, then waits for the next: until it is in the stream, for when
// it should be heard; then for when the output says it will be.
void Sound::sayHeard(std::int64_t now)
{
    const int heard = engine_->takeHeard(now);
    if (heard > 0) {
        refreshClip(); // a changed file is heard from the next beat
        expected_ = now + std::int64_t(std::llround(periodNs_));
    }
    for (int i = 0; i < heard; ++i)
        emit this->heard();
    if (!engine_->running())
        return;
    if (const auto next = engine_->nextHeardNs())
        armFor(*next);
    else
        armFor(std::max(expected_ - kPlacedAheadNs, now + kRecheckNs));
}

Sound::Stats Sound::stats() const
{
    return Stats{outputs_.stats(), engine_->stats()};
}

} // namespace platform
