// SPDX-License-Identifier: MIT
#pragma once

#include "cancel_flag.h"
#include "counting/comment_scanner.h"
#include "counting/counting_unit.h"
#include "io/input_file.h"

#include <algorithm>
#include <atomic>
#include <cstdint>

namespace kestrin {

// How often a worker publishes its progress and looks at the cancel flag.
inline constexpr std::int64_t reportEvery = 1 << 16;

// Calls each(position, limit) for each position of the stretch, where limit is the longest window there that
// holds no start of the stretch's stop delimiter, capped at `longest`. publish(position) is called every so
// often and returns false to stop. Returns false when stopped.
template <typename Each, typename Publish>
bool ForEachLimit(const InputFile& file, const CountedStretch& stretch, std::int64_t longest, Each&& each,
                  Publish&& publish)
{
    if (stretch.stop == nullptr) {
        for (std::int64_t chunk = stretch.begin; chunk < stretch.end; chunk += reportEvery) {
            const std::int64_t chunkEnd = std::min(stretch.end, chunk + reportEvery);
            for (std::int64_t position = chunk; position < chunkEnd; ++position) {
                each(position, longest);
            }
            if (!publish(chunkEnd - 1)) {
                return false;
            }
        }
        return true;
    }

    // Between two occurrences of the stop delimiter, windows are limited only near the next one: the
    // positions before it that are more than `longest` away get the full limit in a plain loop.
    const std::int64_t lastRelevantStart = stretch.end - 1 + std::max<std::int64_t>(longest - 1, 0);
    std::int64_t position = stretch.begin;
    std::int64_t sincePublished = 0;
    while (position < stretch.end) {
        const std::int64_t found = FindDelimiter(file, *stretch.stop, position, lastRelevantStart);
        const std::int64_t stop = found >= 0 ? found : lastRelevantStart + 1 + longest;
        const std::int64_t plainEnd = std::min(stretch.end, std::max(position, stop - longest + 1));
        const std::int64_t nearEnd = std::min(stretch.end, stop + 1);
        for (; position < plainEnd; ++position) {
            each(position, longest);
            if (++sincePublished == reportEvery) {
                sincePublished = 0;
                if (!publish(position)) {
                    return false;
                }
            }
        }
        for (; position < nearEnd; ++position) {
            each(position, std::min(longest, stop - position));
        }
    }
    return publish(stretch.end - 1);
}

// Calls count(position) for each position of the stretch whose window of `length` bytes holds no start of
// the stretch's stop delimiter (a window of length 0 always counts). Returns false when cancelled.
template <typename Count, typename Distinct>
bool ForEachWindow(const InputFile& file, const CountedStretch& stretch, std::int64_t length,
                   WorkProgress& progress, const CancelFlag& cancel, Count&& count, Distinct&& distinctNow)
{
    const auto publish = [&](std::int64_t position) {
        progress.position.store(position, std::memory_order_relaxed);
        progress.distinct.store(distinctNow(), std::memory_order_relaxed);
        return !cancel.IsSet();
    };
    return ForEachLimit(
        file, stretch, length,
        [&](std::int64_t position, std::int64_t limit) {
            if (limit >= length) {
                count(position);
            }
        },
        publish);
}

} // namespace kestrin
