#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace platform {

// Output frames at which something happened (a click started, the server ran dry), noted by the
// audio thread without waiting or allocating and read by any other thread, for measurement.
// Keeps the first Capacity; later ones are only counted.
template <std::size_t Capacity> class FrameLog
{
public:
    void note(std::int64_t frame) noexcept
    {
        const std::size_t n = count_.load(std::memory_order_relaxed);
        if (n < Capacity)
            frames_[n] = frame;
        count_.store(n + 1, std::memory_order_release);
    }
    void clear() noexcept { count_.store(0, std::memory_order_release); } // while none notes

    std::size_t count() const { return count_.load(std::memory_order_acquire); }
    std::vector<std::int64_t> frames() const
    {
        const std::size_t n = count_.load(std::memory_order_acquire);
        return {frames_.begin(), frames_.begin() + std::ptrdiff_t(n < Capacity ? n : Capacity)};
    }

private:
    std::array<std::int64_t, Capacity> frames_{};
    std::atomic<std::size_t> count_{0};
};

} // namespace platform
