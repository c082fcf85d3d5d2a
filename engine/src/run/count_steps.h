// SPDX-License-Identifier: MIT
#pragma once

#include "io/input_file.h"
#include "run/step.h"

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace kestrin {

// What the two counts of a run (ByteCount in bytes, CharacterCount in the game's characters) do alike:
// each input, one after another, shown as started and then read whole on a worker; after the count, the
// different strings summed over the listed lengths.

// Shows that input `index` of `files` starts: the counting phase at position 1 with none of it done (and
// matchCount strings found so far, when given), then gives the host its events. `shown`, when given, gets
// what was shown. Ends the run when the host cancels.
[[nodiscard]] StepEnd StartInput(RunContext& run, std::size_t index, std::size_t files,
                                 std::optional<std::int64_t> matchCount, Progress* shown = nullptr);

// Reads one input whole on a worker, so that the host keeps its events and a cancel stops the read
// between chunks: reads of the file may reach `reach` bytes past its end, and bytesRead, when given,
// follows the bytes read for onTick (as RunJobs calls it). withFile, when given, runs on the worker with
// the file once it is read (also after a cancel: it looks at the flag itself). The file is appended to
// `files`; a file that cannot be read ends the run with its error.
[[nodiscard]] StepEnd ReadInput(RunContext& run, const std::filesystem::path& path, std::int64_t reach,
                                std::vector<std::unique_ptr<InputFile>>& files,
                                std::atomic<std::int64_t>* bytesRead = nullptr,
                                const std::function<void(const InputFile&)>& withFile = {},
                                const std::function<void()>& onTick = {});

// The different strings over the list, where a length listed twice counts twice; distinctOf(length)
// gives those of one length.
template <typename DistinctOf>
[[nodiscard]] std::int64_t DistinctOverList(const std::vector<std::int16_t>& listedLengths,
                                            DistinctOf&& distinctOf)
{
    std::int64_t total = 0;
    for (const std::int16_t length : listedLengths) {
        total += distinctOf(length);
    }
    return total;
}

} // namespace kestrin
