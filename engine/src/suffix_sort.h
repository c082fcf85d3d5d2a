// SPDX-License-Identifier: MIT
#pragma once

#include "cancel_flag.h"

#include <divsufsort.h>
#include <functional>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <type_traits>

namespace kestrin {

// Runs `task`, which no flag can stop, on a thread of its own while the calling thread watches `cancel`.
// Returns true when the task has finished (an exception it threw is thrown again here), false as soon
// as the flag is set: the task then runs on alone to its end, and must own everything it touches. When
// the system gives no thread, the task runs on the calling thread.
[[nodiscard]] bool RunUnstoppable(std::function<void()> task, const CancelFlag& cancel);

// The suffix array of `text` (libdivsufsort) into `suffixes`; false, with `suffixes` as it was, when the
// cancel flag is set first. The sort cannot be stopped midway, so it runs on a copy of the text and is
// left to finish alone after a cancel: a cancel is honoured within milliseconds however long the text.
// Throws std::bad_alloc when the sort cannot have its memory.
template <typename Vector>
[[nodiscard]] bool SortSuffixes(std::string_view text, Vector& suffixes, const CancelFlag& cancel)
{
    static_assert(std::is_same_v<typename Vector::value_type, saidx_t>);
    struct Sorting {
        std::string text;
        Vector sorted;
        saint_t status = 0;
    };
    if (cancel.IsSet()) {
        return false;
    }
    auto sorting = std::make_shared<Sorting>();
    sorting->text.assign(text);
    const bool finished = RunUnstoppable(
        [sorting] {
            sorting->sorted.resize(sorting->text.size());
            sorting->status = divsufsort(reinterpret_cast<const sauchar_t*>(sorting->text.data()),
                                         sorting->sorted.data(), static_cast<saidx_t>(sorting->text.size()));
        },
        cancel);
    if (!finished) {
        return false;
    }
    if (sorting->status != 0) {
        throw std::bad_alloc();
    }
    suffixes = std::move(sorting->sorted);
    return true;
}

} // namespace kestrin
