// SPDX-License-Identifier: MIT
#pragma once

#include "cancel_flag.h"

#include "kestrin/run_analysis.h"

namespace kestrin {

// RunAnalysis with the run's cancel flag given, which the host's cancel sets too: a test can set it to
// stop the run at a chosen look.
[[nodiscard]] RunOutcome RunAnalysis(const RunSettings& settings, RunObserver& observer, CancelFlag& cancel);

} // namespace kestrin
