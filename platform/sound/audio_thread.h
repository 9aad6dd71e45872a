#pragma once

#include <atomic>

#if defined(__unix__) || defined(__APPLE__)
#include <pthread.h>
#endif

namespace platform {

// The thread that runs the audio callback. The callback notes it without any system call; the
// user-interface thread then asks for real-time scheduling for it, where the system allows, so
// that a busy machine cannot starve the stream (the server would play silence and shift every
// later click). SDL asks for the same through RealtimeKit, which is often not there.
class AudioThread
{
public:
    // Audio callback: notes the calling thread, once.
    void noteCurrent() noexcept
    {
#if defined(__unix__) || defined(__APPLE__)
        if (!noted_.load(std::memory_order_relaxed)) {
            thread_ = pthread_self();
            noted_.store(true, std::memory_order_release);
        }
#endif
    }

    // Asks once per noted thread for real-time scheduling, below the sound server's own
    // threads. Returns whether the thread runs real-time. Not from the callback.
    bool raise();

    // Forgets the thread (a new stream has a new one). Only while no callback runs.
    void forget();

    bool realtime() const
    {
        return realtime_;
    }

private:
    std::atomic<bool> noted_{false};
#if defined(__unix__) || defined(__APPLE__)
    pthread_t thread_{}; // written before noted_ is set, never after
#endif
    bool tried_ = false;
    bool realtime_ = false;
};

} // namespace platform
