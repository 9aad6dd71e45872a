#pragma once

#include <array>
#include <atomic>
#include <cstddef>

namespace platform {

// A bounded single-producer single-consumer ring. The user-interface thread hands click
// requests to the audio callback through one of these, and the callback hands finished
// buffers back through another, so neither side ever waits for the other or allocates.
template <typename T, std::size_t Capacity> class SpscQueue
{
    static_assert(Capacity >= 2 && (Capacity & (Capacity - 1)) == 0, "capacity: a power of two");

public:
    // Producer side. Returns false, leaving the queue untouched, when it is full.
    bool push(const T &value)
    {
        const std::size_t tail = tail_.load(std::memory_order_relaxed);
        if (tail - head_.load(std::memory_order_acquire) == Capacity)
            return false;
        slots_[tail & (Capacity - 1)] = value;
        tail_.store(tail + 1, std::memory_order_release);
        return true;
    }

    // Consumer side: the oldest element, or nullptr when empty. Valid until pop().
    const T *front() const
    {
        const std::size_t head = head_.load(std::memory_order_relaxed);
        if (head == tail_.load(std::memory_order_acquire))
            return nullptr;
        return &slots_[head & (Capacity - 1)];
    }

    // Consumer side: drops the element front() returned.
    void pop()
    {
        head_.store(head_.load(std::memory_order_relaxed) + 1, std::memory_order_release);
    }

    // Consumer side: takes the oldest element into `out`; false when empty.
    bool pop(T &out)
    {
        const T *first = front();
        if (first == nullptr)
            return false;
        out = *first;
        pop();
        return true;
    }

private:
    std::array<T, Capacity> slots_{};
    alignas(64) std::atomic<std::size_t> head_{0};
    alignas(64) std::atomic<std::size_t> tail_{0};
};

} // namespace platform
