#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <type_traits>

namespace platform {

// A value that one thread writes and any one other thread reads, neither of them waiting: the
// writer moves a sequence counter before and after each write, and a reader that saw it move (or
// odd) reads again. The value is kept in atomic words, so that a torn read is harmless until it
// is noticed.
template <typename T> class Published
{
public:
    void write(const T &value)
    {
        static_assert(std::is_trivially_copyable_v<T>);
        std::array<std::uint64_t, kWords> words{};
        std::memcpy(words.data(), &value, sizeof(T));
        const unsigned s = sequence_.load(std::memory_order_relaxed);
        sequence_.store(s + 1, std::memory_order_relaxed);
        std::atomic_thread_fence(std::memory_order_release);
        for (std::size_t i = 0; i < kWords; ++i)
            words_[i].store(words[i], std::memory_order_relaxed);
        sequence_.store(s + 2, std::memory_order_release);
    }

    // The value last written; nothing before the first write.
    std::optional<T> read() const
    {
        for (;;) {
            const unsigned before = sequence_.load(std::memory_order_acquire);
            if (before & 1)
                continue;
            std::array<std::uint64_t, kWords> words{};
            for (std::size_t i = 0; i < kWords; ++i)
                words[i] = words_[i].load(std::memory_order_relaxed);
            std::atomic_thread_fence(std::memory_order_acquire);
            if (sequence_.load(std::memory_order_relaxed) != before)
                continue;
            if (before == 0)
                return std::nullopt;
            T value;
            std::memcpy(static_cast<void *>(&value), words.data(), sizeof(T));
            return value;
        }
    }

private:
    static constexpr std::size_t kWords = (sizeof(T) + 7) / 8;
    std::atomic<unsigned> sequence_{0};
    std::array<std::atomic<std::uint64_t>, kWords> words_{};
};

} // namespace platform
