// SPDX-License-Identifier: MIT
#pragma once

#include "kestrin/run_analysis.h"

#include <string>
#include <string_view>

namespace kestrin {

// A file's role in the command's words, naming the option that gives it: "the exclusion table (-x)".
[[nodiscard]] std::string RoleName(FileRole role);

// Why the run did not start, as one line without the program's name, naming the command's options and
// the files. Bytes that are not valid text (an input that is not UTF-8) show in hex.
[[nodiscard]] std::string PhraseRefusal(const Refusal& refusal);

} // namespace kestrin
