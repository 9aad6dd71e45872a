#pragma once

#include "platform/sound/output_stream.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace platform {

class BeatEngine;

// The output when there is no device: silent, clocked by the monotonic clock, so that the beat
// goes on and is shown at the times it would have been heard. It writes a `lead` ahead, and
// sleeps while the engine has nothing for it.
class StandIn : public OutputStream
{
public:
    StandIn(BeatEngine &engine, int rate, int channels, std::chrono::milliseconds lead);
    ~StandIn() override;

    bool open(StreamFiller &filler, int id, std::string &error) override;
    void close() override;
    bool alive() const override { return true; }
    const char *name() const override { return "nessuna"; }
    bool rewrites() const override { return true; }
    void wake() override;
    // Nothing it wrote is heard: what is taken back needs no writing again.
    void takeBack() override;

private:
    void run();

    BeatEngine &engine_;
    int rate_, channels_;
    std::int64_t leadFrames_;
    StreamFiller *filler_ = nullptr;
    int id_ = -1;
    std::mutex mutex_;
    std::condition_variable woken_;
    bool stop_ = false;
    std::thread thread_;
    std::vector<float> buffer_;
};

} // namespace platform
