// SPDX-License-Identifier: MIT
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace kestrin {

// The one flag that stops a run: the host's cancel, or a worker that failed, sets it, and every long loop
// of every phase looks at it. Once set it stays set.
class CancelFlag
{
public:
    CancelFlag() = default;
    explicit CancelFlag(bool alreadySet) : set(alreadySet) {}
    CancelFlag(const CancelFlag&) = delete;
    CancelFlag& operator=(const CancelFlag&) = delete;

    void Set() { set.store(true); }

    // True once the run is to stop. Cheap enough for the loops that look every few thousand steps.
    [[nodiscard]] bool IsSet() const
    {
        if (setAtLook.load(std::memory_order_relaxed) >= 0) {
            return CountLook();
        }
        return set.load(std::memory_order_relaxed);
    }

    // For tests that stop a run at every place that looks at the flag: the flag sets itself at its
    // look number `look` (0 for the first) from now on.
    void SetAtLook(std::int64_t look)
    {
        looks.store(0);
        setAtLook.store(look);
    }

private:
    bool CountLook() const
    {
        if (looks.fetch_add(1) >= setAtLook.load()) {
            set.store(true);
        }
        return set.load();
    }

    mutable std::atomic<bool> set{false}; // set by a look, which is const
    mutable std::atomic<std::int64_t> looks{0};
    std::atomic<std::int64_t> setAtLook{-1};
};

// For the steps that may run without a flag.
[[nodiscard]] inline bool Stopped(const CancelFlag* cancel)
{
    return cancel != nullptr && cancel->IsSet();
}

// The looks of one task at the flag, for loops whose steps (records sorted, bytes encoded) are too small to
// look at it each: once per `every` steps, counted over the whole task. Once the flag is seen set, every
// later step stops too. Without a flag (nullptr) nothing stops.
template <std::size_t every> class CancelLooks
{
public:
    explicit CancelLooks(const CancelFlag* cancelFlag) : cancel(cancelFlag) {}

    // Counts `steps` more; true when the task is to stop.
    [[nodiscard]] bool Stop(std::size_t steps)
    {
        since += steps;
        if (since >= every) {
            since = 0;
            stopped = stopped || kestrin::Stopped(cancel);
        }
        return stopped;
    }
    [[nodiscard]] bool Stopped() const { return stopped; }

private:
    const CancelFlag* cancel;
    std::size_t since = 0;
    bool stopped = false;
};

} // namespace kestrin
