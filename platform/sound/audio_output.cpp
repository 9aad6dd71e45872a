#include "platform/sound/audio_output.h"

#include "platform/sound/frame_log.h"
#include "platform/sound/pulse_stream.h"
#include "platform/sound/sdl_stream.h"

#include <algorithm>
#include <cstdlib>
#include <thread>

namespace platform {

// One open stream and everything its thread touches, made before it starts and freed after it
// has ended.
struct AudioOutput::Session : StreamFeed {
    Session(std::unique_ptr<OutputStream> s, FrameClock::Tuning tuning)
        : stream(std::move(s)), clock(stream->rate(), toldOfSilence(tuning, *stream)),
          // the cut of a sounding clip lasts 1 ms
          mixer(requests, returns, stream->channels(), stream->rate() / 1000)
    {}
    ~Session() override
    {
        mixer.releaseAll();
        collectReturns();
        ClickRequest request;
        while (requests.pop(request))
            delete request.clip;
    }

    static FrameClock::Tuning toldOfSilence(FrameClock::Tuning tuning, const OutputStream &s)
    {
        tuning.silenceAnnounced = s.announcesSilence();
        return tuning;
    }

    void asked(int frames, std::int64_t nowNs) override
    {
        const int heard = clock.heardSteps(), steps = clock.steps();
        clock.update(framesWritten, frames, nowNs);
        if (clock.heardSteps() != heard) {
            clockStepAt.note(framesWritten);
        } else if (clock.steps() != steps) {
            // Where the sound broke, if it did: the frames then heard lay the lead before the
            // first one asked for late.
            const auto lead = stream->lead().count() * std::int64_t(stream->rate()) / 1'000'000'000;
            requestJumpAt.note(clock.jumpFrame() - lead);
        }
    }
    void render(float *out, int frames) override
    {
        mixer.render(out, frames, framesWritten);
        framesWritten += frames;
    }
    void dropout(std::int64_t at) override
    {
        clock.serverRanDry();
        dropouts.fetch_add(1, std::memory_order_relaxed);
        dropoutAt.note(at >= 0 ? at : framesWritten);
    }
    void collectReturns()
    {
        std::shared_ptr<const PcmClip> *held = nullptr;
        while (returns.pop(held))
            delete held;
    }

    std::unique_ptr<OutputStream> stream;
    RequestQueue requests;
    ReturnQueue returns;
    FrameClock clock;
    ClickMixer mixer;
    // Written by the stream's thread.
    std::int64_t framesWritten = 0;
    std::atomic<int> dropouts{0};
    FrameLog<256> dropoutAt;
    FrameLog<256> clockStepAt;
    FrameLog<256> requestJumpAt;
};

namespace {

// SDL_AUDIODRIVER names the output the user chose; otherwise the desktop's sound server,
// PulseAudio or PipeWire, and where none answers, whatever SDL finds (ALSA).
std::vector<std::unique_ptr<OutputStream>> defaultStreams(const SoundBudget &budget)
{
    std::vector<std::unique_ptr<OutputStream>> streams;
    const char *chosen = std::getenv("SDL_AUDIODRIVER");
    if (chosen == nullptr || *chosen == '\0')
        streams.push_back(std::make_unique<PulseStream>(budget));
    streams.push_back(std::make_unique<SdlStream>(budget.rate, budget.bufferFrames));
    return streams;
}

} // namespace

AudioOutput::AudioOutput(const SoundBudget &budget, const FrameClock::Tuning &tuning,
                         StreamMaker streams)
    : budget_(budget), tuning_(tuning), makeStreams_(std::move(streams))
{
    if (!makeStreams_)
        makeStreams_ = [budget] { return defaultStreams(budget); };
}

AudioOutput::~AudioOutput()
{
    if (session_)
        std::thread([session = std::move(session_)] { session->stream->close(); }).detach();
}

bool AudioOutput::open(std::string &error)
{
    close();
    for (auto &stream : makeStreams_()) {
        // The stream knows its rate only once open, but calls its feed from then on: the
        // session is made first, and learns the rate when the stream has opened.
        OutputStream &opening = *stream;
        auto session = std::make_unique<Session>(std::move(stream), tuning_);
        if (!opening.open(*session, error))
            continue;
        session_ = std::move(session);
        ++streams_;
        return true;
    }
    return false;
}

void AudioOutput::close()
{
    if (!session_)
        return;
    session_->stream->close(); // returns once the feed is no longer called
    session_.reset();
}

bool AudioOutput::alive() const
{
    return session_ && session_->stream->alive();
}

int AudioOutput::rate() const
{
    return session_ ? session_->stream->rate() : 0;
}

int AudioOutput::channels() const
{
    return session_ ? session_->stream->channels() : 0;
}

std::chrono::nanoseconds AudioOutput::lead() const
{
    return session_ ? session_->stream->lead() : std::chrono::nanoseconds{};
}

const char *AudioOutput::streamName() const
{
    return session_ ? session_->stream->name() : "none";
}

FrameClock::Mapping AudioOutput::mapping() const
{
    return session_ ? session_->clock.mapping() : FrameClock::Mapping{};
}

MeasuredRate AudioOutput::measuredRate() const
{
    return session_ ? session_->clock.measuredRate() : MeasuredRate{};
}

AudioOutput::Stats AudioOutput::stats() const
{
    Stats s;
    if (!session_)
        return s;
    const Session &session = *session_;
    s.mixer = session.mixer.stats();
    s.onsets = session.mixer.onsets();
    s.clockRestarts = session.clock.restarts();
    s.clockSteps = session.clock.heardSteps();
    s.requestJumps = int(session.requestJumpAt.count());
    s.dropouts = session.dropouts.load(std::memory_order_relaxed);
    s.dropoutAt = session.dropoutAt.frames();
    s.clockStepAt = session.clockStepAt.frames();
    s.requestJumpAt = session.requestJumpAt.frames();
    s.realtime = session.stream->thread().realtime();
    return s;
}

void AudioOutput::raiseStreamThread()
{
    if (session_)
        session_->stream->thread().raise();
}

bool AudioOutput::submit(const std::shared_ptr<const PcmClip> &clip, std::int64_t onset)
{
    if (!session_)
        return false;
    session_->collectReturns();
    auto *held = new std::shared_ptr<const PcmClip>(clip);
    if (!session_->requests.push(ClickRequest{held, onset, ++serial_})) {
        delete held;
        return false;
    }
    return true;
}

} // namespace platform
