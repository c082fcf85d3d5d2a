// SPDX-License-Identifier: MIT
#pragma once

#include "kestrin/run_analysis.h"

#include <filesystem>

namespace kestrin {

// Thrown by a part of a run that cannot go on, for RunAnalysis to hand to the host as its Failure.
struct RunFailure {
    Failure failure = Failure::Other;
    std::filesystem::path path;
};

} // namespace kestrin
