#include "platform/sound/audio_output.h"

#include "platform/sound/pulse_stream.h"
#include "platform/sound/sdl_stream.h"

#include <algorithm>
#include <cstdlib>

namespace platform {

AudioOutput::AudioOutput(const SoundBudget &budget, const FrameClock::Tuning &tuning)
    : budget_(budget), tuning_(tuning)
{}

AudioOutput::~AudioOutput()
{
    close();
}

bool AudioOutput::open(std::string &error)
{
    close();
    // SDL_AUDIODRIVER names the output the user chose; otherwise the desktop's sound server,
    // PulseAudio or PipeWire, and where none answers, whatever SDL finds (ALSA).
    const char *chosen = std::getenv("SDL_AUDIODRIVER");
    if (chosen == nullptr || *chosen == '\0') {
        auto pulse = std::make_unique<PulseStream>(budget_);
        if (openStream(std::move(pulse), error))
            return true;
    }
    return openStream(std::make_unique<SdlStream>(budget_.rate, budget_.bufferFrames), error);
}

bool AudioOutput::openStream(std::unique_ptr<OutputStream> stream, std::string &error)
{
    // Everything the stream's thread touches is made before it starts and freed after it ends.
    requests_ = std::make_unique<RequestQueue>();
    returns_ = std::make_unique<ReturnQueue>();
    framesWritten_ = 0;
    dropoutAt_.clear();
    clockStepAt_.clear();
    clock_.reset();
    mixer_.reset();
    stream_ = std::move(stream);
    // The stream only knows its rate once open, and starts calling its feed at once: the feed
    // waits for the clock and the mixer, which are made right after.
    if (!stream_->open(*this, error)) {
        stream_.reset();
        return false;
    }
    clock_ = std::make_unique<FrameClock>(stream_->rate(), tuning_);
    const int fadeFrames = stream_->rate() / 1000; // the cut of a sounding clip lasts 1 ms
    mixer_ = std::make_unique<ClickMixer>(*requests_, *returns_, stream_->channels(), fadeFrames);
    ready_.store(true, std::memory_order_release);
    ++streams_;
    return true;
}

void AudioOutput::close()
{
    if (!stream_)
        return;
    stream_->close(); // returns once the feed is no longer called
    stream_.reset();
    ready_.store(false, std::memory_order_relaxed);
    if (mixer_)
        mixer_->releaseAll();
    collectReturns();
    ClickRequest request;
    while (requests_->pop(request))
        delete request.clip;
}

void AudioOutput::asked(int frames, std::int64_t nowNs)
{
    if (!ready_.load(std::memory_order_acquire))
        return;
    const int steps = clock_->steps();
    clock_->update(framesWritten_, frames, nowNs);
    if (clock_->steps() != steps)
        clockStepAt_.note(framesWritten_);
}

void AudioOutput::render(float *out, int frames)
{
    if (ready_.load(std::memory_order_acquire))
        mixer_->render(out, frames, framesWritten_);
    else
        std::fill(out, out + std::ptrdiff_t(frames) * stream_->channels(), 0.0f);
    framesWritten_ += frames;
}

void AudioOutput::dropout()
{
    if (ready_.load(std::memory_order_acquire))
        clock_->serverRanDry();
    dropouts_.fetch_add(1, std::memory_order_relaxed);
    dropoutAt_.note(framesWritten_);
}

FrameClock::Mapping AudioOutput::mapping() const
{
    return clock_ && stream_ ? clock_->mapping() : FrameClock::Mapping{};
}

AudioOutput::Stats AudioOutput::stats() const
{
    Stats s;
    if (mixer_) {
        s.mixer = mixer_->stats();
        s.onsets = mixer_->onsets();
    }
    if (clock_) {
        s.clockRestarts = clock_->restarts();
        s.clockSteps = clock_->steps();
    }
    s.dropouts = dropouts_.load(std::memory_order_relaxed);
    s.dropoutAt = dropoutAt_.frames();
    s.clockStepAt = clockStepAt_.frames();
    s.realtime = stream_ && stream_->thread().realtime();
    return s;
}

void AudioOutput::raiseStreamThread()
{
    if (stream_)
        stream_->thread().raise();
}

bool AudioOutput::submit(const std::shared_ptr<const PcmClip> &clip, std::int64_t onset)
{
    if (!stream_ || !ready_.load(std::memory_order_relaxed))
        return false;
    collectReturns();
    auto *held = new std::shared_ptr<const PcmClip>(clip);
    if (!requests_->push(ClickRequest{held, onset, ++serial_})) {
        delete held;
        return false;
    }
    return true;
}

void AudioOutput::collectReturns()
{
    if (!returns_)
        return;
    std::shared_ptr<const PcmClip> *held = nullptr;
    while (returns_->pop(held))
        delete held;
}

} // namespace platform
