#include "platform/sound/audio_thread.h"

#if defined(__unix__) || defined(__APPLE__)
#include <sched.h>
#endif

namespace platform {

bool AudioThread::raise()
{
    if (tried_ || !noted_.load(std::memory_order_acquire))
        return realtime_;
    tried_ = true;
#if defined(__unix__) || defined(__APPLE__)
    int policy = SCHED_OTHER;
    sched_param param{};
    if (pthread_getschedparam(thread_, &policy, &param) == 0 &&
        (policy == SCHED_RR || policy == SCHED_FIFO)) {
        realtime_ = true; // SDL got it already
        return realtime_;
    }
    // The lowest real-time priority is above every ordinary thread, and below the server.
    param.sched_priority = sched_get_priority_min(SCHED_RR);
    realtime_ = pthread_setschedparam(thread_, SCHED_RR, &param) == 0;
#endif
    return realtime_;
}

void AudioThread::forget()
{
    noted_.store(false, std::memory_order_relaxed);
    tried_ = false;
    realtime_ = false;
}

} // namespace platform
