#pragma once

#include "core/interfaces.h"
#include "platform/sound/beat_engine.h"
#include "platform/sound/clip_loader.h"
#include "platform/sound/output_manager.h"
#include "platform/sound/sound_settings.h"

#include <memory>
#include <QObject>
#include <QTimer>
#include <string>

namespace platform {

struct SoundOptions {
    SoundSettings settings;
    // The outputs to try; by default the sound server's, then SDL's (see OutputManager).
    OutputManager::StreamMaker streams;
};

// The beat as the listener hears it. The output stream counts it: each run's beats lie on a grid
// of the stream's frames, one period apart from the first, which is heard one period after the
// press that started the run, and each click is written on its beat's frame. The beat is said
// (heard()) at the moment it is heard, so that what shows it changes with the sound. Without a
// device the beat goes on, silent, at the times it would have been heard.
class Sound : public QObject, public core::BeatSource
{
    Q_OBJECT

public:
    explicit Sound(const SoundOptions &options = {}, QObject *parent = nullptr);
    ~Sound() override;

    void prepare(const std::string &clickPath) override;
    void start(core::BeatSource::Clock::time_point press, double periodMs) override;
    void stop(core::BeatSource::Clock::time_point press) override;
    void setSoundOn(bool on) override;

    // What the outputs and the beat have done, for measurement.
    struct Stats {
        OutputManager::Stats output;
        BeatEngine::Stats beats;
    };
    Stats stats() const;

signals:
    // One beat of the run has just been heard (or would have been, without sound).
    void heard();

private:
    friend class SoundProbe; // the tests' look inside

    void sayHeard(std::int64_t now);
    void refreshClip();
    void armFor(std::int64_t ns);

    SoundOptions options_;
    std::shared_ptr<BeatEngine> engine_;
    OutputManager outputs_;
    ClipLoader clips_;
    std::string clickPath_;
    QTimer timer_;
    std::int64_t expected_ = 0; // when the next beat should be heard, before it is placed
    double periodNs_ = 0;
};

} // namespace platform
